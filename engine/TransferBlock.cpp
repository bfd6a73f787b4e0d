// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "engine/FileNode.h"
#include "engine/LogPrintf.h"
#include "engine/RunState.h"

namespace {

// The error number the block messages show, whatever the cause.
constexpr int kBlockErrorNumber = 32;

}  // namespace

ResultFlags CFileNode::TransferBlock(CStream& source, CStream& destination, uint32_t maximum,
                                     uint32_t& bytesRead, const uint8_t*& data) {
  RunState& run = g_RunState;
  const int64_t blockStart = source.Tell();

  // Past the listed size the difference wraps and the maximum is asked for.
  const uint64_t left = m_data.size - static_cast<uint64_t>(blockStart);
  const auto wanted = static_cast<uint32_t>(std::min<uint64_t>({left, maximum, run.bufferSize}));

  uint8_t* buffer = run.copyBuffer.get();
  data = buffer;
  const bool checking = run.checkAfterCopy && run.checkCycles > 0;
  // A check settles the pages in the copy buffer, so only an unchecked block
  // may be taken from where the source holds it.
  if (const uint8_t* lent = checking ? nullptr : source.Lend(wanted)) {
    bytesRead = wanted;
    data = lent;
  } else {
    bytesRead = static_cast<uint32_t>(source.Read(buffer, wanted));
  }
  if (source.Error()) {
    bytesRead = 0;
    LogPrintf("error %d reading %s", kBlockErrorNumber, m_data.name.c_str());
    source.ClearErr();
    return kResultReadFailure;
  }

  ResultFlags result = kResultOk;
  if (checking) result = VerifyBlock(source, blockStart, bytesRead);

  if (run.FileGoesOn() && result == kResultOk) {
    destination.Write(data, bytesRead);
    destination.Flush();
  }
  if (destination.Error()) {
    LogPrintf("\r\neror %d writing %s\r\n", kBlockErrorNumber, m_data.name.c_str());
    destination.ClearErr();
    return result | kResultWriteFailure;
  }
  return result;
}
