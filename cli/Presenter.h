// SPDX-License-Identifier: GPL-3.0-or-later
// How the command-line front end shows a run on standard output: as the log
// text or as JSON lines. The front end calls every method under its own
// lock, so an implementation never sees two calls at once.
#pragma once

#include <string_view>

#include "cli/OutputBuffer.h"
#include "engine/MainForm.h"
#include "engine/ResultFlags.h"

struct RunState;

class CPresenter {
public:
  virtual ~CPresenter() = default;

  // Shows one log message as the engine formatted it.
  virtual void OnLog(std::string_view message, CSteadyTime now) = 0;

  // Shows the progress counters of state. Called on the worker thread.
  virtual void OnProgress(const RunState& state, CSteadyTime now) = 0;

  // Shows how a source ended.
  virtual void OnSourceDone(const CSourceSummary& summary, CSteadyTime now) = 0;

  // Shows what the scan of a source found; nothing by default (the log
  // lines say it).
  virtual void OnScanDone(const CScanSummary& /*summary*/, CSteadyTime /*now*/) {}
  // Shows that the worker started waiting at a pause (paused true) or went
  // on (false). Nothing by default.
  virtual void OnPause(bool /*paused*/, CSteadyTime /*now*/) {}

  // Shows everything held back and writes all pending output now: the
  // process is about to be stopped.
  virtual void OnStop(CSteadyTime /*now*/) = 0;

  // Called about every 50 ms from the main thread: shows what was held back
  // and writes pending output that is due.
  virtual void OnTick(CSteadyTime now) = 0;

  // Shows the end of the run: the run driver's result and the exit status,
  // and writes out everything pending. Nothing is shown after it.
  virtual void OnEnd(ResultFlags result, int exitStatus) = 0;
};
