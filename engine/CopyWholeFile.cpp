// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <cinttypes>

#include "engine/CopyPasses.h"
#include "engine/CopyProgress.h"
#include "engine/DestinationCheck.h"
#include "engine/DestinationState.h"
#include "engine/FileNode.h"
#include "engine/LogPrintf.h"
#include "engine/OpenDestination.h"
#include "engine/PassedPages.h"
#include "engine/PauseGate.h"
#include "engine/RunState.h"
#include "engine/UpdateProgress.h"

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
    LogPrintf("\"%s\"  %10" PRIu64 " bytes, %4" PRIu64 " mb, 100%% - allready exist\r\n", m_data.name.c_str(),
              size, size >> 20);
    return kResultOk;
  };

  // A destination stamped with the source's time is this source's copy, as
  // far as its length goes: complete at the source's length, continued when
  // shorter. Any other file of that name is compared with the source first
  // (see DestinationCheck.h); a folder or anything else is no copy at all.
  // A copy with a record of pages passed as zeros is partial whatever its
  // length: the recorded pages are read again first.
  enum class CCheck { kNone, kContinue, kComplete };
  CCheck check = CCheck::kNone;
  const std::string recordPath = PassedRecordPath(destination);
  CPassedPages passed;
  bool recorded = LoadPassedRecord(recordPath, passed) == CRecordFound::kRecord;
  CFindData existing;
  const bool found = FindFirst(destination, existing) != nullptr;
  if (recorded && !found) {
    // The copy the record belonged to is gone.
    passed = CPassedPages();
    if (const ResultFlags failed = SavePassedRecord(recordPath, passed)) return failed;
    recorded = false;
  }
  if (found && (existing.attrib & (kAttribSubdir | kAttribSpecial)) == 0) {
    if (const ResultFlags refused = ClaimListedDestination(destination, existing, m_data, owner))
      return refused;
    if (recorded && !passed.Describes(m_data, CCopyLayout{})) {
      LogForeignDestination(destination);
      return kResultWriteFailure;
    }
    // The same rule tells the scan what a run would do (DestinationState.h).
    switch (recorded ? CWholeFileStep::kContinue : WholeFileStep(existing, m_data)) {
      case CWholeFileStep::kComplete:
        return skipAsComplete();
      case CWholeFileStep::kCheckComplete:
        check = CCheck::kComplete;
        break;
      case CWholeFileStep::kCheckContinue:
        check = CCheck::kContinue;
        break;
      case CWholeFileStep::kContinue:
        break;
    }
  }
  if (!run.runFlag) return kResultOk;
  if (recorded) {
    const CFileCopyScope scope;
    const ResultFlags filled =
        FillPassedPages(source, destination, recordPath, *this, owner, CCopyLayout{}, passed);
    if (filled != kResultOk) return SkippedResult(filled, m_data.name);
  }

  // Returns the destination's length after logging a progress point.
  auto progressPoint = [&](CStream& dest) {
    const auto position = static_cast<uint64_t>(dest.Tell());
    run.fileProgress = size ? static_cast<uint32_t>(ScaledShare(position, 1000, size)) : 1000;
    run.bytesDone = doneBase + position;
    UpdateProgress();
    LogProgressLine(m_data.name, position, size ? ScaledShare(position, 100, size) : 100);
    return position;
  };

  // One pass: the destination is opened for appending and, the first time,
  // compared with the source unless its time says it is this source's copy;
  // then the source goes on where the destination ends.
  class CWholePass final : public CCopyPass {
  public:
    CWholePass(CFileNode& node, const std::string& destination, const std::string& owner, CCheck check,
               const decltype(progressPoint)& progress, const decltype(skipAsComplete)& skip)
        : m_node(node),
          m_destination(destination),
          m_owner(owner),
          m_check(check),
          m_progress(progress),
          m_skip(skip) {}

    CStart Begin(CStream& src, std::unique_ptr<CStream>& dest, ResultFlags& result) override {
      dest = OpenDestination(m_destination, OpenMode::kAppend, src, m_node.m_data, m_owner);
      if (!dest) {
        result = kResultWriteFailure;
        return CStart::kEnd;
      }
      // Go on where the destination ends, once it is known to be this
      // source's copy.
      m_passStart = static_cast<uint64_t>(dest->Tell());
      const uint64_t size = m_node.m_data.size;
      if (m_check != CCheck::kNone) {
        const CMatch match =
            m_check == CCheck::kComplete
                ? (m_passStart == size ? CompareSamples(src, m_destination, size) : CMatch::kDiffers)
                : CompareTail(src, m_destination, m_passStart, CCopyLayout{});
        result = ReportMatch(match, m_destination, m_node.m_data.name);
        if (result == kResultReadFailure) return CStart::kRetry;
        if (result != kResultOk) return CStart::kEnd;
        if (m_check == CCheck::kComplete) {
          result = CloseDestination(*dest, m_node.m_data.name);
          if (result == kResultOk) result = m_skip();
          return CStart::kEnd;
        }
        m_check = CCheck::kNone;
      }
      src.Seek(static_cast<int64_t>(m_passStart), SeekOrigin::kSet);
      return CStart::kCopy;
    }

    ResultFlags Move(CStream& src, CStream& dest, uint32_t& count, const uint8_t*& data) override {
      return m_node.TransferBlock(src, dest, g_RunState.bufferSize, count, data);
    }

    uint64_t Progress(CStream& dest) override { return m_progress(dest); }

    // Every pass stamps the copy with the source's time.
    bool Closed(uint64_t length) override {
      SetFileTimes(m_destination, m_node.m_data.time_write, m_node.m_data.time_write);
      return length > m_passStart;
    }

    uint64_t End() const override { return m_node.m_data.size; }
    CCopyLayout Layout() const override { return CCopyLayout{}; }
    CFileNode& Node() override { return m_node; }

  private:
    CFileNode& m_node;
    const std::string& m_destination;
    const std::string& m_owner;
    CCheck m_check;
    const decltype(progressPoint)& m_progress;
    const decltype(skipAsComplete)& m_skip;
    uint64_t m_passStart = 0;
  };

  CWholePass pass(*this, destination, owner, check, progressPoint, skipAsComplete);
  pass.Passed() = std::move(passed);
  return RunCopyPasses(source, destination, m_data.name, pass);
}
