// SPDX-License-Identifier: GPL-3.0-or-later
// Readings one at a time through a stream's own position: what a backend
// without readings of its own offers.
#pragma once

#include <memory>

#include "platform/FileServices.h"

// Returns readings of depth 1 over stream, which must outlive them. Each
// reading discards the stream's buffered input, drops the backend's cache of
// its window, moves the stream there and reads; a failed reading leaves the
// stream's error indicator set.
std::unique_ptr<CReadQueue> MakeStreamReadings(CStream& stream);
