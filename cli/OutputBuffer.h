// Output to a file descriptor gathered in memory and written in large pieces,
// so that many short lines cost one write(2) call.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

using CSteadyTime = std::chrono::steady_clock::time_point;

// Pending output is written once this much has gathered.
inline constexpr size_t kOutputFlushBytes = 64 * 1024;
// Pending output is written at the latest this long after the last write.
inline constexpr std::chrono::milliseconds kOutputFlushInterval{100};

class COutputBuffer {
public:
  explicit COutputBuffer(int fd) : m_fd(fd) {}
  COutputBuffer(const COutputBuffer&) = delete;
  COutputBuffer& operator=(const COutputBuffer&) = delete;

  // Adds text to the pending output; writes everything out when the pending
  // output reaches kOutputFlushBytes.
  void Append(std::string_view text);

  // Writes the pending output when there is some and the last write lies at
  // least kOutputFlushInterval before now.
  void FlushIfDue(CSteadyTime now);

  // Writes the pending output now. After a failed write (a closed pipe, a
  // full disk) this and every later output is dropped; returns false then.
  bool Flush();

  // Returns true once a write failed.
  bool Failed() const { return m_failed; }

private:
  int m_fd;
  bool m_failed = false;
  std::string m_pending;
  CSteadyTime m_lastFlush = std::chrono::steady_clock::now();
};
