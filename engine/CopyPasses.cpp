// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CopyPasses.h"

#include <cerrno>

#include "engine/CopyProgress.h"
#include "engine/Crc32.h"
#include "engine/LogPrintf.h"
#include "engine/PassStall.h"
#include "engine/PauseGate.h"
#include "engine/ReconnectSource.h"
#include "engine/RunState.h"

namespace {

// The passes of RunCopyPasses, without the skip's bracket. Returns as
// RunCopyPasses does, or kResultSkipped as soon as a skip is seen.
ResultFlags RunPasses(const std::string& source, const std::string& destination, const std::string& name,
                      CCopyPass& pass) {
  RunState& run = g_RunState;
  const uint64_t end = pass.End();
  CPassStall stall;
  bool grew = false;
  ResultFlags result = kResultOk;
  for (bool firstPass = true; (result & kResultWriteFailure) == 0; firstPass = false) {
    if (!firstPass && result != kResultOk && !stall.MayRetry(grew, source)) return kResultReadFailure;
    if (run.SkipAsked()) return kResultSkipped;

    std::unique_ptr<CStream> src = ReconnectSource(source);
    if (!src) return run.SkipAsked() ? kResultSkipped : kResultReadFailure;
    std::unique_ptr<CStream> dest;
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

    for (;;) {
      // A pause holds the copy before the next read, and its progress line
      // replaces "paused" once it goes on.
      WaitWhilePaused();
      if (!run.FileGoesOn()) break;
      const uint64_t shown = pass.Progress(*dest);
      uint32_t count = 0;
      const uint8_t* data = nullptr;
      result = pass.Move(*src, *dest, count, data);
      if (result & kResultWriteFailure) result = WriteFailed(destination, errno);
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
