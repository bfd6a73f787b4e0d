// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/PauseGate.h"

#include "engine/LogPrintf.h"
#include "engine/MainForm.h"
#include "engine/RunState.h"
#include "engine/UpdateProgress.h"
#include "platform/FileServices.h"

namespace {

// Sets the worker's pause state and tells the front end.
void ShowPaused(bool paused) {
  g_RunState.workerPaused = paused;
  if (CMainForm* form = g_RunState.mainForm.load()) form->OnPauseChanged(paused);
  UpdateProgress();
}

}  // namespace

int64_t WaitWhilePaused() {
  RunState& run = g_RunState;
  if (!run.pauseFlag || !run.FileGoesOn()) return 0;
  const int64_t start = TimeNow();
  LogPrintf("paused");
  ShowPaused(true);
  while (run.pauseFlag && run.FileGoesOn()) SleepMs(kPauseStepMs);
  const int64_t end = TimeNow();
  // A clock set back meanwhile gives no time back.
  const int64_t waited = end > start ? end - start : 0;
  run.pausedSeconds += waited;
  ShowPaused(false);
  return waited;
}

int64_t ActiveTimeNow() { return TimeNow() - g_RunState.pausedSeconds; }

// The display learns of fileActive with the next progress point, so that a
// file shows as many progress points as before.
CFileCopyScope::CFileCopyScope() {
  g_RunState.skipFlag = false;
  g_RunState.fileActive = true;
}

CFileCopyScope::~CFileCopyScope() {
  g_RunState.fileActive = false;
  g_RunState.skipFlag = false;
}

ResultFlags SkippedResult(ResultFlags result, const std::string& name) {
  RunState& run = g_RunState;
  // A skip that an abort overtook ends the file as the abort does.
  if (result == kResultSkipped && !run.runFlag) return kResultOk;
  if (result == kResultOk || !run.SkipAsked()) return result;
  LogPrintf("\"%s\" skipped, its partial copy is kept\r\n", name.c_str());
  ++run.skippedFiles;
  return kResultSkipped;
}
