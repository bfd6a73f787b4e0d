// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/PassedPages.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "engine/CopyProgress.h"
#include "engine/Crc32.h"
#include "engine/FileNode.h"
#include "engine/LeftOut.h"
#include "engine/LogPrintf.h"
#include "engine/OpenDestination.h"
#include "engine/PageRecord.h"
#include "engine/PauseGate.h"
#include "engine/ReconnectSource.h"
#include "engine/RetryPause.h"
#include "engine/RunState.h"

namespace {

// The first word of a record.
constexpr char kRecordMagic[] = "ferrox-unreadable";
// The longest record read: far more runs than any copy passes.
constexpr size_t kRecordLimit = 64u << 20;

}  // namespace

void CPassedPages::Add(uint64_t offset, uint64_t length) {
  if (length == 0) return;
  if (!runs.empty() && runs.back().offset + runs.back().length == offset) {
    runs.back().length += length;
    return;
  }
  runs.push_back(CPassedRun{offset, length});
}

uint64_t CPassedPages::Bytes() const {
  uint64_t bytes = 0;
  for (const CPassedRun& run : runs) bytes += run.length;
  return bytes;
}

bool CPassedPages::Describes(const CFindData& listing, const CCopyLayout& layout) const {
  return sourceSize == listing.size && sourceTime == listing.time_write && header == layout.header &&
         partStart == layout.partStart;
}

void CPassedPages::Identify(const CFindData& listing, const CCopyLayout& layout) {
  sourceSize = listing.size;
  sourceTime = listing.time_write;
  header = layout.header;
  partStart = layout.partStart;
}

std::string CPassedPages::Text() const {
  std::string text;
  char line[128];
  std::snprintf(line, sizeof line, "%s 1 %" PRIu64 " %" PRId64 " %" PRIu64 " %" PRIu64 "\n", kRecordMagic,
                sourceSize, sourceTime, header, partStart);
  text += line;
  for (const CPassedRun& run : runs) {
    std::snprintf(line, sizeof line, "%" PRIu64 " %" PRIu64 "\n", run.offset, run.length);
    text += line;
  }
  return text;
}

bool CPassedPages::Parse(const std::string& text) {
  std::istringstream in(text);
  std::string magic;
  int version = 0;
  CPassedPages parsed;
  if (!(in >> magic >> version >> parsed.sourceSize >> parsed.sourceTime >> parsed.header >>
        parsed.partStart))
    return false;
  if (magic != kRecordMagic || version != 1) return false;
  uint64_t offset = 0;
  uint64_t length = 0;
  while (in >> offset >> length) parsed.runs.push_back(CPassedRun{offset, length});
  if (!in.eof()) return false;
  *this = std::move(parsed);
  return true;
}

std::string PassedRecordPath(const std::string& destination) { return destination + ".unreadable"; }

CRecordFound LoadPassedRecord(const std::string& path, CPassedPages& pages) {
  CFindData found;
  if (!FindFirst(path, found)) return CRecordFound::kNone;
  if ((found.attrib & (kAttribSubdir | kAttribSpecial)) != 0 || found.size > kRecordLimit)
    return CRecordFound::kForeign;
  std::unique_ptr<CStream> stream = FileOpen(path, OpenMode::kRead);
  if (!stream) return CRecordFound::kForeign;
  std::string text(static_cast<size_t>(found.size), '\0');
  const size_t got = stream->Read(text.data(), text.size());
  if (stream->Error()) return CRecordFound::kForeign;
  text.resize(got);
  return pages.Parse(text) ? CRecordFound::kRecord : CRecordFound::kForeign;
}

ResultFlags SavePassedRecord(const std::string& path, const CPassedPages& pages) {
  CPassedPages existing;
  const CRecordFound found = LoadPassedRecord(path, existing);
  if (found == CRecordFound::kForeign) {
    LogPrintf("\r\n%s is not a record of unreadable pages, left alone\r\n", path.c_str());
    NoteFailureCause("another file is where the record of unreadable pages goes");
    return kResultWriteFailure;
  }
  if (pages.runs.empty()) {
    if (found == CRecordFound::kNone || RemoveFile(path) == 0) return kResultOk;
    const int error = errno;
    LogPrintf("\r\ncannot remove %s\r\n", path.c_str());
    LogFailureCause(path, error);
    NoteFailureCause("the record of unreadable pages cannot be removed");
    return kResultWriteFailure;
  }
  const std::string text = pages.Text();
  std::unique_ptr<CStream> stream = FileOpen(path, OpenMode::kWrite);
  bool written = stream != nullptr;
  if (written) {
    written = stream->Write(text.data(), text.size()) == text.size();
    written = stream->Close() == 0 && written;
  }
  if (written) return kResultOk;
  const int error = errno;
  LogPrintf("\r\ncannot write %s\r\n", path.c_str());
  LogFailureCause(path, error);
  NoteFailureCause("the record of unreadable pages cannot be written");
  return kResultWriteFailure;
}

