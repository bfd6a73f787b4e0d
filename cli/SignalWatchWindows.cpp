// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/SignalWatch.h"

#include "platform/windows/WindowsApi.h"

namespace {

// The console's control handler runs on a thread of its own: it counts the
// event and wakes the main thread, nothing more.
std::atomic<int> g_pending{0};
HANDLE g_wake = nullptr;  // an auto-reset event, made once

BOOL WINAPI OnControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      ++g_pending;
      if (g_wake != nullptr) SetEvent(g_wake);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

CSignalWatch::~CSignalWatch() {
  if (m_started) SetConsoleCtrlHandler(OnControl, FALSE);
}

bool CSignalWatch::Start() {
  if (g_wake == nullptr) g_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (g_wake == nullptr || !SetConsoleCtrlHandler(OnControl, TRUE)) return false;
  m_started = true;
  return true;
}

int CSignalWatch::TakePending() { return g_pending.exchange(0); }

CJobSignal CSignalWatch::TakeJobSignal() { return CJobSignal::kNone; }

bool CSignalWatch::StopProcess() { return false; }

void CSignalWatch::Wait(int ms) {
  if (g_wake == nullptr) {
    Sleep(static_cast<DWORD>(ms));
    return;
  }
  WaitForSingleObject(g_wake, static_cast<DWORD>(ms));
}

void CSignalWatch::Wake() {
  if (g_wake != nullptr) SetEvent(g_wake);
}
