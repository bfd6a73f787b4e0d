// SPDX-License-Identifier: GPL-3.0-or-later
// The scan-only worker of the Scan Folders command.
#pragma once

#include <string>

// Lists the folder tree at source into a root node of its own (the scan
// writes its own log lines), or logs that there is nothing to scan when
// source is null; then clears the run flag, releases the tree and sets the
// worker-finished flag. Returns 0.
int ScanThreadProc(const std::string* source);
