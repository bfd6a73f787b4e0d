// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ShareCredentials.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "cli/Console.h"
#include "platform/smb/SmbPath.h"

namespace {

// Returns text without blanks and tabs at either end.
std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last + 1 - first);
}

// Reads one line from the terminal on standard input without echoing it,
// after writing prompt to standard error. Returns false when nothing could
// be read.
bool PromptWithoutEcho(const char* prompt, std::string& answer) {
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  const bool read = ReadLineWithoutEcho(answer);
  std::fputs("\n", stderr);
  return read;
}

}  // namespace

void SetUserName(const std::string& value, CShareLogon& logon) {
  const size_t split = value.find_first_of("\\/");
  if (split == std::string::npos) {
    logon.user = value;
    return;
  }
  logon.domain = value.substr(0, split);
  logon.user = value.substr(split + 1);
}

bool ReadCredentialsFile(const std::string& path, CShareLogon& logon, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = std::strerror(errno);
    return false;
  }
  bool first = true;
  for (std::string line; std::getline(in, line); first = false) {
    // A file saved by a Windows editor may begin with a UTF-8 byte order
    // mark, which is no part of the first key.
    if (first && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = Trimmed(line.substr(0, equals));
    std::string value = line.substr(equals + 1);
    if (!value.empty() && value.back() == '\r') value.pop_back();
    if (key == "username" || key == "user") {
      SetUserName(value, logon);
    } else if (key == "password" || key == "pass") {
      logon.password = value;
    } else if (key == "domain" || key == "dom") {
      logon.domain = value;
    }
  }
  if (in.bad()) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

std::optional<CShareLogon> WorkOutLogon(const std::optional<std::string>& credentialsPath,
                                        const std::optional<std::string>& user, std::string& error) {
  error.clear();
  if (!credentialsPath && !user) return std::nullopt;
  CShareLogon logon;
  if (credentialsPath) {
    std::string reason;
    if (!ReadCredentialsFile(*credentialsPath, logon, reason)) {
      error = "--credentials: cannot read \"" + *credentialsPath + "\": " + reason;
      return std::nullopt;
    }
  }
  if (user) {
    const std::string domain = logon.domain;
    logon.domain.clear();
    SetUserName(*user, logon);
    if (logon.domain.empty()) logon.domain = domain;
  }
  if (logon.user.empty() || !logon.password.empty()) return logon;
  // An empty password logs on nowhere: without one from the file, PASSWD
  // or the terminal, the run could only wait for a logon that never comes.
  const char* fromEnvironment = std::getenv("PASSWD");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
    logon.password = fromEnvironment;
  } else if (StdinIsTerminal()) {
    const std::string prompt = "Password for " + logon.user + ": ";
    if (!PromptWithoutEcho(prompt.c_str(), logon.password) || logon.password.empty()) {
      error = "--user: no password given";
      return std::nullopt;
    }
  } else if (credentialsPath) {
    error = "--credentials: \"" + *credentialsPath + "\" gives no password for " + logon.user +
            ", and neither PASSWD nor a terminal on standard input does";
    return std::nullopt;
  } else {
    error = "--user: no password for " + logon.user +
            ": set PASSWD, give a file with --credentials, or run on a terminal to be asked";
    return std::nullopt;
  }
  return logon;
}

bool AddressCarriesPassword(const std::string& path) { return SmbPathHasPassword(path); }
