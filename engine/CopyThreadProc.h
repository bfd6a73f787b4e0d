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

// The scan of Scan Folders: works through the run state's source list as
// CopyThreadProc does (waiting for each source, listing it and logging its
// totals), then, copying nothing, classifies every file's destination by the
// copy's rules and logs the counts of complete, partial, missing and
// differing files and the bytes a run would read; tells the main form
// (OnScanDone). Writes, creates and stamps nothing at the destination, which
// need not exist. A source that cannot be reached ends its own scan only.
// Sends the Start command when it ends with the run flag still set, then
// sets the worker-finished flag. Returns the bitwise or of the sources'
// results (8 for an incomplete listing, 2 for a source that cannot be
// reached or read).
ResultFlags ScanThreadProc();
