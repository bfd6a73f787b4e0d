// The log box as the window shows the log channel's text: a multi-line
// read-only edit box that is given only what changed since it was last
// shown, so that rewriting the last line costs one small replacement.
#pragma once

#include <string>
#include <string_view>

#include "WindowsApi.h"

class CLogEdit {
public:
  // Works on the edit box box; sets its text limit.
  void Attach(HWND box);

  // Shows text (UTF-8, the channel's text): selects from the first
  // character that differs from what the box shows to the end
  // (EM_SETSEL), replaces that with the rest of text (EM_REPLACESEL) and
  // scrolls to the caret at the end; a text that shares nothing with the
  // box replaces it whole. Does nothing when the box shows text already.
  void Show(std::string_view text);

private:
  HWND m_box = nullptr;
  std::wstring m_shown;
};
