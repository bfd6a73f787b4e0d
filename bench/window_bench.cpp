// SPDX-License-Identifier: GPL-3.0-or-later
// Copies sources with the window, the way its tests drive it: the sources on
// the command line, the destination typed into its field, Start pressed,
// and the event loop run until the window is back to idle. Prints the
// milliseconds from the click to idle. Run it on the offscreen platform:
//   QT_QPA_PLATFORM=offscreen window_bench DEST SOURCE...
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/RunState.h"
#include "frontend/ControlIds.h"
#include "frontend/RunCommands.h"
#include "ui/MainDlg.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: window_bench DEST SOURCE...\n");
    return 1;
  }
  const std::vector<std::string> sources(argv + 2, argv + argc);
  CMainDlg dialog(sources);
  dialog.show();
  qobject_cast<QLineEdit*>(dialog.Control(kIdDestination))->setText(QString::fromUtf8(argv[1]));

  // The window's own event loop runs the copy; a timer notices the return
  // to idle.
  QElapsedTimer timer;
  QTimer idleCheck;
  QObject::connect(&idleCheck, &QTimer::timeout, [&] {
    if (CurrentRunPhase(g_RunState) == RunPhase::kIdle) app.quit();
  });
  QTimer::singleShot(0, [&] {
    timer.start();
    qobject_cast<QAbstractButton*>(dialog.Control(kIdStart))->click();
    idleCheck.start(2);
  });
  app.exec();
  std::printf("%lld\n", static_cast<long long>(timer.elapsed()));
  return 0;
}
