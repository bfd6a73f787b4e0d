// SPDX-License-Identifier: GPL-3.0-or-later
#include "win/MainApp.h"

#include "platform/windows/WindowsApi.h"

#include <commctrl.h>
#include <ole2.h>

#include "win/MainDlg.h"

int CMainApp::InitInstance(std::string sourceText) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS;
  InitCommonControlsEx(&controls);
  // The shell's folder browser needs OLE on the thread that shows it.
  const bool ole = SUCCEEDED(OleInitialize(nullptr));

  INT_PTR result = -1;
  {
    CMainDlg dialog(std::move(sourceText));
    result = dialog.DoModal();
  }
  if (ole) OleUninitialize();
  return result == -1 ? 1 : 0;
}
