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

// Who takes a reading that no worker has taken yet when the caller asks for
// it.
enum class CReadingsCaller {
  // The caller, on its own thread, so that a sweep of one reading needs no
  // worker at all; workers are at most depth - 1.
  kReads,
  // A worker: the caller waits, and may start more readings as soon as any
  // ends. For readings that each wait a round trip on a link, where the
  // caller reading one would leave the others idle until it returns;
  // workers are at most depth.
  kWaits,
};

// How many workers readings take: first at the start, and as many as their
// depth allows once kSlowReadingsInARow readings in a row each took slowUs
// or longer (a link's round trip bounds them, not the processors, so more of
// them at once go faster). The default takes all from the start. A link's
// round trip makes every reading slow; on loopback a busy machine made runs
// of 8 slow readings now and then, of 64 not once in the runs measured.
struct CReadingsWorkers {
  uint32_t first = UINT32_MAX;
  uint32_t slowUs = 0;
};
inline constexpr uint32_t kSlowReadingsInARow = 64;

// Returns readings of the given depth. A reading runs on a worker, or on the
// caller's own thread as caller says. Workers are taken as readings wait for
// them, as workers allows, from threads the process keeps for its whole
// life, and are given back when the readings end. factory is called on the
// thread that uses the reader, and may be called from several threads at
// once; a reader is destroyed on the thread that made it.
std::unique_ptr<CReadQueue> MakeThreadReadings(uint32_t depth, CPositionalReaderFactory factory,
                                               CReadingsCaller caller = CReadingsCaller::kReads,
                                               CReadingsWorkers workers = CReadingsWorkers());
