// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/RunButtons.h"

#include "engine/RunState.h"
#include "frontend/RunCommands.h"
#include "frontend/RunHost.h"

namespace {

// Returns true while a copy started by Start runs.
bool CopyRuns(const CRunHost& host) { return host.copyStarted && g_RunState.runFlag; }

}  // namespace

void ShowRunButtons(CRunHost& host) {
  const bool copyRuns = CopyRuns(host);
  host.SetRunButtons(copyRuns, copyRuns && host.fileActive);
}

void ResetPause(CRunHost& host) {
  g_RunState.pauseFlag = false;
  host.SetPauseText(kPauseText);
}

void OnSkipFile(CRunHost& host) {
  if (CopyRuns(host) && host.fileActive) g_RunState.skipFlag = true;
}
