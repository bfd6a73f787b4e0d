// SPDX-License-Identifier: GPL-3.0-or-later
// The log box as the window shows the log channel's text: a multi-line
// read-only edit box that is given only what changed since it was last
// shown, so that rewriting the last line costs one small replacement, and
// that follows the end of the log only while its end is in view.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/windows/WindowsApi.h"

class CLogEdit {
public:
  // Works on the edit box box; sets its text limit.
  void Attach(HWND box);

  // Shows text (UTF-8, the channel's text, of which droppedLines lines were
  // dropped from the log's beginning since it was set): removes the lines
  // dropped since the last call from the box's beginning, selects from the
  // first character that differs from what the box shows to the end
  // (EM_SETSEL) and replaces that with the rest of text (EM_REPLACESEL); a
  // text that shares nothing with the box replaces it whole. When the box's
  // end was in view, scrolls to the caret at the new end; otherwise puts
  // the selection back and keeps the same lines in view. Does nothing when
  // the box shows text already.
  void Show(std::string_view text, uint64_t droppedLines = 0);

  // Returns whether the box shows its last line.
  bool EndInView() const;

private:
  HWND m_box = nullptr;
  std::wstring m_shown;
  uint64_t m_droppedLines = 0;
};
