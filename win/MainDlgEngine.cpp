// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as the engine's front end, and the repaint of the log,
// the progress controls and the caption from their state.
// windows.h before the system headers that need it.
#include "platform/windows/WindowsApi.h"

#include <commctrl.h>

#include <algorithm>

#include "engine/RunState.h"
#include "frontend/ControlIds.h"
#include "frontend/RunButtons.h"
#include "frontend/RunCommands.h"
#include "platform/windows/WinPath.h"
#include "win/MainDlg.h"
#include "win/WindowMessages.h"

void CMainDlg::SendStartCommand() {
  if (OnWindowThread()) {
    OnStartAbort();
    return;
  }
  if (m_hwnd) PostMessageW(m_hwnd, kMsgRunEnded, m_runGeneration.load(), 0);
}

void CMainDlg::OnRunEnded(WPARAM generation) {
  // A run that was aborted meanwhile, or followed by another, is over
  // already: Start/Abort would abort or start the wrong one.
  if (generation != m_runGeneration.load() || !g_RunState.runFlag) return;
  OnStartAbort();
}

void CMainDlg::RequestRepaint() {
  if (OnWindowThread()) {
    StartRepaintTimer();
    return;
  }
  // Pairs with the fence in OnRepaintTimer: either the timer sees this
  // change, or this thread sees that the timer stopped.
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (m_timerRunning.load()) return;
  if (m_hwnd && !m_wakePosted.exchange(true)) PostMessageW(m_hwnd, kMsgRepaint, 0, 0);
}

void CMainDlg::StartRepaintTimer() {
  if (!m_hwnd || m_timerRunning.load()) return;
  if (SetTimer(m_hwnd, kRepaintTimerId, kRepaintIntervalMs, nullptr)) m_timerRunning = true;
}

void CMainDlg::OnRepaintTimer() {
  // Whatever the worker wrote before it finished is in the state by now.
  const bool finished = g_RunState.workerFinished;
  RefreshDisplay();
  if (!finished) return;
  ::OnWorkerFinished(*this);
  RefreshDisplay();
  KillTimer(m_hwnd, kRepaintTimerId);
  m_timerRunning = false;
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (DisplayOutOfDate()) StartRepaintTimer();
}

bool CMainDlg::DisplayOutOfDate() { return m_log.Revision() != m_shownLogRevision || ProgressChanged(); }

void CMainDlg::RefreshDisplay() {
  if (!m_hwnd) return;
  m_runLog.Flush();
  const uint64_t revision = m_log.Revision();
  if (revision != m_shownLogRevision) {
    m_shownLogRevision = revision;
    uint64_t droppedLines = 0;
    const std::string text = m_log.Text(&droppedLines);
    m_logEdit.Show(text, droppedLines);
  }

  CProgressDisplay display;
  if (!TakeProgress(display)) return;
  // Only what changed is drawn again.
  auto setText = [this](int id, const std::string& text, const std::string& shown) {
    if (text != shown) SetDlgItemTextW(m_hwnd, id, WideFromUtf8(text).c_str());
  };
  auto setBar = [this](int id, int32_t position, int32_t shown) {
    const int32_t clamped = std::clamp(position, 0, kProgressBarRange);
    const int32_t before = std::clamp(shown, 0, kProgressBarRange);
    if (clamped == before) return;
    // A themed bar draws a step forward as a slow glide, so that a bar moved
    // often lags far behind its value, and draws a step back at once: the
    // bar goes one past its value and back.
    if (clamped > before && clamped < kProgressBarRange)
      SendDlgItemMessageW(m_hwnd, id, PBM_SETPOS, static_cast<WPARAM>(clamped + 1), 0);
    SendDlgItemMessageW(m_hwnd, id, PBM_SETPOS, static_cast<WPARAM>(clamped), 0);
  };
  setText(kIdFileLabel, display.fileLabel, m_shownProgress.fileLabel);
  setBar(kIdFileBar, display.fileBar, m_shownProgress.fileBar);
  setText(kIdTotalLabel, display.totalLabel, m_shownProgress.totalLabel);
  setBar(kIdTotalBar, display.totalBar, m_shownProgress.totalBar);
  if (display.caption != m_shownProgress.caption)
    SetWindowTextW(m_hwnd, WideFromUtf8(display.caption).c_str());
  fileActive = display.fileActive;
  ShowRunButtons(*this);
  m_shownProgress = std::move(display);
}
