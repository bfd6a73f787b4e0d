// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainApp.h"

#include <QDialog>
#include <QEventLoop>

#include "ui/MainDlg.h"
#include "ui/ProgramIcon.h"

CMainApp::CMainApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Ferrox"));
  setApplicationVersion(QStringLiteral("1.0"));
  setDesktopFileName(QStringLiteral("ferrox"));
  setWindowIcon(ProgramIcon());
}

void RunMainWindow(QDialog& dialog) {
  QEventLoop loop;
  QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
  dialog.show();
  loop.exec();
}

int CMainApp::InitInstance(const std::vector<std::string>& arguments) {
  CMainDlg dialog(arguments);
  RunMainWindow(dialog);
  return 0;
}
