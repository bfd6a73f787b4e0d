// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: dialog template 100, with the program icon, the version
// line, a second line and OK.
#pragma once

#include "platform/windows/WindowsApi.h"

class CAboutDlg {
public:
  // Shows the About box modally over owner and returns when it closes.
  void DoModal(HWND owner);

private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
};
