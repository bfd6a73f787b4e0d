// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: prepares the common controls and COM for the
// window thread, runs the main dialog modally and ends when it closes.
#pragma once

#include <string>

class CMainApp {
public:
  // Runs the program with sourceText (what followed the program's path on
  // the command line, UTF-8) as the initial Source text. Returns the exit
  // status: 0 once the window has closed, 1 when it could not be shown.
  int InitInstance(std::string sourceText);
};
