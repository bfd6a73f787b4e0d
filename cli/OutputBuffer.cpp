#include "OutputBuffer.h"

#include <unistd.h>

#include <cerrno>

void COutputBuffer::Append(std::string_view text) {
  if (m_failed) return;
  m_pending.append(text);
  if (m_pending.size() >= kOutputFlushBytes) Flush();
}

void COutputBuffer::FlushIfDue(CSteadyTime now) {
  if (m_pending.empty() || now - m_lastFlush < kOutputFlushInterval) return;
  Flush();
}

bool COutputBuffer::Flush() {
  m_lastFlush = std::chrono::steady_clock::now();
  size_t done = 0;
  while (!m_failed && done < m_pending.size()) {
    const ssize_t written = write(m_fd, m_pending.data() + done, m_pending.size() - done);
    if (written > 0) {
      done += static_cast<size_t>(written);
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else {
      m_failed = true;
    }
  }
  m_pending.clear();
  return !m_failed;
}
