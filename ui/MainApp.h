// The application object: prepares the toolkit, runs the main window
// modally and ends the program when it closes.
#pragma once

#include <QApplication>
#include <string>
#include <vector>

class CMainApp : public QApplication {
public:
  // Prepares the toolkit; Qt takes its own options out of argc and argv.
  CMainApp(int& argc, char** argv);

  // Instance initialisation: constructs the main window with arguments (the
  // command line without the program's path), runs it modally and returns
  // 0 once it has closed.
  int InitInstance(const std::vector<std::string>& arguments);
};
