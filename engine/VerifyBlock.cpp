#include <algorithm>
#include <cstring>
#include <new>

#include "FileNode.h"
#include "LogPrintf.h"
#include "RunState.h"

namespace {

constexpr uint32_t kWindowSlack = 1024;  // at most this many bytes before and after a page

enum class Reading { kDone, kFailed, kNoMemory };

}  // namespace

ResultFlags CFileNode::VerifyBlock(CStream& source, int64_t blockStart, uint32_t& bytesRead) {
  RunState& run = g_RunState;
  const uint32_t length = bytesRead;
  const bool endedAtEof = source.Eof();
  const uint32_t pageCount = (length + kPageSize - 1) / kPageSize;
  PageRecord* records = run.verifyRecords.get();
  uint8_t* buffer = run.copyBuffer.get();
  uint8_t* const landing = run.rereadScratch + kPageSize;

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

  // One reading of a page: a fresh request to the source through a window of
  // random extent around the page, tallied against the variants seen so far.
  auto readPage = [&](uint32_t page, bool settling) {
    PageRecord& record = records[page];
    const uint32_t pageBytes = pageLength(page);
    const int64_t position = blockStart + static_cast<int64_t>(page) * kPageSize;
    auto lead = static_cast<uint32_t>(Random() % static_cast<int>(kWindowSlack)) + 1;
    if (position - static_cast<int64_t>(lead) <= 0) lead = 0;
    auto trail = static_cast<uint32_t>(Random() % static_cast<int>(kWindowSlack)) + 1;
    if (static_cast<uint64_t>(position) + trail + pageBytes > m_data.size) trail = 0;

    const int64_t windowStart = position - lead;
    const uint32_t windowBytes = lead + pageBytes + trail;
    source.Flush();
    source.DropCache(windowStart, windowBytes);
    source.Seek(windowStart, SeekOrigin::kSet);
    source.Read(landing - lead, windowBytes);
    if (source.Error()) return Reading::kFailed;

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

  Reading failure = Reading::kDone;
  bool aborted = false;

  // The tally: check-cycles sweeps, each reading every page once.
  for (uint32_t cycle = 0; cycle < run.checkCycles && !aborted && failure == Reading::kDone; ++cycle) {
    for (uint32_t page = 0; page < pageCount; ++page) {
      if (!run.runFlag) {
        aborted = true;
        break;
      }
      failure = readPage(page, false);
      if (failure != Reading::kDone) break;
    }
  }
  if (!run.runFlag) aborted = true;

  // The settling: sweeps over the undecided pages until a sweep reads none.
  while (!aborted && failure == Reading::kDone) {
    if (!run.runFlag) {
      aborted = true;
      break;
    }
    bool readAny = false;
    for (uint32_t page = 0; page < pageCount; ++page) {
      if (!run.runFlag) {
        aborted = true;
        break;
      }
      PageRecord& record = records[page];
      if (record.chosenIndex >= 0) continue;
      if (record.variantCount == 1) {
        record.chosenIndex = 0;
        continue;
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
        continue;
      }
      failure = readPage(page, true);
      if (failure != Reading::kDone) break;
      readAny = true;
    }
    if (!readAny) break;
  }

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
    if (run.runFlag && failure == Reading::kDone && record.chosenIndex > 0)
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
