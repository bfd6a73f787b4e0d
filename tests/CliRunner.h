// Running the built ferrox-cli in tests: a child process in a folder of the
// test's own, its output gathered, and small helpers for files and lines.
// The including test defines FERROX_CLI_PATH.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

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

// Returns the modification time of path in whole seconds, or -1.
inline int64_t ModificationTime(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return -1;
  return info.st_mtim.tv_sec;
}

// Sets the access and modification times of path to seconds.
inline void SetModificationTime(const std::string& path, int64_t seconds) {
  timespec times[2] = {};
  times[0].tv_sec = static_cast<time_t>(seconds);
  times[1].tv_sec = static_cast<time_t>(seconds);
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Returns the lines of text without their line feeds.
inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Returns true when one of lines is exactly wanted.
inline bool HasLine(const std::vector<std::string>& lines, const std::string& wanted) {
  for (const std::string& line : lines)
    if (line == wanted) return true;
  return false;
}

// Starts ferrox-cli with args in folder dir, its output going to the files
// out and err there. Returns the child's process id.
inline pid_t StartCli(const CTempDir& dir, const std::vector<std::string>& args, int stdoutFd = -1) {
  std::vector<std::string> words{FERROX_CLI_PATH};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const std::string outPath = dir / "out";
  const std::string errPath = dir / "err";

  const pid_t pid = fork();
  if (pid == 0) {
    const int out = stdoutFd >= 0 ? stdoutFd : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0 ||
        chdir(dir.Path().c_str()) != 0)
      _exit(127);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Waits at most timeoutSeconds for the child pid and returns its exit status,
// or 128 + the signal that ended it; kills it when it takes longer.
inline int WaitForCli(pid_t pid, int timeoutSeconds = 20) {
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

}  // namespace ferrox_test
