// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CopyThreadProc.h"

#include <cerrno>
#include <cinttypes>
#include <new>
#include <string>

#include "engine/FailureCause.h"
#include "engine/FetchAhead.h"
#include "engine/FileNode.h"
#include "engine/LeftOut.h"
#include "engine/LogPrintf.h"
#include "engine/MainForm.h"
#include "engine/PathHelpers.h"
#include "engine/PauseGate.h"
#include "engine/RetryPause.h"
#include "engine/RunState.h"
#include "engine/ScanDestination.h"
#include "engine/ShareLogon.h"
#include "engine/UpdateProgress.h"
#include "platform/Connections.h"
#include "platform/smb/SmbPath.h"

namespace {

enum class SourceEnd { kWorkedOn, kConnectionFailed };

// Logs the lines of a source's end that its listing and reading failures
// call for, as a copy and a scan write them: an incomplete listing, and a
// read failure when the source stopped answering or nothing named a cause.
void LogListingAndReadErrors(ResultFlags result, const RunState& run) {
  if (result & kResultListingIncomplete)
    LogPrintf("errors while scanning folders, some files may be missed\r\n");
  // Trying again helps a source that stopped answering; what failed on its
  // own is listed with its cause.
  if ((result & kResultReadFailure) && (run.sourceLost || run.leftOut.empty()))
    LogPrintf("read error, try again later\r\n");
}

// Returns the last component of path made absolute and free of "." and ".."
// components; empty for the root folder.
std::string NameOfFullPath(const std::string& path) {
  std::string full = IsAbsolutePath(path) ? path : WithBackslash(CurrentDirectory()) + path;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= full.size()) {
    size_t end = start;
    while (end < full.size() && !IsPathSeparator(full[end])) ++end;
    std::string part = full.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
#if defined(_WIN32)
  // A drive root ("C:\") names no folder of its own, as "/" does not.
  if (parts.size() == 1 && parts[0].size() == 2 && parts[0][1] == ':') return std::string();
#endif
  return parts.empty() ? std::string() : parts.back();
}

class CRunDriver {
public:
  // scanOnly: the driver of a scan, which copies nothing.
  explicit CRunDriver(bool scanOnly) : m_scanOnly(scanOnly) {}

  ResultFlags Run();

private:
  SourceEnd WorkOnSource(size_t index, ResultFlags& result);
  void ReportConnectionFailed(size_t index, int error);
  ResultFlags ScanSource(size_t index, ResultFlags listed);

