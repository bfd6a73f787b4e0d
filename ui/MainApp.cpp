#include "MainApp.h"

#include "MainDlg.h"
#include "ProgramIcon.h"

CMainApp::CMainApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Ferrox"));
  setApplicationVersion(QStringLiteral("1.0"));
  setDesktopFileName(QStringLiteral("ferrox"));
  setWindowIcon(ProgramIcon());
}

int CMainApp::InitInstance(const std::vector<std::string>& arguments) {
  CMainDlg dialog(arguments);
  dialog.exec();
  return 0;
}
