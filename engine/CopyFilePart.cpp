#include <algorithm>
#include <cerrno>
#include <cinttypes>

#include "CopyProgress.h"
#include "Crc32.h"
#include "DestinationCheck.h"
#include "FileNode.h"
#include "LogPrintf.h"
#include "MainForm.h"
#include "OpenDestination.h"
#include "PassStall.h"
#include "ReconnectSource.h"
#include "RunState.h"
#include "UpdateProgress.h"

ResultFlags CFileNode::CopyFilePart(const std::string& source, const std::string& destFolder) {
  RunState& run = g_RunState;
  CMainForm* form = run.mainForm.load();
  if (!form) return kResultOk;

  // The part's place is fixed when the operation begins, from one reading of
  // each value, so that every pass cuts the same piece.
  const uint64_t header = form->Header();
  const uint32_t partNumber = form->PartNumber();
  const uint64_t partSize = form->PartSize();
  const uint64_t size = m_data.size;
  const uint64_t partStart = header + (partNumber > 0 ? partNumber - 1 : 0) * partSize;
  const uint64_t partEnd = std::min<uint64_t>(header + static_cast<uint64_t>(partNumber) * partSize, size);
  // A part that starts beyond the source's end is empty.
  run.totalBytes = partEnd > partStart ? partEnd - partStart : 0;

  const std::string owner = CDestinationClaims::OwnerOf(m_data, source);
  const std::string destination = DestinationPath(destFolder, m_data.name);
  SeedRandom(static_cast<uint32_t>(TimeNow()));
  LogPrintf("part %u, size %" PRIu64 "\r\n", partNumber, partSize);
  if (!run.runFlag) return kResultOk;

  // Returns the part file's length after logging a progress point.
  // Shares are taken of the part's own length, so that a finished part
  // shows 100 % even when the source ends inside it; an empty part (a
  // source no longer than the header) is finished from the start.
  const uint64_t partLength = run.totalBytes;
  auto progressPoint = [&](CStream& dest) {
    const auto length = static_cast<uint64_t>(dest.Tell());
    const uint64_t partBytes = std::min(length >= header ? length - header : 0, partLength);
    run.fileProgress = partLength ? static_cast<uint32_t>(ScaledShare(partBytes, 1000, partLength)) : 1000;
    run.bytesDone = partBytes;
    UpdateProgress();
    LogProgressLine(m_data.name, length, partLength ? ScaledShare(partBytes, 100, partLength) : 100);
    return length;
  };

  CPassStall stall;
  bool grew = false;
  // The longest the part file has been in this call: a pass that writes a
  // header cut short again from its start gets no further than that.
  uint64_t furthest = 0;
  bool retry = false;
  // Whether the part file holds what this call found fit to continue or
  // wrote itself: a part file found on disk is compared with the source once,
  // before it is continued.
  bool known = false;
  const CCopyLayout layout{header, partStart};
  ResultFlags result = kResultOk;
  for (bool firstPass = true; (result & kResultWriteFailure) == 0; firstPass = false) {
    if (!firstPass && result != kResultOk && !stall.MayRetry(grew, source)) return kResultReadFailure;

    std::unique_ptr<CStream> src = ReconnectSource(source);
    if (!src) return kResultReadFailure;
    const bool resume = form->ReGet() || retry;
    std::unique_ptr<CStream> dest =
        OpenDestination(destination, resume ? OpenMode::kAppend : OpenMode::kWrite, *src, m_data, owner);
    if (!dest) return kResultWriteFailure;
    auto passStart = static_cast<uint64_t>(dest->Tell());
    furthest = std::max(furthest, passStart);

    bool insidePart = false;
    if (resume && passStart >= header) {
      // Only a part file of this source, header and part is continued.
      if (!known && passStart > 0) {
        result = ReportMatch(CompareTail(*src, destination, passStart, layout), destination, m_data.name);
        if (result == kResultReadFailure) {
          grew = false;
          continue;
        }
        if (result != kResultOk) return result;
      }
      src->Seek(static_cast<int64_t>(partStart + (passStart - header)), SeekOrigin::kSet);
      insidePart = true;
    } else if (passStart > 0) {
      // A header cut short: the part file is written again from its start,
      // under the lock this pass holds.
      if (EmptyDestination(*dest, destination, *src, m_data) != kResultOk) return kResultWriteFailure;
      passStart = 0;
    }
    known = true;

    for (;;) {
      const uint64_t shown = progressPoint(*dest);
      uint32_t count = 0;
      const uint8_t* data = nullptr;
      if (insidePart) {
        const auto position = static_cast<uint64_t>(src->Tell());
        // A part file that already holds more than the part counts as complete.
        const uint64_t left = position < partEnd ? partEnd - position : 0;
        result = TransferBlock(*src, *dest, static_cast<uint32_t>(std::min<uint64_t>(run.bufferSize, left)),
                               count, data);
      } else {
        // The header goes in as many blocks as the buffer size needs.
        const auto position = static_cast<uint64_t>(src->Tell());
        const uint64_t left = position < header ? header - position : 0;
        const auto wanted = static_cast<uint32_t>(std::min<uint64_t>(run.bufferSize, left));
        result = TransferBlock(*src, *dest, wanted, count, data);
        // The header's bytes go into the sum before the seek to the part,
        // which may move what the source lent.
        if (result == kResultOk) {
          run.runCrc = CrcUpdate(run.runCrc, data, count);
          data = nullptr;
        }
        if (result != kResultOk || count < wanted || src->Eof() ||
            static_cast<uint64_t>(src->Tell()) >= header) {
          src->Seek(static_cast<int64_t>(partStart), SeekOrigin::kSet);
          insidePart = true;
        }
      }
      if (result & kResultWriteFailure) result = WriteFailed(destination, errno);
      if (result != kResultOk) {
        retry = true;
        break;
      }
      if (data != nullptr) run.runCrc = CrcUpdate(run.runCrc, data, count);
      // A block read but not written, because the run was stopped meanwhile,
      // shows nothing.
      if (count == 0 || static_cast<uint64_t>(dest->Tell()) != shown) progressPoint(*dest);
      if (!(static_cast<uint64_t>(src->Tell()) < partEnd && !src->Eof() && run.runFlag)) break;
    }

    const auto length = static_cast<uint64_t>(dest->Tell());
    grew = length > furthest;
    furthest = std::max(furthest, length);
    if (CloseDestination(*dest, m_data.name) != kResultOk) result |= WriteFailed(destination, errno);

    if (static_cast<uint64_t>(src->Tell()) < partEnd && !src->Eof() && run.runFlag) continue;
    // A source that ended before the part's end is cut when it holds now
    // exactly what the part file holds; otherwise it changed under the copy.
    if (result == kResultOk && run.runFlag && static_cast<uint64_t>(src->Tell()) < partEnd &&
        !SourceEndsWithItsCopy(*src, destination, length, layout)) {
      LogChangedSource(source);
      return kResultReadFailure;
    }
    if (result == kResultOk) {
      LogPrintf("\r\n");
      return kResultOk;
    }
    if (!run.runFlag) return result;
  }
  // A pass that failed to write ends the extraction.
  return result;
}
