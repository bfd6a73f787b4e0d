// SPDX-License-Identifier: GPL-3.0-or-later
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
// How long a write waits for a non-blocking descriptor that takes nothing
// (a paused terminal, a full pipe) before the output counts as failed.
inline constexpr std::chrono::milliseconds kOutputStallLimit{10000};

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

  // Writes the pending output now. An interrupted write is repeated, and one
  // that would block waits up to kOutputStallLimit for the descriptor. Once a
  // write failed (a closed pipe, a full disk) this and every later output is
  // dropped; returns false then.
  bool Flush();

  // Records error (an errno value) as the output's failure unless one is
  // recorded already, and drops the pending and every later output.
  void Fail(int error);

  // Returns the errno value of the first failure, or 0 while there was none.
  int Error() const { return m_error; }

private:
  // Waits until the descriptor takes output again, at most until deadline.
  // Returns 0 when it may, else the errno value that ends the output.
  int WaitUntilWritable(CSteadyTime deadline) const;

  int m_fd;
  int m_error = 0;
  std::string m_pending;
  CSteadyTime m_lastFlush = std::chrono::steady_clock::now();
};
