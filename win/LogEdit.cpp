// SPDX-License-Identifier: GPL-3.0-or-later
#include "win/LogEdit.h"

#include <algorithm>

#include "win/EditText.h"

void CLogEdit::Attach(HWND box) {
  m_box = box;
  SendMessageW(m_box, EM_LIMITTEXT, kLogBoxCharLimit, 0);
}

bool CLogEdit::EndInView() const {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  if (!GetScrollInfo(m_box, SB_VERT, &info)) return true;
  const int page = std::max<int>(static_cast<int>(info.nPage), 1);
  return info.nPos + page > info.nMax;
}

void CLogEdit::Show(std::string_view text, uint64_t droppedLines) {
  std::wstring wide = EditBoxText(text);
  if (!m_box || (wide == m_shown && droppedLines == m_droppedLines)) return;
  const bool follow = EndInView();
  auto firstVisible = [this] {
    return static_cast<LONG_PTR>(SendMessageW(m_box, EM_GETFIRSTVISIBLELINE, 0, 0));
  };
  LONG_PTR top = firstVisible();
  DWORD selectionStart = 0, selectionEnd = 0;
  SendMessageW(m_box, EM_GETSEL, reinterpret_cast<WPARAM>(&selectionStart),
               reinterpret_cast<LPARAM>(&selectionEnd));
  SendMessageW(m_box, WM_SETREDRAW, FALSE, 0);

  // Lines dropped since the last call leave the box's beginning; a count
  // that went down belongs to a text set anew.
  if (droppedLines > m_droppedLines) {
    const size_t cut = LineStartAfter(m_shown, droppedLines - m_droppedLines);
    if (cut != std::wstring_view::npos && cut > 0) {
      const auto lines = static_cast<LONG_PTR>(SendMessageW(m_box, EM_LINEFROMCHAR, cut, 0));
      SendMessageW(m_box, EM_SETSEL, 0, static_cast<LPARAM>(cut));
      SendMessageW(m_box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
      m_shown.erase(0, cut);
      top = std::max<LONG_PTR>(0, top - lines);
      selectionStart = selectionStart > cut ? selectionStart - static_cast<DWORD>(cut) : 0;
      selectionEnd = selectionEnd > cut ? selectionEnd - static_cast<DWORD>(cut) : 0;
    }
  }
  m_droppedLines = droppedLines;

  const size_t common = CommonPrefixLength(wide, m_shown);
  if (common == 0) {
    SetWindowTextW(m_box, wide.c_str());
  } else {
    SendMessageW(m_box, EM_SETSEL, common, -1);
    SendMessageW(m_box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str() + common));
  }
  if (follow) {
    SendMessageW(m_box, EM_SETSEL, wide.size(), static_cast<LPARAM>(wide.size()));
  } else {
    const auto length = static_cast<DWORD>(wide.size());
    SendMessageW(m_box, EM_SETSEL, std::min(selectionStart, length),
                 static_cast<LPARAM>(std::min(selectionEnd, length)));
  }
  SendMessageW(m_box, WM_SETREDRAW, TRUE, 0);
  if (follow)
    SendMessageW(m_box, EM_SCROLLCARET, 0, 0);
  else
    SendMessageW(m_box, EM_LINESCROLL, 0, static_cast<LPARAM>(top - firstVisible()));
  InvalidateRect(m_box, nullptr, TRUE);
  m_shown = std::move(wide);
}
