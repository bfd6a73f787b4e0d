// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: prepares the toolkit, runs the main window and
// ends the program when it closes.
#pragma once

#include <QApplication>
#include <string>
#include <vector>

class QDialog;

// Shows dialog and runs the event loop until it has finished. The dialog is
// not made modal, so that the windows it opens without an owner (the folder
// pickers) take input beside it.
void RunMainWindow(QDialog& dialog);

class CMainApp : public QApplication {
public:
  // Prepares the toolkit; Qt takes its own options out of argc and argv.
  CMainApp(int& argc, char** argv);

  // Instance initialisation: constructs the main window with arguments (the
  // command line without the program's path), runs it and returns 0 once it
  // has closed.
  int InitInstance(const std::vector<std::string>& arguments);
};
