#include <cerrno>
#include <cinttypes>

#include "CopyProgress.h"
#include "Crc32.h"
#include "DestinationCheck.h"
#include "FileNode.h"
#include "LogPrintf.h"
#include "OpenDestination.h"
#include "PassStall.h"
#include "ReconnectSource.h"
#include "RunState.h"
#include "UpdateProgress.h"

ResultFlags CFileNode::CopyWholeFile(const std::string& source, const std::string& destFolder) {
  RunState& run = g_RunState;
  const uint64_t doneBase = run.bytesDone;
  const uint64_t size = m_data.size;
  const std::string owner = CDestinationClaims::OwnerOf(m_data, source);
  const std::string destination = DestinationPath(destFolder, m_data.name);
  SeedRandom(static_cast<uint32_t>(TimeNow()));

  // Logs that the destination is the complete copy and counts it done.
  auto skipAsComplete = [&] {
    run.fileProgress = 1000;
    run.bytesDone += size;
    UpdateProgress();
    LogPrintf("\"%s\"  %10" PRIu64 " bytes, %4" PRIu64 " mb, 100%% - allready exist\r\n", m_data.name.c_str(), size,
              size >> 20);
    return kResultOk;
  };

  // A destination stamped with the source's time is this source's copy, as
  // far as its length goes: complete at the source's length, continued when
  // shorter. Any other file of that name is compared with the source first
  // (see DestinationCheck.h); a folder or anything else is no copy at all.
  enum class CCheck { kNone, kContinue, kComplete };
  CCheck check = CCheck::kNone;
  CFindData existing;
  if (FindFirst(destination, existing) && (existing.attrib & (kAttribSubdir | kAttribSpecial)) == 0) {
    if (const ResultFlags refused = ClaimListedDestination(destination, existing, m_data, owner))
      return refused;
    const bool stamped = existing.time_write == m_data.time_write;
    if (existing.size == size && (stamped || size == 0)) return skipAsComplete();
    if (existing.size >= size)
      check = CCheck::kComplete;
    else if (existing.size > 0 && !stamped)
      check = CCheck::kContinue;
  }
  if (!run.runFlag) return kResultOk;

  // Returns the destination's length after logging a progress point.
  auto progressPoint = [&](CStream& dest) {
    const auto position = static_cast<uint64_t>(dest.Tell());
    run.fileProgress = size ? static_cast<uint32_t>(ScaledShare(position, 1000, size)) : 1000;
    run.bytesDone = doneBase + position;
    UpdateProgress();
    LogProgressLine(m_data.name, position, size ? ScaledShare(position, 100, size) : 100);
    return position;
  };

  CPassStall stall;
  bool grew = false;
  ResultFlags result = kResultOk;
  for (bool firstPass = true; (result & kResultWriteFailure) == 0; firstPass = false) {
    if (!firstPass && result != kResultOk && !stall.MayRetry(grew, source)) return kResultReadFailure;

    std::unique_ptr<CStream> src = ReconnectSource(source);
    if (!src) return kResultReadFailure;
    std::unique_ptr<CStream> dest = OpenDestination(destination, OpenMode::kAppend, *src, m_data, owner);
    if (!dest) return kResultWriteFailure;

    // Go on where the destination ends, once it is known to be this
    // source's copy.
    const auto passStart = static_cast<uint64_t>(dest->Tell());
    if (check != CCheck::kNone) {
      const CMatch match = check == CCheck::kComplete
                               ? (passStart == size ? CompareSamples(*src, destination, size) : CMatch::kDiffers)
                               : CompareTail(*src, destination, passStart, CCopyLayout{});
      result = ReportMatch(match, destination, m_data.name);
      if (result == kResultReadFailure) {
        grew = false;
        continue;
      }
      if (result != kResultOk) return result;
      if (check == CCheck::kComplete) {
        if (const ResultFlags closed = CloseDestination(*dest, m_data.name)) return closed;
        return skipAsComplete();
      }
      check = CCheck::kNone;
    }
    src->Seek(static_cast<int64_t>(passStart), SeekOrigin::kSet);

    for (;;) {
      const uint64_t shown = progressPoint(*dest);
      uint32_t count = 0;
      const uint8_t* data = nullptr;
      result = TransferBlock(*src, *dest, run.bufferSize, count, data);
      if (result & kResultWriteFailure) result = WriteFailed(destination, errno);
      if (result != kResultOk) break;
      run.runCrc = CrcUpdate(run.runCrc, data, count);
      // A block read but not written, because the run was stopped meanwhile,
      // shows nothing: the line before it stays the last word.
      if (count == 0 || static_cast<uint64_t>(dest->Tell()) != shown) progressPoint(*dest);
      if (!(static_cast<uint64_t>(src->Tell()) < size && !src->Eof() && run.runFlag)) break;
    }

    const auto written = static_cast<uint64_t>(dest->Tell());
    grew = written > passStart;
    if (CloseDestination(*dest, m_data.name) != kResultOk) result |= WriteFailed(destination, errno);
    SetFileTimes(destination, m_data.time_write, m_data.time_write);

    if (written < size && !src->Eof() && run.runFlag) continue;
    // A source that ended before its listed size is copied when it holds now
    // exactly what its copy holds; otherwise it changed under the copy, which
    // stays a partial that no later run takes for complete.
    if (result == kResultOk && written < size && run.runFlag &&
        !SourceEndsWithItsCopy(*src, destination, written, CCopyLayout{})) {
      LogChangedSource(source);
      return kResultReadFailure;
    }
    if (result == kResultOk) {
      LogPrintf("\r\n");
      return kResultOk;
    }
    if (!run.runFlag) return result;
  }
  // A pass that failed to write ends the copy.
  return result;
}
