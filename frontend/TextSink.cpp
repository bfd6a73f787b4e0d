// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/TextSink.h"

size_t CTextSink::Clamp(int64_t position) const {
  if (position < 0 || static_cast<uint64_t>(position) > m_text.size()) return m_text.size();
  return static_cast<size_t>(position);
}

void CTextSink::Select(int64_t start, int64_t end) {
  if (start == -1) {
    m_anchor = m_caret;
    return;
  }
  m_anchor = Clamp(start);
  m_caret = Clamp(end);
}

void CTextSink::ReplaceSelection(std::string_view text) {
  const size_t start = SelectionStart();
  m_text.replace(start, SelectionEnd() - start, text);
  m_anchor = m_caret = start + text.size();
}

void CTextSink::SetText(std::string text) {
  m_text = std::move(text);
  m_anchor = m_caret = 0;
}
