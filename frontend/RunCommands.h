// SPDX-License-Identifier: GPL-3.0-or-later
// The commands that start and stop work: Start/Abort (the default button,
// Enter, and the worker's closing Start command), Exit (also Escape and the
// close box), Pause and Scan Folders. They run on the window thread, talk to
// the worker only through the run state's flags and never wait for it.
#pragma once

#include "frontend/RunHost.h"

struct RunState;

// The run's state, from the run flag and the worker-finished flag.
enum class RunPhase {
  kIdle,      // run flag clear, worker finished: Start starts a run
  kRunning,   // run flag set: Start aborts
  kStopping,  // run flag clear, worker not finished yet: Start aborts again
};

inline constexpr char kStartText[] = "&Start";
inline constexpr char kAbortText[] = "&Abort";
inline constexpr char kPauseText[] = "&Pause";
inline constexpr char kContinueText[] = "&Continue";
inline constexpr char kWaitMessage[] = "\r\nWait until copy thread exits...";
inline constexpr char kExitNowMessage[] = "\r\nCopy thread has exited, Exit closes the window";
inline constexpr char kRunLogFailedMessage[] = "log file not written (%s)\r\n";

// A Start command this soon after the Start command that started a run is
// taken for the rest of a double click and ignored.
inline constexpr int64_t kStartRepeatMs = 500;

// Returns the phase the flags of run describe.
RunPhase CurrentRunPhase(const RunState& run);

// Start/Abort. Running or stopping: sets the button to "&Start", clears the
// run flag and the pause flag (Pause reads "&Pause"), disables Pause and
// Skip File and brings the window to the front, without waiting. Idle: reads
// the form (a refused field ends the command, nothing starts), opens the
// run's log file, puts the progress display back, empties the log, writes
// the form, rebuilds the source list (then names a log file that could not
// be made), sets the button to "&Abort", clears the pause and skip flags
// (Pause reads "&Pause"), sets the run flag, clears the worker-finished
// flag, disables Scan Folders, enables Pause (see RunButtons.h), copies
// buffer size, reconnect limit, check cycles and check after copy into the
// run state and starts CopyThreadProc on a detached thread. When no thread
// can be created the window returns to idle (Scan Folders enabled again)
// with a log line and the log file is closed.
void OnStartAbort(CRunHost& host);

// The Start button and Enter at the time nowMs (milliseconds of a steady
// clock): ignored within kStartRepeatMs after the Start command that
// started the current or last run; Start/Abort otherwise. The worker's
// closing Start command is Start/Abort itself and never ignored.
void OnStartCommand(CRunHost& host, int64_t nowMs);

// Exit: aborts a running copy; closes the window when the worker has
// finished, otherwise writes "\r\nWait until copy thread exits..." as a
// whole line (followed by "\r\n", so that the worker's later lines cannot
// replace it), remembers the request and leaves the window open.
void OnExit(CRunHost& host);

// Called by the window on its thread once it sees the worker-finished flag
// set. For the first call after a worker was started: when Exit was pressed
// while it ran, writes "\r\nCopy thread has exited, Exit closes the window"
// as a whole line; clears the pause flag (Pause reads "&Pause"), disables
// Pause and Skip File, then closes the run's log file and enables Scan
// Folders. Later calls do nothing.
void OnWorkerFinished(CRunHost& host);

// Pause: toggles the pause flag and shows "&Continue" while it is set,
// "&Pause" while it is clear. The worker waits at its next read while the
// flag is set (see engine/PauseGate.h).
void OnPause(CRunHost& host);

// Scan Folders, from idle only: reads the form (a refused field ends the
// command), empties the log, writes the form and rebuilds the source list;
// with no source, logs "no source to scan" and ends. Otherwise puts the
// progress display back, sets the Start button to "&Abort" (Start then ends
// the scan as it aborts a run), disables Scan Folders, sets the run flag,
// clears the worker-finished flag, copies the reconnect limit into the run
// state and starts ScanThreadProc, which scans every source and copies
// nothing, on a detached thread.
void OnScanFolders(CRunHost& host);

// Returns whether Scan Folders may be used: while no copy or scan runs or
// winds down.
bool ScanFoldersEnabled(const RunState& run);
