// SPDX-License-Identifier: GPL-3.0-or-later
// ferrox-cli: copies files and folder trees without a window.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Console.h"
#include "cli/ExitStatus.h"
#include "cli/HelpText.h"
#include "cli/LogFile.h"
#include "cli/OutputBuffer.h"
#include "cli/RunCopy.h"
#include "cli/ShareCredentials.h"
#include "cli/WriteFailures.h"
#include "platform/smb/SmbCredentials.h"
#include "platform/smb/SmbPath.h"

namespace {

// Writes text to standard output. Returns kExitSuccess, or kExitUsage after
// naming the failure on standard error when it could not be written.
int PrintText(std::string_view text) {
  COutputBuffer out(kStdoutFd);
  out.Append(text);
  if (out.Flush()) return kExitSuccess;
  ReportStandardOutputFailure(out.Error());
  return kExitUsage;
}

}  // namespace

// Returns 0 after --help or --version, 1 for a usage error, a log file that
// does not open or a help or version text that cannot be written, and
// otherwise the exit status of the run.
int main(int argc, char** argv) {
  PrepareConsole();
  std::vector<std::string> arguments = Utf8Arguments(argc, argv);
  std::vector<char*> pointers;
  pointers.reserve(arguments.size() + 1);
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  CCliOptions options;
  std::string error;
  switch (ParseCommandLine(static_cast<int>(arguments.size()), pointers.data(), options, error)) {
    case CliCommand::kHelp:
      return PrintText(HelpText());
    case CliCommand::kVersion:
      return PrintText(std::string(kVersionText) + "\n");
    case CliCommand::kUsageError:
      std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgramName, error.c_str(),
                   kProgramName);
      return kExitUsage;
    case CliCommand::kRun:
      break;
  }

  // The logon is worked out before anything runs: a prompt for a password
  // must not meet the copy's output.
  const std::optional<CShareLogon> logon = WorkOutLogon(options.credentialsPath, options.user, error);
  if (!error.empty()) {
    std::fprintf(stderr, "%s: %s\n", kProgramName, error.c_str());
    return kExitUsage;
  }
  if (logon) {
    CSmbCredentials credentials;
    credentials.user = logon->user;
    credentials.domain = logon->domain;
    credentials.password = logon->password;
    SetSmbCredentials(credentials);
    credentials.password.assign(credentials.password.size(), '\0');
  }

  // The smb:// addresses as written: their escapes are decoded, the names
  // the copy appends to them are not.
  std::vector<std::string> addresses = options.sources;
  addresses.push_back(options.destination);
  SetWrittenSmbAddresses(addresses);

  std::unique_ptr<CLogFile> logFile;
  if (options.logPath) {
    logFile = CLogFile::Open(*options.logPath, error);
    if (!logFile) {
      std::fprintf(stderr, "%s: --log: cannot open \"%s\": %s\n", kProgramName, options.logPath->c_str(),
                   error.c_str());
      return kExitUsage;
    }
  }
  return RunCopy(options, logFile.get());
}
