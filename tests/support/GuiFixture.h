// SPDX-License-Identifier: GPL-3.0-or-later
// The common ground of the window tests: a fresh run state, a temporary
// folder that is also the state folder the run logs go to, a main window
// whose message boxes are recorded instead of shown, and waiting with the
// event loop running.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QThread>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/RunState.h"
#include "frontend/ControlIds.h"
#include "tests/support/TempDir.h"
#include "ui/DirDialog.h"
#include "ui/MainDlg.h"

class CGuiTest : public ::testing::Test {
protected:
  CGuiTest() {
    g_RunState.Reset();
    setenv("XDG_STATE_HOME", (temp / "state").c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
  }
  ~CGuiTest() override {
    WaitFor([] { return g_RunState.workerFinished.load(); });
    dialog.reset();
    g_RunState.Reset();
  }

  // Creates the main window with arguments as its command line.
  CMainDlg& Open(const std::vector<std::string>& arguments = {}) {
    dialog = std::make_unique<CMainDlg>(arguments);
    dialog->Hooks().messageBox = [this](const std::string& message) { messages.push_back(message); };
    // A second passes between any two looks at the clock, so that no Start
    // is taken for the second click of a double click.
    dialog->Hooks().nowMs = [this] { return clockMs += 1000; };
    return *dialog;
  }

  // Runs the event loop until condition holds or timeoutMs passed; returns
  // whether it holds. Objects let go of with deleteLater are deleted on the
  // way, as the program's own event loop deletes them.
  static bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
      if (timer.elapsed() > timeoutMs) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      QThread::msleep(2);
    }
    return true;
  }

  QLineEdit* Edit(int id) const { return qobject_cast<QLineEdit*>(dialog->Control(id)); }
  QAbstractButton* Button(int id) const { return qobject_cast<QAbstractButton*>(dialog->Control(id)); }
  QLabel* Label(int id) const { return qobject_cast<QLabel*>(dialog->Control(id)); }
  QProgressBar* Bar(int id) const { return qobject_cast<QProgressBar*>(dialog->Control(id)); }
  QPlainTextEdit* LogBox() const { return qobject_cast<QPlainTextEdit*>(dialog->Control(kIdLog)); }

  // The log box's text as it shows it (line feeds only).
  std::string ShownLog() const {
    dialog->RefreshDisplay();
    return LogBox()->toPlainText().toStdString();
  }

  // Returns the log channel's text.
  std::string LogText() const { return dialog->Log().Text(); }

  // Returns whether the log holds text.
  bool LogHas(const std::string& text) const { return LogText().find(text) != std::string::npos; }

  CTempDir temp;
  std::unique_ptr<CMainDlg> dialog;
  std::vector<std::string> messages;  // every validation message shown
  int64_t clockMs = 0;                // the window's steady clock
};
