// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows program: ferrox.exe [SOURCE...]. Whatever follows the
// program's own path on the command line (the files and folders sent to
// the program or dropped on its icon) becomes the Source field's text.
#include "platform/windows/WindowsApi.h"

#include "platform/windows/WinPath.h"
#include "win/CommandLineText.h"
#include "win/MainApp.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/) {
  CMainApp app;
  return app.InitInstance(Utf8FromWide(ArgumentsOfCommandLine(GetCommandLineW())));
}
