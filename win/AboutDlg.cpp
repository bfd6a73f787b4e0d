// SPDX-License-Identifier: GPL-3.0-or-later
#include "win/AboutDlg.h"

#include "win/ResourceIds.h"
#include "win/TemplateFit.h"
#include "win/WindowPlace.h"

void CAboutDlg::DoModal(HWND owner) {
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIdAboutDialog), owner, &CAboutDlg::DialogProc,
                  reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG:
      FitTemplateTexts(dialog);
      CenterWindow(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}