  const bool m_scanOnly;
  RunState& m_run = g_RunState;
  std::string m_source;
  std::string m_destination;
  CFileNode m_root;
};

ResultFlags CRunDriver::Run() {
  m_run.currentSourcePath = &m_source;
  if (m_run.bufferSize < 1024) m_run.bufferSize = 1024;
  m_run.destinationClaims.Clear();
  m_run.pausedSeconds = 0;
  m_run.skipFlag = false;

  ResultFlags result = kResultOk;
  // A scan needs no copy buffer: it reads only listings and the pages a
  // comparison needs.
  if (!m_scanOnly) m_run.copyBuffer.reset(new (std::nothrow) uint8_t[m_run.bufferSize]);
  const bool verifyAreas = !m_scanOnly && m_run.checkAfterCopy && m_run.AllocateVerifyAreas();
  if (m_scanOnly) {
    // A source that cannot be reached ends its own scan only; the scan's
    // result is that of all its sources.
    LogPrintf("reconnect_limit = %u sec\r\n", m_run.reconnectLimit);
    for (size_t index = 0; index < m_run.sources.size() && m_run.runFlag; ++index) {
      ResultFlags scanned = kResultOk;
      WorkOnSource(index, scanned);
      result |= scanned;
    }
  } else if (!m_run.copyBuffer) {
    LogPrintf("\r\nnot enough memory for a copy buffer of %u bytes, nothing copied\r\n", m_run.bufferSize);
    result = kResultNoStorage;
  } else if (m_run.checkAfterCopy && !verifyAreas) {
    LogPrintf("\r\nnot enough memory to check blocks of %u bytes, nothing copied\r\n", m_run.bufferSize);
    result = kResultNoStorage;
  } else {
    LogPrintf("buf_size = %u bytes\r\n", m_run.bufferSize);
    LogPrintf("reconnect_limit = %u sec\r\n", m_run.reconnectLimit);
    for (size_t index = 0; index < m_run.sources.size(); ++index) {
      if (!m_run.runFlag) break;
      if (WorkOnSource(index, result) == SourceEnd::kConnectionFailed) break;
    }
  }

  if (m_run.runFlag) {
    if (CMainForm* form = m_run.mainForm.load()) form->SendStartCommand();
  }
  m_run.copyBuffer.reset();
  m_run.ReleaseVerifyAreas();
  m_run.destinationClaims.Clear();
  // The source text dies with the driver.
  m_run.currentSourcePath = nullptr;
  m_run.workerFinished = true;
  m_root.FreeChildren();
  return result;
}

void CRunDriver::ReportConnectionFailed(size_t index, int error) {
  LogPrintf("\r\nconnection failed, error = %d \r\n", error);
  if (error != 0) LogPrintf("%s : %s\r\n", m_source.c_str(), UnreachedText(m_source, error).c_str());
  if (CMainForm* form = m_run.mainForm.load()) {
    CSourceSummary summary;
    summary.index = index;
    summary.path = m_source;
    summary.result = kResultReadFailure;
    // Nothing was copied from it: an empty CRC, no errors fixed.
    summary.crc32 = 0;
    summary.errorsFixed = 0;
    summary.canceled = !m_run.runFlag;
    summary.connected = false;
    form->OnSourceDone(summary);
  }
}

SourceEnd CRunDriver::WorkOnSource(size_t index, ResultFlags& result) {
  CMainForm* form = m_run.mainForm.load();
  m_source = m_run.sources[index];
  StripBackslash(m_source);
  m_destination = form ? form->Destination() : std::string();
  StripBackslash(m_destination);
  if (m_destination.empty()) m_destination = CurrentDirectory();

  std::string shareName;
  const bool shareRoot = IsShareRoot(m_source, &shareName);
  if (shareRoot) {
    m_root.m_data = CFindData();
    m_root.m_data.attrib = kAttribSubdir;
    m_root.m_data.name = shareName;
  }

  m_run.leftOut.clear();
  m_run.failureCause.clear();
  m_run.sourceLost = false;
  m_run.skippedFiles = 0;
  m_run.passedBytes = 0;
  m_run.currentFileNumber = 0;
  m_run.bytesDone = 0;
  m_run.folderCount = 0;
  m_run.fileCount = 0;
  m_run.totalBytes = 0;
  UpdateProgress();

  if (!shareRoot) {
    // The limit runs on the clock that leaves paused time out.
    const int64_t start = ActiveTimeNow();
    int64_t deadline = start + static_cast<int64_t>(m_run.reconnectLimit);
    int64_t last = start - 1;
    for (;;) {
      WaitWhilePaused();
      const int64_t now = ActiveTimeNow();
      if (now > last)
        LogPrintf("from %s  to %s, %4" PRId64 " sec limit...", m_source.c_str(), m_destination.c_str(),
                  deadline - now);
      CFindData found;
      const bool reachable = FindFirst(m_source, found) != nullptr;
      const int error = errno;
      last = now;
      if (reachable) {
        m_root.m_data = found;
        break;
      }
      if (LogonRefused(m_source, error)) {
        int64_t waited = 0;
        if (LogonAgain(m_source, waited)) {
          deadline += waited;
          continue;
        }
        result = kResultReadFailure;
        ReportConnectionFailed(index, error);
        return SourceEnd::kConnectionFailed;
      }
      // A share whose server answers that the path is not there, access
      // denied, a name refused: waiting mends none of them.
      if (now >= deadline || !m_run.runFlag || CannotHeal(m_source, error, false)) {
        result = kResultReadFailure;
        ReportConnectionFailed(index, error);
        return SourceEnd::kConnectionFailed;
      }
      SleepMs(kRetryPauseMs);
    }
  }

  const int64_t workStart = TimeNow();
  m_run.runCrc = 0xFFFFFFFF;
  m_run.errorsFixed = 0;

  // "." or ".." as the source's own name would place the copy outside the
  // destination: the copy takes the name the folder really has.
  if (m_root.m_data.name == "." || m_root.m_data.name == "..") m_root.m_data.name = NameOfFullPath(m_source);

  if (m_root.IsFolder()) {
    result = m_root.ScanFolder(m_source, &m_run.totalBytes, &m_run.fileCount, &m_run.folderCount);
    if (shareRoot && m_root.ChildCount() == 0) {
      const int error = errno;
      result = kResultReadFailure;
      ReportConnectionFailed(index, error);
      return SourceEnd::kConnectionFailed;
    }
    LogPrintf("total size = %" PRIu64 " bytes, %4" PRIu64 " mb, files : %d, folders : %d\r\n",
              m_run.totalBytes, m_run.totalBytes >> 20, m_run.fileCount, m_run.folderCount);
    if (m_scanOnly) {
      result = ScanSource(index, result);
      return SourceEnd::kWorkedOn;
    }
    LogPrintf("copying from \"%s\" to \"%s\" ...\r\n", m_source.c_str(), m_destination.c_str());
    // The copy tries again what a scan that lost the source could not list.
    m_run.sourceLost = false;
    // The files wait, fetched ahead, while the ones before them are copied;
    // whatever is still in flight when the walk ends is dropped unwritten.
    // Only a source reached over a network gains: on a local disk an open
    // and a first read cost less than handing them over between threads.
    // One connection to the server leaves none to fetch on.
    const bool fetch = !(form && form->CopyByParts()) && IsRemotePath(m_source) && Connections() > 1;
    const uint32_t depth = fetch ? m_run.fetchFiles : 0;
    CFetchAhead stage(m_root, m_source, m_destination, depth);
    m_run.fetchAhead = depth ? &stage : nullptr;
    result |= m_root.CopyFolder(m_source, m_destination);
    m_run.fetchAhead = nullptr;
    stage.Stop();
  } else {
    m_run.fileCount = 1;
    m_run.currentFileNumber = 1;
    m_run.totalBytes = m_root.m_data.size;
    LogPrintf("total size = %" PRIu64 " bytes, %4" PRIu64 " mb, destination : %s\r\n", m_root.m_data.size,
              m_root.m_data.size >> 20, m_destination.c_str());
    if (m_scanOnly) {
      result = ScanSource(index, kResultOk);
      return SourceEnd::kWorkedOn;
    }
    if ((m_root.m_data.attrib & kAttribSpecial) != 0 ||
        !IsSafeEntryName(m_root.m_data.name, IsSmbPath(m_source))) {
      LogPrintf("\r\n%s : not a regular file, not copied\r\n", m_source.c_str());
      result = kResultReadFailure;
    } else {
      result = form && form->CopyByParts() ? m_root.CopyFilePart(m_source, m_destination)
                                           : m_root.CopyWholeFile(m_source, m_destination);
      if (result != kResultOk) NoteFileLeftOut(m_source, result);
    }
  }

  LogLeftOut();
  const int64_t elapsed = TimeNow() - workStart;
  LogPrintf("time taken : %" PRId64 " min, %2" PRId64 " sec\r\n", elapsed / 60, elapsed % 60);
  const bool running = m_run.runFlag;
  LogPrintf(running ? "\r\ndone, crc32 = 0x%08x, errors fixed : %d\r\n"
                    : "\r\ncanceled, crc32 = 0x%08x, errors fixed : %d\r\n",
            ~m_run.runCrc, m_run.errorsFixed);
  if (result == kResultOk && running) {
    if (m_run.errorsFixed != 0)
      LogPrintf("\r\nall files copyed, but errors encountered, some files may be corrupt\r\n");
    else
      LogPrintf("\r\nsuccesfully copyed\r\n");
  }
  // A copy with pages passed as zeros is no success either.
  if (m_run.passedBytes != 0)
    LogPrintf("\r\n%" PRIu64 " bytes could not be read, passed as zeros\r\n", m_run.passedBytes);
  // Skipped files take the place of the success line.
  if (result & kResultSkipped)
    LogPrintf("\r\n%d %s skipped by the user\r\n", m_run.skippedFiles,
              m_run.skippedFiles == 1 ? "file" : "files");
  LogListingAndReadErrors(result, m_run);
  if (result & kResultWriteFailure)
    LogPrintf("write error (not enough disk space/access denied/file opened by another program ?)\r\n");

  if (form) {
    CSourceSummary summary;
    summary.index = index;
    summary.path = m_source;
    summary.result = result;
    summary.crc32 = ~m_run.runCrc;
    summary.errorsFixed = m_run.errorsFixed;
    summary.canceled = !running;
    summary.leftOut = m_run.leftOut;
    form->OnSourceDone(summary);
  }
  return SourceEnd::kWorkedOn;
}

ResultFlags CRunDriver::ScanSource(size_t index, ResultFlags listed) {
  CMainForm* form = m_run.mainForm.load();
  ResultFlags result = listed;
  CScanCounts counts;
  LogPrintf("checking the destination \"%s\" ...\r\n", m_destination.c_str());
  if (m_root.IsFolder()) {
    result |= ScanDestinationFolder(m_root, m_source, m_destination, form, counts);
  } else if ((m_root.m_data.attrib & kAttribSpecial) != 0 ||
             !IsSafeEntryName(m_root.m_data.name, IsSmbPath(m_source))) {
    LogPrintf("\r\n%s : not a regular file, not copied\r\n", m_source.c_str());
    result |= kResultReadFailure;
  } else {
    result |= ScanDestinationFile(m_root, m_source, m_destination, form, counts);
  }
  LogLeftOut();
  if (!m_run.runFlag) {
    LogPrintf("\r\nscan canceled\r\n");
    return result;
  }
  LogPrintf("complete : %" PRId64 " files, partial : %" PRId64 " files, missing : %" PRId64
            " files, differ : %" PRId64 " files, to copy : %" PRIu64 " bytes\r\n",
            counts.complete, counts.partial, counts.missing, counts.differing, counts.bytesToCopy);
  LogListingAndReadErrors(result, m_run);
  if (form) {
    CScanSummary summary;
    summary.index = index;
    summary.path = m_source;
    summary.result = result;
    summary.files = m_run.fileCount;
    summary.folders = m_run.folderCount;
    summary.bytes = m_run.totalBytes;
    summary.completeFiles = counts.complete;
    summary.partialFiles = counts.partial;
    summary.missingFiles = counts.missing;
    summary.differingFiles = counts.differing;
    summary.bytesToCopy = counts.bytesToCopy;
    form->OnScanDone(summary);
  }
  return result;
}

}  // namespace

ResultFlags CopyThreadProc() {
  CRunDriver driver(false);
  return driver.Run();
}

ResultFlags ScanThreadProc() {
  CRunDriver driver(true);
  return driver.Run();
}
