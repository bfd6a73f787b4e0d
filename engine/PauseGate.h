// SPDX-License-Identifier: GPL-3.0-or-later
// Pause and Skip File on the worker's side: the one place where the worker
// waits while the run state's pause flag is set, the clock of the limits
// that leaves the paused time out, and the bracket of a file copy that Skip
// File ends.
#pragma once

#include <cstdint>
#include <string>

#include "engine/ResultFlags.h"

// How long the worker sleeps between two looks at the flags while paused.
inline constexpr uint32_t kPauseStepMs = 50;

// Holds the worker while the pause flag is set, the run flag set and no
// skip asked for; called where the worker would start a read request.
// Returns 0 at once when the pause flag is clear. Otherwise sets the run
// state's workerPaused, logs "paused" as a replaceable last line, shows the
// progress (the caption then says "Paused") and tells the main form; waits
// in steps of kPauseStepMs through the clock in use; then clears
// workerPaused, tells the main form, shows the progress again and returns
// the whole seconds waited (by TimeNow, so a process stopped meanwhile
// counts that time too), which are also added to the run state's
// pausedSeconds.
int64_t WaitWhilePaused();

// Returns TimeNow() less the seconds the run has spent paused: the clock of
// the reconnect limit and the other waits for a source, which the time
// spent paused does not run out.
int64_t ActiveTimeNow();

// Marks a file copy for Skip File while it lives: clears the skip flag and
// sets the run state's fileActive when made, clears both when destroyed.
// The progress display takes fileActive at its next update.
class CFileCopyScope {
public:
  CFileCopyScope();
  ~CFileCopyScope();
  CFileCopyScope(const CFileCopyScope&) = delete;
  CFileCopyScope& operator=(const CFileCopyScope&) = delete;
};

// Turns the result of the copy of the file called name into the result of
// a skipped file when a skip was asked for and the copy did not complete
// (result not 0): logs "\"NAME\" skipped, its partial copy is kept" in
// place of the last line, counts the file in the run state's skippedFiles
// and returns kResultSkipped. Returns result unchanged otherwise.
ResultFlags SkippedResult(ResultFlags result, const std::string& name);
