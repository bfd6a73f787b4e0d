// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/RunCommands.h"

#include <string>

#include "engine/CopyThreadProc.h"
#include "engine/LogPrintf.h"
#include "engine/RunState.h"
#include "frontend/RunButtons.h"

namespace {

// The abort path of Start/Abort.
void Abort(CRunHost& host, RunState& run) {
  host.SetStartText(kStartText);
  run.runFlag = false;
  ResetPause(host);
  ShowRunButtons(host);
  host.BringToFront();
}

// Returns the window to idle after the worker could not be started.
void WorkerNotStarted(CRunHost& host, RunState& run, const char* what, const std::string& error) {
  run.runFlag = false;
  run.workerFinished = true;
  host.SetStartText(kStartText);
  host.SetScanFoldersEnabled(true);
  host.workerStarted = false;
  host.copyStarted = false;
  ShowRunButtons(host);
  LogPrintf("\r\n%s could not be started (%s), nothing done\r\n", what, error.c_str());
  host.CloseRunLog();
}

// Reads the form, empties the log, writes the form and rebuilds the source
// list, as Start and Scan Folders begin; with runLog, opens the run's log
// file and puts the progress display back first, and names a log file that
// could not be made last. Returns false when a field was refused.
bool PrepareSources(CRunHost& host, bool runLog) {
  if (!host.ReadFormValues()) return false;
  std::string logError;
  const bool logOpened = !runLog || host.OpenRunLog(logError);
  if (runLog) host.ResetProgress();
  host.EmptyLogAndWriteForm();
  host.ParseSourceList();
  if (!logOpened) LogPrintf(kRunLogFailedMessage, logError.c_str());
  return true;
}

}  // namespace

RunPhase CurrentRunPhase(const RunState& run) {
  if (run.runFlag) return RunPhase::kRunning;
  return run.workerFinished ? RunPhase::kIdle : RunPhase::kStopping;
}

void OnStartAbort(CRunHost& host) {
  RunState& run = g_RunState;
  if (CurrentRunPhase(run) != RunPhase::kIdle) {
    Abort(host, run);
    return;
  }
  if (!PrepareSources(host, true)) return;
  host.SetStartText(kAbortText);
  host.SetScanFoldersEnabled(false);
  host.workerStarted = true;
  host.exitRequested = false;
  host.copyStarted = true;
  host.fileActive = false;
  ResetPause(host);
  run.skipFlag = false;
  run.runFlag = true;
  run.workerFinished = false;
  ShowRunButtons(host);
  const CFormValues& values = host.FormValues();
  run.bufferSize = values.bufferSize;
  run.reconnectLimit = values.reconnectLimit;
  run.checkCycles = values.checkCycles;
  run.checkAfterCopy = values.checkAfterCopy;
  run.passUnreadable = values.passUnreadable;
  std::string error;
  if (!host.StartWorker([] { CopyThreadProc(); }, error)) WorkerNotStarted(host, run, "copy thread", error);
}

void OnStartCommand(CRunHost& host, int64_t nowMs) {
  if (host.runStarted && nowMs - host.runStartMs < kStartRepeatMs) return;
  const bool idle = CurrentRunPhase(g_RunState) == RunPhase::kIdle;
  OnStartAbort(host);
  if (idle && g_RunState.runFlag) {
    host.runStarted = true;
    host.runStartMs = nowMs;
  }
}

void OnExit(CRunHost& host) {
  RunState& run = g_RunState;
  if (run.runFlag) Abort(host, run);
  if (run.workerFinished) {
    host.CloseWindow();
    return;
  }
  // One message, so that no worker line comes between: the wait line ends
  // with a line feed, and what the worker writes after it replaces only the
  // empty line below it.
  LogPrintf("%s\r\n", kWaitMessage);
  host.exitRequested = true;
}

void OnWorkerFinished(CRunHost& host) {
  if (!host.workerStarted) return;
  host.workerStarted = false;
  host.copyStarted = false;
  host.fileActive = false;
  ResetPause(host);
  ShowRunButtons(host);
  if (host.exitRequested) LogPrintf("%s\r\n", kExitNowMessage);
  host.exitRequested = false;
  host.CloseRunLog();
  host.SetScanFoldersEnabled(true);
}

void OnPause(CRunHost& host) {
  RunState& run = g_RunState;
  const bool paused = !run.pauseFlag;
  run.pauseFlag = paused;
  host.SetPauseText(paused ? kContinueText : kPauseText);
}

void OnScanFolders(CRunHost& host) {
  RunState& run = g_RunState;
  if (CurrentRunPhase(run) != RunPhase::kIdle) return;
  if (!PrepareSources(host, false)) return;
  if (run.sources.empty()) {
    LogPrintf("\r\nno source to scan\r\n");
    return;
  }
  host.ResetProgress();
  host.SetStartText(kAbortText);
  host.SetScanFoldersEnabled(false);
  host.workerStarted = true;
  host.exitRequested = false;
  run.runFlag = true;
  run.workerFinished = false;
  run.reconnectLimit = host.FormValues().reconnectLimit;
  std::string error;
  if (!host.StartWorker([] { ScanThreadProc(); }, error)) WorkerNotStarted(host, run, "scan thread", error);
}

bool ScanFoldersEnabled(const RunState& run) { return CurrentRunPhase(run) == RunPhase::kIdle; }
