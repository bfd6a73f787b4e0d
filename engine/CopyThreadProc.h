// SPDX-License-Identifier: GPL-3.0-or-later
// The run driver: the worker thread's whole job.
#pragma once

#include "engine/ResultFlags.h"

// The run could not start: its storage could not be allocated.
inline constexpr ResultFlags kResultNoStorage = 16;

// Works through the run state's source list in order: waits for each source
// to become reachable, scans a folder source, copies it, and closes it with
// the summary lines. A source that never becomes reachable ends the run.
// Sends the Start command to the main form when it ends with the run flag
// still set, then releases the copy buffer and sets the worker-finished
// flag. Returns the result of the last source worked on (0 when there was
// none), or kResultNoStorage when the copy buffer could not be allocated.
ResultFlags CopyThreadProc();
