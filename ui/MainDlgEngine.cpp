// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as the engine's front end, and the repaint of the log,
// the progress controls and the caption from their state.
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <chrono>

#include "engine/RunState.h"
#include "frontend/ControlIds.h"
#include "frontend/LogBoxText.h"
#include "frontend/RunButtons.h"
#include "frontend/RunCommands.h"
#include "ui/MainDlg.h"

void CMainDlg::SendStartCommand() {
  if (QThread::currentThread() == thread()) {
    OnStartAbort();
    return;
  }
  QMetaObject::invokeMethod(
      this, [this] { OnStartAbort(); }, Qt::BlockingQueuedConnection);
}

void CMainDlg::RequestRepaint() {
  if (m_repaintRequested.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!m_repaintTimer.isActive()) m_repaintTimer.start();
      },
      Qt::QueuedConnection);
}

void CMainDlg::RefreshDisplay() {
  m_repaintRequested = false;
  m_runLog.Flush();
  const uint64_t revision = m_log.Revision();
  if (revision != m_shownLogRevision) {
    m_shownLogRevision = revision;
    uint64_t droppedLines = 0;
    const std::string text = m_log.Text(&droppedLines);
    m_logView->Show(QString::fromStdString(WithoutCarriageReturns(text)), droppedLines);
  }

  CProgressDisplay display;
  if (!TakeProgress(display)) return;
  auto bar = [this](int id) { return static_cast<QProgressBar*>(m_controls.at(id)); };
  auto label = [this](int id) { return static_cast<QLabel*>(m_controls.at(id)); };
  label(kIdFileLabel)->setText(QString::fromStdString(display.fileLabel));
  bar(kIdFileBar)->setValue(std::clamp(display.fileBar, 0, kProgressBarRange));
  label(kIdTotalLabel)->setText(QString::fromStdString(display.totalLabel));
  bar(kIdTotalBar)->setValue(std::clamp(display.totalBar, 0, kProgressBarRange));
  setWindowTitle(QString::fromStdString(display.caption));
  fileActive = display.fileActive;
  ShowRunButtons(*this);
}

int64_t CMainDlg::NowMs() const {
  if (m_hooks.nowMs) return m_hooks.nowMs();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void CMainDlg::WatchWorker() {
  if (!g_RunState.workerFinished) return;
  m_workerWatch.stop();
  RefreshDisplay();
  ::OnWorkerFinished(*this);
  RefreshDisplay();
}
