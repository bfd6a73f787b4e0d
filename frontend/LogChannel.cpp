#include "LogChannel.h"

void CLogChannel::OnLogUpdate(std::string_view message) {
  message = message.substr(0, message.find('\0'));
  const auto length = static_cast<int64_t>(message.size());
  std::function<void()> listener;
  {
    std::lock_guard lock(m_lock);
    if (m_logEnd + length >= kLogEmptyThreshold) {
      m_sink.Select(0, m_logEnd);
      m_sink.ReplaceSelection({});
      m_lastLineStart = 0;
      m_logEnd = -1;
    }
    if (message.starts_with("\r\n"))
      m_sink.Select(m_logEnd, m_logEnd);
    else
      m_sink.Select(m_lastLineStart, m_logEnd);
    m_sink.ReplaceSelection(message);

    const std::string& text = m_sink.Text();
    const size_t lastFeed = text.rfind('\n');
    m_lastLineStart = lastFeed == std::string::npos ? 0 : static_cast<int64_t>(lastFeed) + 1;
    m_logEnd = static_cast<int64_t>(text.size());
    ++m_revision;
    listener = m_listener;
  }
  if (listener) listener();
}

void CLogChannel::SetText(std::string text) {
  std::function<void()> listener;
  {
    std::lock_guard lock(m_lock);
    m_sink.SetText(std::move(text));
    ++m_revision;
    listener = m_listener;
  }
  if (listener) listener();
}

std::string CLogChannel::Text() const {
  std::lock_guard lock(m_lock);
  return m_sink.Text();
}

int64_t CLogChannel::LogEndPosition() const {
  std::lock_guard lock(m_lock);
  return m_logEnd;
}

int64_t CLogChannel::LastLineStart() const {
  std::lock_guard lock(m_lock);
  return m_lastLineStart;
}

uint64_t CLogChannel::Revision() const {
  std::lock_guard lock(m_lock);
  return m_revision;
}

void CLogChannel::SetChangeListener(std::function<void()> listener) {
  std::lock_guard lock(m_lock);
  m_listener = std::move(listener);
}
