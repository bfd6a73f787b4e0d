// The commands that start and stop work: Start/Abort (the default button,
// Enter, and the worker's closing Start command), Exit (also Escape and the
// close box), Pause and Scan Folders. They run on the window thread, talk to
// the worker only through the run state's flags and never wait for it.
#pragma once

#include "RunHost.h"

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

// Returns the phase the flags of run describe.
RunPhase CurrentRunPhase(const RunState& run);

// Start/Abort. Running or stopping: sets the button to "&Start", clears the
// run flag and brings the window to the front, without waiting. Idle: reads
// the form (a refused field ends the command, nothing starts), empties the
// log, writes the form, rebuilds the source list, sets the button to
// "&Abort", sets the run flag, clears the worker-finished flag, copies
// buffer size, reconnect limit, check cycles and check after copy into the
// run state and starts CopyThreadProc on a detached thread. When no thread
// can be created the window returns to idle with a log line.
void OnStartAbort(CRunHost& host);

// Exit: aborts a running copy; closes the window when the worker has
// finished, otherwise writes "\r\nWait until copy thread exits..." as a
// whole line (followed by "\r\n", so that the worker's later lines cannot
// replace it) and leaves the window open.
void OnExit(CRunHost& host);

// Pause: toggles the pause flag and shows "&Continue" while it is set,
// "&Pause" while it is clear. The engine does not pause.
void OnPause(CRunHost& host);

// Scan Folders, from idle only: reads the form (a refused field ends the
// command), empties the log, writes the form, rebuilds the source list,
// sets the run flag, clears the worker-finished flag and starts
// ScanThreadProc on the first source on a detached thread.
void OnScanFolders(CRunHost& host);
