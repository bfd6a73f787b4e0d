// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the whole-file copy and the part extraction.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/ResultFlags.h"
#include "platform/FileServices.h"

// Returns value * scale / whole rounded down, exact for every 64-bit value.
// whole must not be 0.
uint64_t ScaledShare(uint64_t value, uint64_t scale, uint64_t whole);

// Logs the progress line of a file: its name, the destination's length in
// bytes and whole mebibytes, and the percentage done.
void LogProgressLine(const std::string& name, uint64_t length, uint64_t percent);

// Closes the destination of a pass. Returns 0, or 4 after logging a write
// failure when the close reports one (a network file system may report a
// failed write only then).
ResultFlags CloseDestination(CStream& destination, const std::string& name);

// Logs the cause of a failure at path on a line of its own: the path and the
// system's description of error ("/dst/a.txt : Permission denied").
void LogFailureCause(const std::string& path, int error);

// Handles a write to the destination at path that failed with error, after
// the failure itself was logged: logs the cause. Returns 2 when the
// destination is on a share whose connection dropped (the next pass
// reconnects and goes on from the length the server holds, as after a
// failed read), else 4.
uint32_t WriteFailed(const std::string& path, int error);

// Logs that the file at source changed while it was copied, so that its
// copy is not what it holds now.
void LogChangedSource(const std::string& source);

// Returns the path of the file or folder called name inside folder.
std::string DestinationPath(const std::string& folder, const std::string& name);
