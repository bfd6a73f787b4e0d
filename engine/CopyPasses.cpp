// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CopyPasses.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "engine/CopyProgress.h"
#include "engine/Crc32.h"
#include "engine/FileNode.h"
#include "engine/LeftOut.h"
#include "engine/LogPrintf.h"
#include "engine/PassStall.h"
#include "engine/PauseGate.h"
#include "engine/ReconnectSource.h"
#include "engine/RunState.h"

namespace {

// Copies the block that the passes stalled on, from the source's position
// (src, opened for the file at source) to dest (the file at destination),
// page by page: each page
// that reads within kPageTries tries is written as read, each that does not
// is added to pass's passed pages, recorded at recordPath, and then written
// as zeros. The block ends at the buffer size, at the end of a part file's
// header when it lies in the header, or at pass's end. Returns 0 with src
// where the destination's end stands in the source (the part's start once
// a header is complete); 2 when the source no longer opens or the run
// stops; 4 when the record or the destination cannot be written.
ResultFlags PassFailingBlock(std::unique_ptr<CStream>& src, CStream& dest, const std::string& source,
                             const std::string& destination, const std::string& recordPath, CCopyPass& pass) {
  RunState& run = g_RunState;
  CFileNode& node = pass.Node();
  uint64_t position = static_cast<uint64_t>(src->Tell());
  const CCopyLayout layout = pass.Layout();
  const uint64_t limit = static_cast<uint64_t>(dest.Tell()) < layout.header ? layout.header : pass.End();
  const uint64_t blockEnd = std::min<uint64_t>(position + run.bufferSize, limit);
  CPassedPages& passed = pass.Passed();
  if (passed.runs.empty()) passed.Identify(node.m_data, pass.Layout());
  LogPrintf("\r\n%s cannot be read at %" PRIu64 ", reading it page by page\r\n", source.c_str(), position);
  ResultFlags result = kResultOk;
  while (position < blockEnd) {
    WaitWhilePaused();
    if (!run.FileGoesOn()) {
      result = kResultReadFailure;
      break;
    }
    const auto count = static_cast<uint32_t>(PageEndAfter(position, blockEnd) - position);
    uint32_t got = 0;
    const CPageRead read = ReadPageWithTries(src, source, node, position, count, got);
    if (read == CPageRead::kLost) {
      result = kResultReadFailure;
      break;
    }
    uint8_t* buffer = run.copyBuffer.get();
    if (read == CPageRead::kUnreadable) {
      // The record names the page before the zeros reach the copy.
      const auto offset = static_cast<uint64_t>(dest.Tell());
      passed.Add(offset, count);
      if (SavePassedRecord(recordPath, passed) != kResultOk) {
        passed.runs.back().length -= count;
        if (passed.runs.back().length == 0) passed.runs.pop_back();
        return kResultWriteFailure;
      }
      std::memset(buffer, 0, count);
      got = count;
    }
    dest.Write(buffer, got);
    dest.Flush();
    if (dest.Error()) {
      LogPrintf("\r\neror %d writing %s\r\n", 32, node.m_data.name.c_str());
      const int error = errno;
      dest.ClearErr();
      return WriteFailed(destination, error);
    }
    run.runCrc = CrcUpdate(run.runCrc, buffer, got);
    position += got;
    // A source that ends inside the page has no more to give.
    if (got < count) break;
  }
  src->Seek(static_cast<int64_t>(layout.SourceOffset(static_cast<uint64_t>(dest.Tell()))), SeekOrigin::kSet);
  pass.Progress(dest);
  return result;
}

// The passes of RunCopyPasses, without the skip's bracket. Returns as
// RunCopyPasses does, or kResultSkipped as soon as a skip is seen.
ResultFlags RunPasses(const std::string& source, const std::string& destination, const std::string& name,
                      CCopyPass& pass) {
  RunState& run = g_RunState;
  const uint64_t end = pass.End();
  const std::string recordPath = PassedRecordPath(destination);
  CPassStall stall;
  bool grew = false;
  // Whether the last pass failed reading a block, and whether the next one
  // reads the block it stalled on page by page.
  bool blockFailed = false;
  bool narrow = false;
  ResultFlags result = kResultOk;
  for (bool firstPass = true; (result & kResultWriteFailure) == 0; firstPass = false) {
    if (!firstPass && result != kResultOk) {
      if (run.passUnreadable && blockFailed && result == kResultReadFailure &&
          stall.GaveUp(grew, run.reconnectLimit))
        narrow = true;
      else if (!stall.MayRetry(grew, source))
        return kResultReadFailure;
    }
    blockFailed = false;
    if (run.SkipAsked()) return kResultSkipped;

    std::unique_ptr<CStream> src = ReconnectSource(source);
    if (!src) return run.SkipAsked() ? kResultSkipped : kResultReadFailure;
    // The passes read no further than the end (the listed length of a whole
    // file): a source that reads ahead asks for nothing past it.
    src->ExpectEnd(end);
    std::unique_ptr<CStream> dest;
    pass.SetNarrowing(narrow);
    switch (pass.Begin(*src, dest, result)) {
      case CCopyPass::CStart::kCopy:
        break;
      case CCopyPass::CStart::kRetry:
        result = kResultReadFailure;
        grew = false;
        continue;
      case CCopyPass::CStart::kEnd:
        return result;
    }

    bool moving = true;
    if (narrow) {
      narrow = false;
      result = PassFailingBlock(src, *dest, source, destination, recordPath, pass);
      moving = result == kResultOk;
    }

    while (moving) {
      // A pause holds the copy before the next read, and its progress line
      // replaces "paused" once it goes on.
      WaitWhilePaused();
      if (!run.FileGoesOn()) break;
      const uint64_t shown = pass.Progress(*dest);
      uint32_t count = 0;
      const uint8_t* data = nullptr;
      result = pass.Move(*src, *dest, count, data);
      if (result & kResultWriteFailure) result = WriteFailed(destination, errno);
      blockFailed = result == kResultReadFailure;
      if (result != kResultOk) break;
      if (data != nullptr) run.runCrc = CrcUpdate(run.runCrc, data, count);
      // A block read but not written, because the run was stopped meanwhile,
      // shows nothing: the line before it stays the last word.
      if (count == 0 || static_cast<uint64_t>(dest->Tell()) != shown) pass.Progress(*dest);
      if (!(static_cast<uint64_t>(src->Tell()) < end && !src->Eof() && run.FileGoesOn())) break;
    }

    const auto length = static_cast<uint64_t>(dest->Tell());
    if (CloseDestination(*dest, name) != kResultOk) result |= WriteFailed(destination, errno);
    grew = pass.Closed(length);

    if (static_cast<uint64_t>(src->Tell()) < end && !src->Eof() && run.runFlag) continue;
    // A source that ended before its listed end is copied when it holds now
    // exactly what its copy holds; otherwise it changed under the copy,
    // which stays a partial that no later run takes for complete.
    if (result == kResultOk && run.runFlag && static_cast<uint64_t>(src->Tell()) < end &&
        !SourceEndsWithItsCopy(*src, destination, length, pass.Layout())) {
      LogChangedSource(source);
      return kResultReadFailure;
    }
    if (result == kResultOk) {
      if (!pass.Passed().runs.empty()) return ReportPassedPages(name, length, pass.Passed());
      LogPrintf("\r\n");
      return kResultOk;
    }
    if (!run.runFlag) return result;
  }
  // A pass that failed to write ends the copy.
  return result;
}

}  // namespace

ResultFlags RunCopyPasses(const std::string& source, const std::string& destination, const std::string& name,
                          CCopyPass& pass) {
  const CFileCopyScope scope;
  return SkippedResult(RunPasses(source, destination, name, pass), name);
}
