// SPDX-License-Identifier: GPL-3.0-or-later
// One run of the copy engine from the command line: the Start command of the
// window, the wait for the worker while Ctrl-C is watched, and the exit
// status.
#pragma once

#include "cli/CliOptions.h"
#include "cli/LogFile.h"

// Runs the copy of options.sources (or, with options.scan, their scan, which
// copies nothing: ScanThreadProc) on a worker thread and shows it on
// standard output (and in logFile when given, which it closes). Returns the
// exit status: 0 when every source succeeded, else the bitwise or of the
// sources' result flags, with kExitOutputFailed added when standard output or
// logFile could not be written; 130 after Ctrl-C or SIGTERM; 1 when the run
// could not start. A second Ctrl-C ends the process at once with status 130.
int RunCopy(const CCliOptions& options, CLogFile* logFile);
