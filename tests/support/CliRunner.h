// SPDX-License-Identifier: GPL-3.0-or-later
// Running the built ferrox-cli in tests: a child process in a folder of the
// test's own, its output gathered, and small helpers for files and lines.
// The including test defines FERROX_CLI_PATH; on Windows the program is
// the ferrox-cli.exe beside the test's own.
#pragma once

#ifdef _WIN32
#include "platform/windows/WindowsApi.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"

namespace ferrox_test {

struct CRunResult {
  int status = -1;  // the exit status, or 128 + the signal that ended the program
  std::string out;
  std::string err;
};

// Returns the whole content of the file at path; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Replaces the content of the file at path with bytes.
inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Returns count bytes that never repeat at a short period.
inline std::string PatternBytes(size_t count, uint32_t seed) {
  std::string bytes(count, '\0');
  for (char& byte : bytes) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<char>(seed >> 23);
  }
  return bytes;
}

// Returns the standard CRC-32 (reflected polynomial 0xEDB88320) of bytes.
inline uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFF;
  for (const char c : bytes) {
    crc ^= static_cast<uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// Returns value as "0x%08x" formats it.
inline std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

// Returns path with each '/' turned into the platform's separator: the
// form in which the program names paths it made itself.
inline std::string Native(std::string path) {
#ifdef _WIN32
  for (char& c : path)
    if (c == '/') c = '\\';
#endif
  return path;
}

// Returns the modification time of path in whole seconds since 1970, or -1.
inline int64_t ModificationTime(const std::string& path) {
  std::error_code ec;
  const auto stamp = std::filesystem::last_write_time(path, ec);
  if (ec) return -1;
  const auto since1970 = std::chrono::file_clock::to_sys(stamp).time_since_epoch();
  return std::chrono::floor<std::chrono::seconds>(since1970).count();
}

// Sets the modification time of path to seconds since 1970.
inline void SetModificationTime(const std::string& path, int64_t seconds) {
  const std::chrono::sys_seconds when{std::chrono::seconds(seconds)};
  std::error_code ec;
  std::filesystem::last_write_time(path, std::chrono::file_clock::from_sys(when), ec);
  ASSERT_FALSE(ec) << path << ": " << ec.message();
}

// Returns the lines of text without their line feeds.
inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Returns the text of the "done, crc32 = ..." line of out, or "".
inline std::string DoneLine(const std::string& out) {
  for (const std::string& line : SplitLines(out))
    if (line.starts_with("done, crc32 = ")) return line;
  return std::string();
}

// Returns true when one of lines is exactly wanted.
inline bool HasLine(const std::vector<std::string>& lines, const std::string& wanted) {
  for (const std::string& line : lines)
    if (line == wanted) return true;
  return false;
}

#ifdef _WIN32
using CliProcess = HANDLE;

// Returns text, UTF-8, in UTF-16.
inline std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

// Returns word quoted for a command line, so that the program's start-up
// code gives it back unchanged (backslashes doubled only before a quote).
inline std::wstring QuotedWord(const std::wstring& word) {
  if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

// Returns the path of the ferrox-cli.exe beside the running test program.
inline std::wstring CliProgramPath() {
  wchar_t own[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH * 4);
  std::wstring path(own, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"ferrox-cli.exe";
}

// Returns a handle of the file at path that a child inherits, for writing.
inline HANDLE InheritedOutput(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts ferrox-cli with args in folder dir, its output going to the files
// out and err there. Returns the child's process handle, or nullptr.
inline CliProcess StartCli(const CTempDir& dir, const std::vector<std::string>& args) {
  const std::wstring program = CliProgramPath();
  std::wstring line = QuotedWord(program);
  for (const std::string& arg : args) line += L" " + QuotedWord(Wide(arg));
  const HANDLE out = InheritedOutput(dir / "out");
  const HANDLE err = InheritedOutput(dir / "err");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      Wide(dir.Path()).c_str(), &startup, &process);
  CloseHandle(out);
  CloseHandle(err);
  if (!started) {
    ADD_FAILURE() << "ferrox-cli could not be started: error " << GetLastError();
    return nullptr;
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

// Waits at most timeoutSeconds for the child and returns its exit status;
// ends it when it takes longer.
inline int WaitForCli(CliProcess process, int timeoutSeconds = 20) {
  if (process == nullptr) return -1;
  DWORD status = 0;
  if (WaitForSingleObject(process, static_cast<DWORD>(timeoutSeconds) * 1000) != WAIT_OBJECT_0) {
    TerminateProcess(process, 255);
    WaitForSingleObject(process, INFINITE);
    ADD_FAILURE() << "ferrox-cli did not end in time";
    CloseHandle(process);
    return -1;
  }
  GetExitCodeProcess(process, &status);
  CloseHandle(process);
  return static_cast<int>(status);
}

// Runs ferrox-cli with args in folder dir and returns what it did.
inline CRunResult RunCli(const CTempDir& dir, const std::vector<std::string>& args) {
  CRunResult result;
  result.status = WaitForCli(StartCli(dir, args));
  result.out = ReadFile(dir / "out");
  result.err = ReadFile(dir / "err");
  return result;
}
#else
using CliProcess = pid_t;

// The command line of ferrox-cli with args, for execv: built before fork, so
// that the child allocates nothing.
class CCliArgv {
public:
  explicit CCliArgv(const std::vector<std::string>& args) : m_words{FERROX_CLI_PATH} {
    m_words.insert(m_words.end(), args.begin(), args.end());
    for (std::string& word : m_words) m_pointers.push_back(word.data());
    m_pointers.push_back(nullptr);
  }
  CCliArgv(const CCliArgv&) = delete;
  CCliArgv& operator=(const CCliArgv&) = delete;

  // Returns the program's path, then the arguments and a null pointer.
  char* const* Get() { return m_pointers.data(); }

private:
  std::vector<std::string> m_words;
  std::vector<char*> m_pointers;
};

// Starts ferrox-cli with args in folder dir, its output going to the files
// out and err there. Returns the child's process id.
inline CliProcess StartCli(const CTempDir& dir, const std::vector<std::string>& args, int stdoutFd = -1) {
  CCliArgv argv(args);
  const std::string outPath = dir / "out";
  const std::string errPath = dir / "err";

  const pid_t pid = fork();
  if (pid == 0) {
    const int out = stdoutFd >= 0 ? stdoutFd : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0 ||
        chdir(dir.Path().c_str()) != 0)
      _exit(127);
    execv(argv.Get()[0], argv.Get());
    _exit(127);
  }
  return pid;
}

// Waits at most timeoutSeconds for the child pid and returns its exit status,
// or 128 + the signal that ended it; kills it when it takes longer.
inline int WaitForCli(CliProcess pid, int timeoutSeconds = 20) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (done < 0) return -1;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "ferrox-cli did not end in time";
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Runs ferrox-cli with args in folder dir and returns what it did; its
// standard output goes to stdoutFd when one is given (out is empty then).
inline CRunResult RunCli(const CTempDir& dir, const std::vector<std::string>& args, int stdoutFd = -1) {
  CRunResult result;
  result.status = WaitForCli(StartCli(dir, args, stdoutFd));
  if (stdoutFd < 0) result.out = ReadFile(dir / "out");
  result.err = ReadFile(dir / "err");
  return result;
}

// Runs ferrox-cli with args in folder dir, its standard output going to
// /dev/full, and returns what it did.
inline CRunResult RunCliIntoFullDevice(const CTempDir& dir, const std::vector<std::string>& args) {
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  EXPECT_GE(full, 0);
  const CRunResult result = RunCli(dir, args, full);
  close(full);
  return result;
}

#endif

}  // namespace ferrox_test
