// SPDX-License-Identifier: GPL-3.0-or-later
// Readings in flight together on threads of their own, each thread with a
// reader of its own: the frame the backends' readings are built on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/FileServices.h"

// Reads at a position without any shared position, on the one thread that
// made it.
class CPositionalReader {
public:
  virtual ~CPositionalReader();
  // Reads count bytes at position into scratch (kReadingScratchBytes,
  // aligned to kReadingScratchAlign). Returns a pointer into scratch to the
  // bytes read, with got set to their number (fewer than count only where
  // the file ends), or nullptr with errno set.
  virtual const uint8_t* ReadAt(int64_t position, uint32_t count, uint8_t* scratch, uint32_t& got) = 0;
};

// Makes a reader for the calling thread; returns nullptr with errno set when
// none can be made now (asked again for the next reading).
using CPositionalReaderFactory = std::function<std::unique_ptr<CPositionalReader>()>;

// Returns readings of the given depth. A reading runs on a worker, or on the
// caller's own thread when it asks for a reading no worker has taken yet, so
// a sweep of one reading needs no worker at all. Workers are taken as
// readings wait for them, at most depth - 1, from threads the process keeps
// for its whole life, and are given back when the readings end. factory is
// called on the thread that uses the reader, and may be called from several
// threads at once; a reader is destroyed on the thread that made it.
std::unique_ptr<CReadQueue> MakeThreadReadings(uint32_t depth, CPositionalReaderFactory factory);
