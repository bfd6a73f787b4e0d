#include "RunCommands.h"

#include <string>

#include "CopyThreadProc.h"
#include "LogPrintf.h"
#include "RunState.h"
#include "ScanThreadProc.h"

namespace {

// The abort path of Start/Abort.
void Abort(CRunHost& host, RunState& run) {
  host.SetStartText(kStartText);
  run.runFlag = false;
  host.BringToFront();
}

// Returns the window to idle after the worker could not be started.
void WorkerNotStarted(CRunHost& host, RunState& run, const char* what, const std::string& error) {
  run.runFlag = false;
  run.workerFinished = true;
  host.SetStartText(kStartText);
  LogPrintf("\r\n%s could not be started (%s), nothing done\r\n", what, error.c_str());
}

// Reads the form, empties the log, writes the form and rebuilds the source
// list, as Start and Scan Folders begin. Returns false when a field was
// refused.
bool PrepareSources(CRunHost& host) {
  if (!host.ReadFormValues()) return false;
  host.EmptyLogAndWriteForm();
  host.ParseSourceList();
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
  if (!PrepareSources(host)) return;
  host.SetStartText(kAbortText);
  run.runFlag = true;
  run.workerFinished = false;
  const CFormValues& values = host.FormValues();
  run.bufferSize = values.bufferSize;
  run.reconnectLimit = values.reconnectLimit;
  run.checkCycles = values.checkCycles;
  run.checkAfterCopy = values.checkAfterCopy;
  std::string error;
  if (!host.StartWorker([] { CopyThreadProc(); }, error)) WorkerNotStarted(host, run, "copy thread", error);
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
  if (!PrepareSources(host)) return;
  run.runFlag = true;
  run.workerFinished = false;
  std::string first = run.sources.empty() ? std::string() : run.sources.front();
  const bool any = !run.sources.empty();
  std::string error;
  if (!host.StartWorker([first = std::move(first), any] { ScanThreadProc(any ? &first : nullptr); }, error))
    WorkerNotStarted(host, run, "scan thread", error);
}
