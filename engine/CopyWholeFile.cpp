#include <cinttypes>

#include "CopyProgress.h"
#include "Crc32.h"
#include "FileNode.h"
#include "LogPrintf.h"
#include "ReconnectSource.h"
#include "RetryPause.h"
#include "RunState.h"
#include "UpdateProgress.h"

ResultFlags CFileNode::CopyWholeFile(const std::string& source, const std::string& destFolder) {
  RunState& run = g_RunState;
  const uint64_t doneBase = run.bytesDone;
  const uint64_t size = m_data.size;
  const std::string destination = DestinationPath(destFolder, m_data.name);
  SeedRandom(static_cast<uint32_t>(TimeNow()));

  // A destination at least as long as the source counts as complete.
  CFindData existing;
  if (FindFirst(destination, existing) && existing.size >= size) {
    run.fileProgress = 1000;
    run.bytesDone += size;
    UpdateProgress();
    LogPrintf("\"%s\"  %10" PRIu64 " bytes, %4" PRIu64 " mb, 100%% - allready exist\r\n", m_data.name.c_str(),
              size, size >> 20);
    return kResultOk;
  }
  if (!run.runFlag) return kResultOk;

  auto progressPoint = [&](CStream& dest) {
    const auto position = static_cast<uint64_t>(dest.Tell());
    run.fileProgress = size ? static_cast<uint32_t>(ScaledShare(position, 1000, size)) : 1000;
    run.bytesDone = doneBase + position;
    UpdateProgress();
    LogProgressLine(m_data.name, position, size ? ScaledShare(position, 100, size) : 100);
  };

  ResultFlags result = kResultOk;
  for (bool firstPass = true; (result & kResultWriteFailure) == 0; firstPass = false) {
    // A failure that recurs at once must not turn the passes into a busy loop.
    if (!firstPass && result != kResultOk) SleepMs(kRetryPauseMs);

    std::unique_ptr<CStream> src = ReconnectSource(source);
    if (!src) return kResultReadFailure;
    std::unique_ptr<CStream> dest = OpenDestination(destination, OpenMode::kAppend);
    if (!dest) return kResultWriteFailure;

    // Go on where the destination ends, whoever wrote what it holds.
    dest->Seek(0, SeekOrigin::kEnd);
    src->Seek(dest->Tell(), SeekOrigin::kSet);

    for (;;) {
      progressPoint(*dest);
      uint32_t count = 0;
      result = TransferBlock(*src, *dest, run.bufferSize, count);
      if (result != kResultOk) break;
      run.runCrc = CrcUpdate(run.runCrc, run.copyBuffer.get(), count);
      progressPoint(*dest);
      if (!(static_cast<uint64_t>(src->Tell()) < size && !src->Eof() && run.runFlag)) break;
    }

    const auto written = static_cast<uint64_t>(dest->Tell());
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
