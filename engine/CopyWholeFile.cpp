#include <cerrno>
#include <cinttypes>

#include "CopyProgress.h"
#include "Crc32.h"
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

  // A file at least as long as the source counts as its complete copy; a
  // folder or anything else of that name is no copy at all.
  CFindData existing;
  if (FindFirst(destination, existing) && (existing.attrib & (kAttribSubdir | kAttribSpecial)) == 0) {
    if (const ResultFlags refused = ClaimListedDestination(destination, existing, m_data, owner))
      return refused;
    if (existing.size >= size) {
      run.fileProgress = 1000;
      run.bytesDone += size;
      UpdateProgress();
      LogPrintf("\"%s\"  %10" PRIu64 " bytes, %4" PRIu64 " mb, 100%% - allready exist\r\n",
                m_data.name.c_str(), size, size >> 20);
      return kResultOk;
    }
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
    std::unique_ptr<CStream> dest = OpenDestination(destination, OpenMode::kAppend, *src, owner);
    if (!dest) return kResultWriteFailure;

    // Go on where the destination ends, whoever wrote what it holds.
    const auto passStart = static_cast<uint64_t>(dest->Tell());
    src->Seek(static_cast<int64_t>(passStart), SeekOrigin::kSet);

    for (;;) {
      const uint64_t shown = progressPoint(*dest);
      uint32_t count = 0;
      const uint8_t* data = nullptr;
      result = TransferBlock(*src, *dest, run.bufferSize, count, data);
      if (result & kResultWriteFailure) LogFailureCause(destination, errno);
      if (result != kResultOk) break;
      run.runCrc = CrcUpdate(run.runCrc, data, count);
      // A block read but not written, because the run was stopped meanwhile,
      // shows nothing: the line before it stays the last word.
      if (count == 0 || static_cast<uint64_t>(dest->Tell()) != shown) progressPoint(*dest);
      if (!(static_cast<uint64_t>(src->Tell()) < size && !src->Eof() && run.runFlag)) break;
    }

    const auto written = static_cast<uint64_t>(dest->Tell());
    grew = written > passStart;
    result |= CloseDestination(*dest, m_data.name);
    SetFileTimes(destination, m_data.time_write, m_data.time_write);

    if (written < size && !src->Eof() && run.runFlag) continue;
    if (result == kResultOk) {
      LogPrintf("\r\n");
      return kResultOk;
    }
    if (!run.runFlag) return result;
  }
  // A pass that failed to write ends the copy.
  return result;
}
