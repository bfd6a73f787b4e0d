// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cerrno>
#include <cinttypes>

#include "engine/CopyPasses.h"
#include "engine/CopyProgress.h"
#include "engine/Crc32.h"
#include "engine/DestinationCheck.h"
#include "engine/DestinationState.h"
#include "engine/FileNode.h"
#include "engine/LogPrintf.h"
#include "engine/MainForm.h"
#include "engine/OpenDestination.h"
#include "engine/PassedPages.h"
#include "engine/PauseGate.h"
#include "engine/RunState.h"
#include "engine/UpdateProgress.h"

ResultFlags CFileNode::CopyFilePart(const std::string& source, const std::string& destFolder) {
  RunState& run = g_RunState;
  CMainForm* form = run.mainForm.load();
  if (!form) return kResultOk;

  // The part's place is fixed when the operation begins, from one reading of
  // each value, so that every pass cuts the same piece.
  // The scan cuts it with the same rule (DestinationState.h).
  const uint32_t partNumber = form->PartNumber();
  const uint64_t partSize = form->PartSize();
  const CPartPlan plan = PartPlanOf(form->Header(), partNumber, partSize, m_data.size, false);
  const uint64_t header = plan.header;
  const uint64_t partStart = plan.partStart;
  const uint64_t partEnd = plan.partEnd;
  // A part that starts beyond the source's end is empty.
  run.totalBytes = partEnd > partStart ? partEnd - partStart : 0;

  const std::string owner = CDestinationClaims::OwnerOf(m_data, source);
  const std::string destination = DestinationPath(destFolder, m_data.name);
  SeedRandom(static_cast<uint32_t>(TimeNow()));
  LogPrintf("part %u, size %" PRIu64 "\r\n", partNumber, partSize);
  if (!run.runFlag) return kResultOk;

  // A part file with a record of pages passed as zeros has its recorded
  // pages read again first, and is then continued (as under ReGet): the
  // record vouches that it holds this source's part.
  const CCopyLayout layout{header, partStart};
  const std::string recordPath = PassedRecordPath(destination);
  CPassedPages passed;
  bool recorded = LoadPassedRecord(recordPath, passed) == CRecordFound::kRecord;
  if (recorded) {
    CFindData existing;
    if (!FindFirst(destination, existing)) {
      passed = CPassedPages();
      if (const ResultFlags failed = SavePassedRecord(recordPath, passed)) return failed;
      recorded = false;
    } else if ((existing.attrib & (kAttribSubdir | kAttribSpecial)) != 0 ||
               !passed.Describes(m_data, layout)) {
      LogForeignDestination(destination);
      return kResultWriteFailure;
    } else {
      const CFileCopyScope scope;
      const ResultFlags filled =
          FillPassedPages(source, destination, recordPath, *this, owner, layout, passed);
      if (filled != kResultOk) return SkippedResult(filled, m_data.name);
    }
  }

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

  // One pass: the part file is opened for appending under ReGet or after a
  // failed pass, for writing otherwise; the header goes in first, then the
  // part.
  class CPartPass final : public CCopyPass {
  public:
    CPartPass(CFileNode& node, CMainForm& form, const std::string& destination, const std::string& owner,
              const CCopyLayout& layout, uint64_t partEnd, const decltype(progressPoint)& progress)
        : m_node(node),
          m_form(form),
          m_destination(destination),
          m_owner(owner),
          m_layout(layout),
          m_partEnd(partEnd),
          m_progress(progress) {}

    CStart Begin(CStream& src, std::unique_ptr<CStream>& dest, ResultFlags& result) override {
      const bool resume = m_form.ReGet() || m_retry;
      dest = OpenDestination(m_destination, resume ? OpenMode::kAppend : OpenMode::kWrite, src, m_node.m_data,
                             m_owner);
      if (!dest) {
        result = kResultWriteFailure;
        return CStart::kEnd;
      }
      const auto passStart = static_cast<uint64_t>(dest->Tell());
      m_furthest = std::max(m_furthest, passStart);

      const uint64_t header = m_layout.header;
      m_insidePart = false;
      if (resume && passStart >= header) {
        // Only a part file of this source, header and part is continued.
        if (!m_known && passStart > 0) {
          result = ReportMatch(CompareTail(src, m_destination, passStart, m_layout), m_destination,
                               m_node.m_data.name);
          if (result == kResultReadFailure) return CStart::kRetry;
          if (result != kResultOk) return CStart::kEnd;
        }
        src.Seek(static_cast<int64_t>(m_layout.SourceOffset(passStart)), SeekOrigin::kSet);
        m_insidePart = true;
      } else if (passStart > 0 && Narrowing()) {
        // A header whose reading stalled is read on page by page from where
        // this call's passes left it.
        src.Seek(static_cast<int64_t>(passStart), SeekOrigin::kSet);
      } else if (passStart > 0) {
        // A header cut short: the part file is written again from its start,
        // under the lock this pass holds.
        if (EmptyDestination(*dest, m_destination, src, m_node.m_data) != kResultOk) {
          result = kResultWriteFailure;
          return CStart::kEnd;
        }
      }
      m_known = true;
      return CStart::kCopy;
    }

    ResultFlags Move(CStream& src, CStream& dest, uint32_t& count, const uint8_t*& data) override {
      RunState& run = g_RunState;
      const auto position = static_cast<uint64_t>(src.Tell());
      ResultFlags result = kResultOk;
      // A header completed page by page leaves the source at the part's
      // start already.
      if (!m_insidePart && m_layout.header > 0 && static_cast<uint64_t>(dest.Tell()) >= m_layout.header)
        m_insidePart = true;
      if (m_insidePart) {
        // A part file that already holds more than the part counts as complete.
        const uint64_t left = position < m_partEnd ? m_partEnd - position : 0;
        result = m_node.TransferBlock(
            src, dest, static_cast<uint32_t>(std::min<uint64_t>(run.bufferSize, left)), count, data);
      } else {
        // The header goes in as many blocks as the buffer size needs.
        const uint64_t header = m_layout.header;
        const uint64_t left = position < header ? header - position : 0;
        const auto wanted = static_cast<uint32_t>(std::min<uint64_t>(run.bufferSize, left));
        result = m_node.TransferBlock(src, dest, wanted, count, data);
        // The header's bytes go into the sum before the seek to the part,
        // which may move what the source lent.
        if (result == kResultOk) {
          run.runCrc = CrcUpdate(run.runCrc, data, count);
          data = nullptr;
        }
        if (result != kResultOk || count < wanted || src.Eof() ||
            static_cast<uint64_t>(src.Tell()) >= header) {
          src.Seek(static_cast<int64_t>(m_layout.partStart), SeekOrigin::kSet);
          m_insidePart = true;
        }
      }
      // A pass that fails is followed by one that continues the part file.
      if (result != kResultOk) m_retry = true;
      return result;
    }

    uint64_t Progress(CStream& dest) override { return m_progress(dest); }

    // A pass that writes a header cut short again from its start gets no
    // further than the longest the part file has been.
    bool Closed(uint64_t length) override {
      const bool grew = length > m_furthest;
      m_furthest = std::max(m_furthest, length);
      return grew;
    }

    uint64_t End() const override { return m_partEnd; }
    CCopyLayout Layout() const override { return m_layout; }
    CFileNode& Node() override { return m_node; }

    // Makes the passes continue the part file found, without comparing it.
    void ContinueKnown() {
      m_retry = true;
      m_known = true;
    }

  private:
    CFileNode& m_node;
    CMainForm& m_form;
    const std::string& m_destination;
    const std::string& m_owner;
    const CCopyLayout m_layout;
    const uint64_t m_partEnd;
    const decltype(progressPoint)& m_progress;
    // The longest the part file has been in this call.
    uint64_t m_furthest = 0;
    bool m_retry = false;
    // Whether the part file holds what this call found fit to continue or
    // wrote itself: a part file found on disk is compared with the source
    // once, before it is continued.
    bool m_known = false;
    bool m_insidePart = false;
  };

  CPartPass pass(*this, *form, destination, owner, layout, partEnd, progressPoint);
  if (recorded) pass.ContinueKnown();
  pass.Passed() = std::move(passed);
  return RunCopyPasses(source, destination, m_data.name, pass);
}
