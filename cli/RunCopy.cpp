// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/RunCopy.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "cli/CliFrontEnd.h"
#include "cli/Console.h"
#include "cli/ExitStatus.h"
#include "cli/JsonPresenter.h"
#include "cli/OutputBuffer.h"
#include "cli/SignalWatch.h"
#include "cli/TextPresenter.h"
#include "engine/CopyThreadProc.h"
#include "engine/RunState.h"
#include "platform/Connections.h"

namespace {

// How often the main thread wakes to redraw and flush while the worker runs.
constexpr int kTickMs = 50;
// How long Ctrl-Z waits for the worker to reach its pause before the
// process stops.
constexpr int kPauseReachMs = 1000;

// Copies the form values into the run state and arms the run, as the
// window's Start does; sets the connections to one server the run may keep.
void PrepareRun(const CCliOptions& options, CMainForm& form) {
  RunState& run = g_RunState;
  run.mainForm = &form;
  run.sources = options.sources;
  run.runFlag = true;
  run.workerFinished = false;
  run.bufferSize = options.bufferSize;
  run.reconnectLimit = options.reconnectLimit;
  run.checkCycles = options.checkCycles;
  run.checkAfterCopy = options.checkAfterCopy;
  run.passUnreadable = options.passUnreadable;
  // Set before the worker starts, so that nothing of the run meets a share
  // under another setting.
  SetConnections(options.connections);
}

// Ctrl-Z: sets the pause flag and gives the worker a moment to reach its
// wait, so that the time the process then spends stopped lies inside the
// wait and does not run out the reconnect limit; shows "paused" and stops
// the process. Once continued (fg, bg), the SIGCONT read next clears the
// flag; a process the system did not stop goes on at once.
void StopForJobControl(CSignalWatch& signals, CCliFrontEnd& frontEnd, const std::atomic<bool>& workerDone) {
  RunState& run = g_RunState;
  run.pauseFlag = true;
  for (int waited = 0; waited < kPauseReachMs && !run.workerPaused && !workerDone && run.runFlag; waited += 5)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  frontEnd.FlushBeforeStop();
  if (!signals.StopProcess()) run.pauseFlag = false;
}

// Returns the exit status of a run that ended by itself.
int ExitStatusOf(ResultFlags result, ResultFlags sourceResults, bool aborted) {
  if (aborted) return kExitAborted;
  if (result == kResultNoStorage) return kExitUsage;
  return static_cast<int>(sourceResults);
}

}  // namespace

int RunCopy(const CCliOptions& options, CLogFile* logFile) {
  COutputBuffer out(kStdoutFd);
  std::unique_ptr<CPresenter> presenter;
  if (options.json)
    presenter = std::make_unique<CJsonPresenter>(out);
  else
    presenter = std::make_unique<CTextPresenter>(out, StdoutIsTerminal(), kStdoutFd);
  CCliFrontEnd frontEnd(options, *presenter, out, logFile);

  CSignalWatch signals;
  signals.Start();

  PrepareRun(options, frontEnd);
  ResultFlags result = kResultOk;
  std::atomic<bool> workerDone{false};
  const bool scan = options.scan;
  std::thread worker([&result, &signals, &workerDone, scan] {
    result = scan ? ScanThreadProc() : CopyThreadProc();
    workerDone = true;
    signals.Wake();
  });

  bool aborted = false;
  for (bool done = false; !done;) {
    signals.Wait(kTickMs);
    for (int pending = signals.TakePending(); pending > 0; --pending) {
      if (aborted) {
        frontEnd.FinishIfIdle(kExitAborted);
        ExitNow(kExitAborted);
      }
      aborted = true;
      g_RunState.runFlag = false;
    }
    switch (signals.TakeJobSignal()) {
      case CJobSignal::kStop:
        StopForJobControl(signals, frontEnd, workerDone);
        break;
      case CJobSignal::kContinue:
        g_RunState.pauseFlag = false;
        break;
      case CJobSignal::kNone:
        break;
    }
    done = workerDone.load() || g_RunState.workerFinished.load();
    frontEnd.Tick();
  }
  worker.join();

  const int status = frontEnd.Finish(result, ExitStatusOf(result, frontEnd.SourceResults(), aborted));
  g_RunState.mainForm = nullptr;
  return status;
}