uint64_t PageEndAfter(uint64_t position, uint64_t limit) {
  return std::min<uint64_t>((position / kPageSize + 1) * kPageSize, limit);
}

CPageRead ReadPageWithTries(std::unique_ptr<CStream>& source, const std::string& path, CFileNode& node,
                            uint64_t position, uint32_t count, uint32_t& got) {
  RunState& run = g_RunState;
  uint8_t* buffer = run.copyBuffer.get();
  const bool checking = run.checkAfterCopy && run.checkCycles > 0;
  for (int attempt = 0; attempt < kPageTries; ++attempt) {
    if (attempt > 0) {
      // A failed read may leave the stream unusable: the next try reads
      // through a fresh open, and a source that no longer opens has gone as
      // a whole rather than at this page.
      SleepMs(kRetryPauseMs);
      std::unique_ptr<CStream> fresh = FileOpen(path, OpenMode::kRead);
      if (!fresh) return CPageRead::kLost;
      source = std::move(fresh);
    }
    if (source->Seek(static_cast<int64_t>(position), SeekOrigin::kSet) != 0) continue;
    got = static_cast<uint32_t>(source->Read(buffer, count));
    if (source->Error()) {
      source->ClearErr();
      continue;
    }
    if (checking && node.VerifyBlock(*source, static_cast<int64_t>(position), got) != kResultOk) continue;
    return CPageRead::kRead;
  }
  got = 0;
  return CPageRead::kUnreadable;
}

ResultFlags FillPassedPages(const std::string& source, const std::string& destination,
                            const std::string& recordPath, CFileNode& node, const std::string& owner,
                            const CCopyLayout& layout, CPassedPages& pages) {
  RunState& run = g_RunState;
  std::unique_ptr<CStream> src = ReconnectSource(source);
  if (!src) return kResultReadFailure;
  std::unique_ptr<CStream> dest = OpenDestination(destination, OpenMode::kUpdate, *src, node.m_data, owner);
  if (!dest) return kResultWriteFailure;
  const int64_t end = dest->Tell();
  const uint64_t length = end < 0 ? 0 : static_cast<uint64_t>(end);
  const uint64_t before = pages.Bytes();

  CPassedPages left = pages;
  left.runs.clear();
  ResultFlags result = kResultOk;
  for (const CPassedRun& passedRun : pages.runs) {
    const uint64_t runEnd = std::min(passedRun.offset + passedRun.length, length);
    uint64_t offset = passedRun.offset;
    while (offset < runEnd) {
      // The pages are those of the source, as when they were passed.
      const uint64_t sourceOffset = layout.SourceOffset(offset);
      const uint64_t pageEnd = PageEndAfter(sourceOffset, sourceOffset + (runEnd - offset));
      const auto count = static_cast<uint32_t>(pageEnd - sourceOffset);
      uint32_t got = 0;
      CPageRead read = CPageRead::kLost;
      if (result == kResultOk) {
        WaitWhilePaused();
        if (run.FileGoesOn()) read = ReadPageWithTries(src, source, node, sourceOffset, count, got);
        if (read == CPageRead::kLost && run.FileGoesOn()) result = kResultReadFailure;
      }
      if (read == CPageRead::kRead && got == count) {
        dest->Seek(static_cast<int64_t>(offset), SeekOrigin::kSet);
        dest->Write(run.copyBuffer.get(), count);
        dest->Flush();
        if (dest->Error()) {
          LogPrintf("\r\neror %d writing %s\r\n", 32, node.m_data.name.c_str());
          result |= WriteFailed(destination, errno);
          dest->ClearErr();
          left.Add(offset, count);
        }
      } else {
        // Unreadable still, or a source that ended early here: the zeros stay.
        left.Add(offset, count);
      }
      offset += count;
    }
  }
  if (CloseDestination(*dest, node.m_data.name) != kResultOk) {
    // What the close could not confirm stays recorded.
    left = pages;
    result |= kResultWriteFailure;
  }
  result |= SavePassedRecord(recordPath, left);
  const uint64_t now = left.Bytes();
  if (before > now)
    LogPrintf("\r\n\"%s\" : %" PRIu64 " of %" PRIu64 " bytes that could not be read are copied now\r\n",
              node.m_data.name.c_str(), before - now, before);
  pages = std::move(left);
  return result;
}

ResultFlags ReportPassedPages(const std::string& name, uint64_t length, const CPassedPages& pages) {
  const uint64_t bytes = pages.Bytes();
  LogPrintf("\"%s\"  %10" PRIu64 " bytes, %4" PRIu64 " mb, 100%%, %" PRIu64 " bytes passed as zeros\r\n",
            name.c_str(), length, length >> 20, bytes);
  NoteFailureCause(std::to_string(bytes) + " bytes could not be read, passed as zeros");
  g_RunState.passedBytes += bytes;
  return kResultReadFailure;
}
