// SPDX-License-Identifier: GPL-3.0-or-later
#include "win/DirDialog.h"

#include <shlobj.h>

#include "platform/windows/WinPath.h"

int CALLBACK CDirDialog::BrowseCallback(HWND browser, UINT message, LPARAM /*param*/, LPARAM data) {
  auto* self = reinterpret_cast<CDirDialog*>(data);
  if (message == BFFM_INITIALIZED) {
    self->m_browser = browser;
    if (!self->m_initialWide.empty())
      SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(self->m_initialWide.c_str()));
  }
  return 0;
}

bool CDirDialog::PickFolder() {
  const std::wstring title = WideFromUtf8(m_title.empty() ? kDefaultPickerTitle : m_title);
  m_initialWide = WideFromUtf8(m_initialSelection);
  for (wchar_t& c : m_initialWide)
    if (c == L'/') c = L'\\';

  BROWSEINFOW info{};
  info.hwndOwner = nullptr;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_NEWDIALOGSTYLE;
  info.lpfn = &CDirDialog::BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(this);
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  m_browser = nullptr;
  m_initialWide.clear();
  if (!chosen) return false;

  PWSTR path = nullptr;
  const bool named = SUCCEEDED(SHGetNameFromIDList(chosen, SIGDN_FILESYSPATH, &path)) && path;
  if (named) m_path = Utf8FromWide(path);
  CoTaskMemFree(path);
  CoTaskMemFree(chosen);
  return named;
}

bool CDirDialog::RaiseIfOpen() {
  if (!m_browser || !IsWindow(m_browser)) return false;
  if (IsIconic(m_browser)) ShowWindow(m_browser, SW_RESTORE);
  SetForegroundWindow(m_browser);
  return true;
}

void CDirDialog::Close() {
  if (m_browser && IsWindow(m_browser)) PostMessageW(m_browser, WM_COMMAND, IDCANCEL, 0);
}
