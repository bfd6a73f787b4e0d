// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/RunLogFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr char kPrefix[] = "ferrox-";
constexpr char kSuffix[] = ".log";
// "YYYY-MM-DD_HH-MM-SS"
constexpr size_t kStampLength = 19;

#ifdef _WIN32
constexpr char kLineEnd[] = "\r\n";
#else
constexpr char kLineEnd[] = "\n";
#endif

fs::path PathFromUtf8(std::string_view utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8FromPath(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

// Returns the environment variable name as a path; empty when unset.
fs::path EnvironmentPath(const char* name) {
#ifdef _WIN32
  std::wstring wide(name, name + std::char_traits<char>::length(name));
  const wchar_t* value = _wgetenv(wide.c_str());
  return value ? fs::path(value) : fs::path();
#else
  const char* value = std::getenv(name);
  return value ? fs::path(value) : fs::path();
#endif
}

// Returns whether name is a run log's: the prefix, a stamp, then ".log" or
// "-N.log".
bool IsRunLogName(const std::string& name) {
  const size_t fixed = sizeof kPrefix - 1 + kStampLength + sizeof kSuffix - 1;
  return name.size() >= fixed && name.starts_with(kPrefix) && name.ends_with(kSuffix);
}

// Returns text with each "\r\n" written as the system's line end.
std::string WithSystemLineEnds(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
      result += kLineEnd;
      ++at;
    } else {
      result += text[at];
    }
  }
  return result;
}

}  // namespace

std::string RunLogFolder() {
#ifdef _WIN32
  const fs::path local = EnvironmentPath("LOCALAPPDATA");
  return local.empty() ? std::string() : Utf8FromPath(local / "Ferrox");
#else
  const fs::path state = EnvironmentPath("XDG_STATE_HOME");
  if (state.is_absolute()) return Utf8FromPath(state / "ferrox");
  const fs::path home = EnvironmentPath("HOME");
  return home.empty() ? std::string() : Utf8FromPath(home / ".local" / "state" / "ferrox");
#endif
}

std::string RunLogFileName(const std::tm& local) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d_%02d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return std::string(kPrefix) + stamp + kSuffix;
}

void PruneRunLogs(const std::string& folder, size_t keep) {
  std::error_code error;
  std::vector<std::pair<std::string, fs::path>> logs;
  for (fs::directory_iterator entry(PathFromUtf8(folder), error), end; !error && entry != end;
       entry.increment(error)) {
    std::string name = Utf8FromPath(entry->path().filename());
    if (IsRunLogName(name) && entry->is_regular_file(error))
      logs.emplace_back(std::move(name), entry->path());
  }
  if (logs.size() <= keep) return;
  // "-2" comes after the plain name of the same second: ".log" sorts after
  // "-", so the stamp alone orders first, then the number.
  std::sort(logs.begin(), logs.end(), [](const auto& a, const auto& b) {
    const std::string_view left(a.first), right(b.first);
    const size_t stamp = sizeof kPrefix - 1 + kStampLength;
    if (left.substr(0, stamp) != right.substr(0, stamp)) return left < right;
    if (left.size() != right.size()) return left.size() < right.size();
    return left < right;
  });
  for (size_t index = 0; index + keep < logs.size(); ++index) fs::remove(logs[index].second, error);
}

bool CRunLogFile::Open(const std::string& folder, std::string& error) {
  Close({});
  if (folder.empty()) {
    error = "no folder for it: neither the state folder nor the home folder is known";
    return false;
  }
  const fs::path where = PathFromUtf8(folder);
  std::error_code code;
  fs::create_directories(where, code);
  if (code) {
    error = folder + ": " + code.message();
    return false;
  }
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  const std::string name = RunLogFileName(local);
  fs::path path = where / PathFromUtf8(name);
  for (int number = 2; fs::exists(path, code); ++number)
    path = where / PathFromUtf8(name.substr(0, name.size() - (sizeof kSuffix - 1)) + "-" +
                                std::to_string(number) + kSuffix);
  m_file.open(path, std::ios::binary | std::ios::out | std::ios::trunc);
  if (!m_file) {
    error = Utf8FromPath(path) + ": cannot be created";
    return false;
  }
  m_path = Utf8FromPath(path);
  {
    std::lock_guard lock(m_lock);
    m_pending.clear();
    m_open = true;
  }
  PruneRunLogs(folder, kRunLogsKept);
  return true;
}

void CRunLogFile::Append(std::string_view piece) {
  std::lock_guard lock(m_lock);
  if (m_open) m_pending.append(piece);
}

void CRunLogFile::Flush() {
  std::string pending;
  {
    std::lock_guard lock(m_lock);
    pending.swap(m_pending);
  }
  if (pending.empty() || !m_file.is_open()) return;
  m_file << WithSystemLineEnds(pending);
  m_file.flush();
}

void CRunLogFile::Close(std::string_view lastLine) {
  if (!IsOpen()) return;
  Flush();
  {
    std::lock_guard lock(m_lock);
    m_open = false;
    m_pending.clear();
  }
  if (!lastLine.empty()) m_file << WithSystemLineEnds(lastLine) << kLineEnd;
  m_file.close();
}

bool CRunLogFile::IsOpen() const {
  std::lock_guard lock(m_lock);
  return m_open;
}
