// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/OutputBuffer.h"

#include <cerrno>

#include "cli/Console.h"

void COutputBuffer::Append(std::string_view text) {
  if (m_error != 0) return;
  m_pending.append(text);
  if (m_pending.size() >= kOutputFlushBytes) Flush();
}

void COutputBuffer::FlushIfDue(CSteadyTime now) {
  if (m_pending.empty() || now - m_lastFlush < kOutputFlushInterval) return;
  Flush();
}

bool COutputBuffer::Flush() {
  m_lastFlush = std::chrono::steady_clock::now();
  CSteadyTime deadline = m_lastFlush + kOutputStallLimit;
  size_t done = 0;
  while (m_error == 0 && done < m_pending.size()) {
    const long written = WriteSome(m_fd, m_pending.data() + done, m_pending.size() - done);
    if (written > 0) {
      done += static_cast<size_t>(written);
      deadline = std::chrono::steady_clock::now() + kOutputStallLimit;
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (const int error = WaitUntilWritable(deadline); error != 0) Fail(error);
    } else {
      Fail(errno);
    }
  }
  m_pending.clear();
  return m_error == 0;
}

int COutputBuffer::WaitUntilWritable(CSteadyTime deadline) const {
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return EAGAIN;
    const int error = WaitWritable(m_fd, static_cast<int>(left));
    if (error != EAGAIN) return error;
  }
}

void COutputBuffer::Fail(int error) {
  if (m_error == 0) m_error = error;
  m_pending.clear();
}
