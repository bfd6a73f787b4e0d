#include "LogEdit.h"

#include "EditText.h"

void CLogEdit::Attach(HWND box) {
  m_box = box;
  SendMessageW(m_box, EM_LIMITTEXT, kLogBoxCharLimit, 0);
}

void CLogEdit::Show(std::string_view text) {
  std::wstring wide = EditBoxText(text);
  if (!m_box || wide == m_shown) return;
  const size_t common = CommonPrefixLength(wide, m_shown);
  if (common == 0) {
    SetWindowTextW(m_box, wide.c_str());
    SendMessageW(m_box, EM_SETSEL, wide.size(), static_cast<LPARAM>(wide.size()));
  } else {
    SendMessageW(m_box, EM_SETSEL, common, -1);
    SendMessageW(m_box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str() + common));
  }
  SendMessageW(m_box, EM_SCROLLCARET, 0, 0);
  m_shown = std::move(wide);
}
