#include <algorithm>

#include "FileNode.h"
#include "LogPrintf.h"
#include "RunState.h"

namespace {

// The error number the block messages show, whatever the cause.
constexpr int kBlockErrorNumber = 32;

}  // namespace

ResultFlags CFileNode::TransferBlock(CStream& source, CStream& destination, uint32_t maximum,
                                     uint32_t& bytesRead) {
  RunState& run = g_RunState;
  const int64_t blockStart = source.Tell();

  // Past the listed size the difference wraps and the maximum is asked for.
  const uint64_t left = m_data.size - static_cast<uint64_t>(blockStart);
  const auto wanted = static_cast<uint32_t>(std::min<uint64_t>({left, maximum, run.bufferSize}));

  uint8_t* buffer = run.copyBuffer.get();
  bytesRead = static_cast<uint32_t>(source.Read(buffer, wanted));
  if (source.Error()) {
    bytesRead = 0;
    LogPrintf("error %d reading %s", kBlockErrorNumber, m_data.name.c_str());
    source.ClearErr();
    return kResultReadFailure;
  }

  ResultFlags result = kResultOk;
  if (run.checkAfterCopy && run.checkCycles > 0) result = VerifyBlock(source, blockStart, bytesRead);

  if (run.runFlag && result == kResultOk) {
    destination.Write(buffer, bytesRead);
    destination.Flush();
  }
  if (destination.Error()) {
    LogPrintf("\r\neror %d writing %s\r\n", kBlockErrorNumber, m_data.name.c_str());
    destination.ClearErr();
    return result | kResultWriteFailure;
  }
  return result;
}
