// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstring>
#include <new>

#include "engine/FileNode.h"
#include "engine/LogPrintf.h"
#include "engine/PauseGate.h"
#include "engine/RunState.h"

namespace {

constexpr uint32_t kWindowSlack = 1024;  // at most this many bytes before and after a page

enum class Reading { kDone, kFailed, kNoMemory };

// One reading of a sweep: its page, the window drawn for it, and the
// generator's state right after the draw.
struct CDrawnWindow {
  uint32_t page = 0;
  uint32_t lead = 0;
  uint32_t windowBytes = 0;
  int64_t windowStart = 0;
  uint32_t randomAfter = 0;
};

}  // namespace

ResultFlags CFileNode::VerifyBlock(CStream& source, int64_t blockStart, uint32_t& bytesRead) {
  RunState& run = g_RunState;
  const uint32_t length = bytesRead;
  const bool endedAtEof = source.Eof();
  const uint32_t pageCount = (length + kPageSize - 1) / kPageSize;
  PageRecord* records = run.verifyRecords.get();
  uint8_t* buffer = run.copyBuffer.get();

  auto pageLength = [&](uint32_t page) { return std::min(kPageSize, length - page * kPageSize); };

  // A block of no bytes has no pages: nothing is read again, and the source
  // keeps its position and its end-of-file indicator.
  if (pageCount == 0) return kResultOk;

  for (uint32_t page = 0; page < pageCount; ++page) {
    PageRecord& record = records[page];
    record.variantCount = 1;
    record.chosenIndex = -1;
    record.variants[0] = buffer + static_cast<size_t>(page) * kPageSize;
    record.hitCounts[0] = 1;
  }

  CReadQueue& readings = source.Readings();
  const uint32_t depth = std::clamp<uint32_t>(readings.Depth(), 1, kReadingsInFlight);

  // Draws the window of one reading of page: a random extent around it.
  auto draw = [&](uint32_t page, CDrawnWindow& window) {
    const int64_t position = blockStart + static_cast<int64_t>(page) * kPageSize;
    auto lead = static_cast<uint32_t>(Random() % static_cast<int>(kWindowSlack)) + 1;
    if (position - static_cast<int64_t>(lead) <= 0) lead = 0;
    auto trail = static_cast<uint32_t>(Random() % static_cast<int>(kWindowSlack)) + 1;
    if (static_cast<uint64_t>(position) + trail + pageLength(page) > m_data.size) trail = 0;
    window.page = page;
    window.lead = lead;
    window.windowStart = position - lead;
    window.windowBytes = lead + pageLength(page) + trail;
    window.randomAfter = RandomState();
  };

  // Tallies one reading against the variants its page has shown so far. A
  // reading that ended early (the source shrank) is taken with zeros for the
  // bytes it lacks.
  uint8_t shortPage[kPageSize];
  auto tally = [&](const CDrawnWindow& window, const uint8_t* data, uint32_t got, bool settling) {
    PageRecord& record = records[window.page];
    const uint32_t pageBytes = pageLength(window.page);
    const uint8_t* landing = data + window.lead;
    if (got < window.lead + pageBytes) {
      const uint32_t have = got > window.lead ? got - window.lead : 0;
      std::memcpy(shortPage, landing, have);
      std::memset(shortPage + have, 0, pageBytes - have);
      landing = shortPage;
    }
    for (int32_t v = 0; v < record.variantCount; ++v) {
      if (std::memcmp(landing, record.variants[v], pageBytes) == 0) {
        ++record.hitCounts[v];
        return Reading::kDone;
      }
    }
    // A content not seen before. When the record is full it is still counted
    // as an error, never dropped silently.
    if (record.variantCount < kMaxVariants) {
      auto* variant = new (std::nothrow) uint8_t[kPageSize];
      if (!variant) return Reading::kNoMemory;
      std::memcpy(variant, landing, pageBytes);
      record.variants[record.variantCount] = variant;
      record.hitCounts[record.variantCount] = 1;
      ++record.variantCount;
    }
    ++run.errorsFixed;
    if (settling)
      LogPrintf("new errors : %d", run.errorsFixed);
    else
      LogPrintf("errors : %d", run.errorsFixed);
    return Reading::kDone;
  };

  bool aborted = false;

  // One sweep: the readings of the pages nextPage yields (a page number, or
  // -1 when the sweep has no more), up to depth of them in flight together,
  // each a fresh request, tallied in page order exactly as one reading after
  // another would be. The run flag is tested before each reading starts and
  // before each is tallied; after an abort or the first failure the readings
  // in flight are drained and not tallied, and the generator goes on from
  // the failed reading's draw, as though none after it had been drawn.
  // Returns how the sweep ended; readAny tells whether it tallied anything.
  auto sweep = [&](auto&& nextPage, bool settling, bool& readAny) {
    CDrawnWindow drawn[kReadingsInFlight];
    uint64_t started = 0;
    uint64_t ended = 0;
    bool more = true;
    bool stopped = false;
    Reading outcome = Reading::kDone;
    for (;;) {
      while (!stopped && more && started - ended < depth) {
        if (!run.FileGoesOn()) {
          aborted = true;
          stopped = true;
          break;
        }
        const int64_t page = nextPage();
        if (page < 0) {
          more = false;
          break;
        }
        const auto slot = static_cast<uint32_t>(started % depth);
        draw(static_cast<uint32_t>(page), drawn[slot]);
        readings.Start(slot, drawn[slot].windowStart, drawn[slot].windowBytes,
                       run.readingScratch + static_cast<size_t>(slot) * kReadingScratchBytes);
        ++started;
      }
      if (ended == started) break;
      const auto slot = static_cast<uint32_t>(ended % depth);
      uint32_t got = 0;
      const uint8_t* data = readings.Finish(slot, got);
      ++ended;
      if (stopped) continue;
      if (!run.FileGoesOn()) {
        aborted = true;
        stopped = true;
        continue;
      }
      outcome = data ? tally(drawn[slot], data, got, settling) : Reading::kFailed;
      readAny = true;
      if (outcome != Reading::kDone) {
        SeedRandom(drawn[slot].randomAfter);
        stopped = true;
      }
    }
    return outcome;
  };

  Reading failure = Reading::kDone;

  // The tally: check-cycles sweeps, each reading every page once.
  for (uint32_t cycle = 0; cycle < run.checkCycles && !aborted && failure == Reading::kDone; ++cycle) {
    // A pause holds the check between sweeps.
    WaitWhilePaused();
    uint32_t next = 0;
    bool readAny = false;
    failure = sweep([&]() -> int64_t { return next < pageCount ? static_cast<int64_t>(next++) : -1; }, false,
                    readAny);
  }
  if (!run.FileGoesOn()) aborted = true;

  // Decides page when its readings allow: returns true when it is decided.
  auto decide = [&](uint32_t page) {
    PageRecord& record = records[page];
    if (record.chosenIndex >= 0) return true;
    if (record.variantCount == 1) {
      record.chosenIndex = 0;
      return true;
    }
    int32_t best = 0;
    for (int32_t v = 1; v < record.variantCount; ++v)
      if (record.hitCounts[v] >= record.hitCounts[best]) best = v;
    int32_t second = -1;
    for (int32_t v = 0; v < record.variantCount; ++v)
      if (v != best && (second < 0 || record.hitCounts[v] >= record.hitCounts[second])) second = v;
    if (record.hitCounts[best] - record.hitCounts[second] >= record.variantCount / 2 + 1 ||
        record.variantCount == kMaxVariants) {
      record.chosenIndex = best;
      return true;
    }
    return false;
  };

  // The settling: sweeps over the undecided pages until a sweep reads none.
  // A page is decided on its own readings alone, so the undecided pages of a
  // sweep are known as it goes.
  while (!aborted && failure == Reading::kDone) {
    WaitWhilePaused();
    uint32_t next = 0;
    bool readAny = false;
    failure = sweep(
        [&]() -> int64_t {
          while (next < pageCount && decide(next)) ++next;
          return next < pageCount ? static_cast<int64_t>(next++) : -1;
        },
        true, readAny);
    if (!readAny) break;
  }
  if (!run.FileGoesOn()) aborted = true;

  if (failure == Reading::kDone) {
    source.Seek(blockStart + length, SeekOrigin::kSet);
    // The seek cleared the end-of-file indicator that the block's own read
    // set; the copy loops rely on it to stop at a source that is shorter
    // than listed, so find out again whether the source ends here.
    if (endedAtEof) {
      uint8_t probe = 0;
      const size_t probed = source.Read(&probe, 1);
      // The source has bytes here after all, or the probe itself failed: the
      // next block's own read is to find out, from this position.
      if (probed != 0 || source.Error()) {
        source.ClearErr();
        source.Seek(blockStart + length, SeekOrigin::kSet);
      }
    }
  }
  for (uint32_t page = 0; page < pageCount; ++page) {
    PageRecord& record = records[page];
    if (run.FileGoesOn() && failure == Reading::kDone && record.chosenIndex > 0)
      std::memcpy(record.variants[0], record.variants[record.chosenIndex], pageLength(page));
    for (int32_t v = 1; v < record.variantCount; ++v) delete[] record.variants[v];
    record.variantCount = 0;
  }

  if (failure == Reading::kDone) return kResultOk;
  bytesRead = 0;
  source.ClearErr();
  if (failure == Reading::kNoMemory) LogPrintf("\r\nnot enough memory to check %s\r\n", m_data.name.c_str());
  return kResultReadFailure;
}
