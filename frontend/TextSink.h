// SPDX-License-Identifier: GPL-3.0-or-later
// The log box's text as bytes, with the select-and-replace behaviour of a
// single-line-at-a-time edit control: a selection between an anchor and a
// caret, replaced by inserted text. Positions count bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class CTextSink {
public:
  // Selects the bytes from start up to end. An end of -1 stands for the end
  // of the text; a start of -1 removes the selection and leaves the caret
  // where it is; positions beyond the end are taken as the end. The caret
  // goes to end; start may lie after end.
  void Select(int64_t start, int64_t end);

  // Puts text in the selection's place, or at the caret when nothing is
  // selected; the caret then stands after the inserted text.
  void ReplaceSelection(std::string_view text);

  // Returns the whole text.
  const std::string& Text() const { return m_text; }

  // Replaces the whole text, as writing the form does; caret at 0, nothing
  // selected.
  void SetText(std::string text);

  size_t SelectionStart() const { return m_anchor < m_caret ? m_anchor : m_caret; }
  size_t SelectionEnd() const { return m_anchor < m_caret ? m_caret : m_anchor; }
  size_t Caret() const { return m_caret; }

private:
  size_t Clamp(int64_t position) const;

  std::string m_text;
  size_t m_anchor = 0;
  size_t m_caret = 0;
};
