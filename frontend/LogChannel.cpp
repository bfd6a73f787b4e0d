// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/LogChannel.h"

#include <algorithm>

namespace {

// Returns the number of line feeds in text.
int64_t CountLineFeeds(std::string_view text) { return std::count(text.begin(), text.end(), '\n'); }

}  // namespace

void CLogChannel::OnLogUpdate(std::string_view message) {
  message = message.substr(0, message.find('\0'));
  std::function<void()> listener;
  {
    std::lock_guard lock(m_lock);
    if (message.starts_with("\r\n"))
      m_sink.Select(m_logEnd, m_logEnd);
    else
      m_sink.Select(m_lastLineStart, m_logEnd);
    const size_t start = m_sink.SelectionStart();
    m_lineFeeds -=
        CountLineFeeds(std::string_view(m_sink.Text()).substr(start, m_sink.SelectionEnd() - start));
    m_sink.ReplaceSelection(message);
    m_lineFeeds += CountLineFeeds(message);
    // A message replacing text handed out already (only after the text was
    // set) changes the file's copy no more.
    m_finalEnd = std::min(m_finalEnd, static_cast<int64_t>(start));

    const std::string& text = m_sink.Text();
    const size_t lastFeed = text.rfind('\n');
    m_lastLineStart = lastFeed == std::string::npos ? 0 : static_cast<int64_t>(lastFeed) + 1;
    m_logEnd = static_cast<int64_t>(text.size());
    if (m_lastLineStart > m_finalEnd) {
      const auto from = static_cast<size_t>(m_finalEnd);
      const std::string_view piece =
          std::string_view(text).substr(from, static_cast<size_t>(m_lastLineStart) - from);
      m_finalEnd = m_lastLineStart;
      if (m_finalListener) m_finalListener(piece);
    }
    DropOldLines();
    ++m_revision;
    listener = m_listener;
  }
  if (listener) listener();
}

void CLogChannel::DropOldLines() {
  if (m_lineFeeds < kLogKeptLines + kLogDroppedLinesAtOnce) return;
  const int64_t dropped = m_lineFeeds - kLogKeptLines;
  const std::string& text = m_sink.Text();
  size_t cut = 0;
  for (int64_t line = 0; line < dropped; ++line) cut = text.find('\n', cut) + 1;
  m_sink.Select(0, static_cast<int64_t>(cut));
  m_sink.ReplaceSelection({});
  const auto bytes = static_cast<int64_t>(cut);
  m_logEnd -= bytes;
  m_lastLineStart -= bytes;
  m_finalEnd = std::max<int64_t>(0, m_finalEnd - bytes);
  m_lineFeeds -= dropped;
  m_droppedLines += static_cast<uint64_t>(dropped);
}

void CLogChannel::SetText(std::string text) {
  std::function<void()> listener;
  {
    std::lock_guard lock(m_lock);
    m_sink.SetText(std::move(text));
    const std::string& shown = m_sink.Text();
    const size_t lastFeed = shown.rfind('\n');
    m_finalEnd = lastFeed == std::string::npos ? 0 : static_cast<int64_t>(lastFeed) + 1;
    m_lineFeeds = CountLineFeeds(shown);
    m_droppedLines = 0;
    ++m_revision;
    listener = m_listener;
  }
  if (listener) listener();
}

std::string CLogChannel::Text(uint64_t* droppedLines) const {
  std::lock_guard lock(m_lock);
  if (droppedLines) *droppedLines = m_droppedLines;
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

std::string CLogChannel::LastLine() const {
  std::lock_guard lock(m_lock);
  const std::string& text = m_sink.Text();
  const size_t lastFeed = text.rfind('\n');
  return text.substr(lastFeed == std::string::npos ? 0 : lastFeed + 1);
}

uint64_t CLogChannel::Revision() const {
  std::lock_guard lock(m_lock);
  return m_revision;
}

void CLogChannel::SetChangeListener(std::function<void()> listener) {
  std::lock_guard lock(m_lock);
  m_listener = std::move(listener);
}

void CLogChannel::SetFinalTextListener(std::function<void(std::string_view piece)> listener) {
  std::lock_guard lock(m_lock);
  m_finalListener = std::move(listener);
}
