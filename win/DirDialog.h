// SPDX-License-Identifier: GPL-3.0-or-later
// The program's folder picker over the shell's folder browser: a title, a
// folder to open at, and the chosen folder's path as the result. The
// browser has no owner, so the program's windows stay usable while it is
// open.
#pragma once

#include <string>

#include "platform/windows/WindowsApi.h"

inline constexpr char kDefaultPickerTitle[] = "Open";

class CDirDialog {
public:
  CDirDialog() = default;
  virtual ~CDirDialog() = default;
  CDirDialog(const CDirDialog&) = delete;
  CDirDialog& operator=(const CDirDialog&) = delete;

  // Shows the folder browser titled m_title ("Open" when it is empty) with
  // m_initialSelection selected (the browser's own default when it is
  // empty) and returns when it closes: true with the chosen folder's
  // file-system path in m_path, false when the user cancelled or the choice
  // has no file-system path. Runs on the window thread, whose messages the
  // browser goes on dispatching.
  bool PickFolder();

  // Brings the browser to the front and returns true while it is shown;
  // returns false when it is not.
  bool RaiseIfOpen();

  // Closes the browser without a choice, when it is shown.
  void Close();

  std::string m_path;              // result, UTF-8, no length limit
  std::string m_initialSelection;  // folder to select when the browser opens; empty: none
  std::string m_title;             // text above the folder tree; empty: "Open"

private:
  static int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM param, LPARAM data);

  HWND m_browser = nullptr;    // while shown
  std::wstring m_initialWide;  // while shown
};
