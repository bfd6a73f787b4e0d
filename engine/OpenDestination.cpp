#include "OpenDestination.h"

#include <cerrno>

#include "CopyProgress.h"
#include "LogPrintf.h"
#include "RunState.h"

namespace {

// Logs that the destination at path is the file being copied.
void LogSourceItself(const std::string& path) {
  LogPrintf("\r\n%s is the source itself, not written\r\n", path.c_str());
}

// Logs that another file copy of this run has taken the destination at path.
void LogTakenInRun(const std::string& path) {
  LogPrintf("\r\n%s is already the copy of another file of this run, left alone\r\n", path.c_str());
}

// Logs that the destination at path did not open, and why (error).
void LogOpenFailure(const std::string& path, int error) {
  LogPrintf("\r\neror opening destination %s\r\n", path.c_str());
  LogFailureCause(path, error);
}

}  // namespace

std::unique_ptr<CStream> OpenDestination(const std::string& path, OpenMode mode, CStream& source,
                                         const std::string& owner) {
  std::unique_ptr<CStream> stream = FileOpen(path, OpenMode::kAppend);
  if (!stream) {
    LogOpenFailure(path, errno);
    return nullptr;
  }
  CFileId destinationId;
  CFileId sourceId;
  const bool known = stream->Identify(destinationId);
  if (known && source.Identify(sourceId) && sourceId == destinationId) {
    LogSourceItself(path);
    return nullptr;
  }
  // A file system that cannot lock leaves the file as unguarded as before.
  if (stream->LockExclusive() != 0 && errno == EWOULDBLOCK) {
    LogPrintf("\r\n%s is in use by another copy, left alone\r\n", path.c_str());
    return nullptr;
  }
  if (!g_RunState.destinationClaims.Claim(known ? destinationId : CFileId(), path, owner)) {
    LogTakenInRun(path);
    return nullptr;
  }
  if (mode == OpenMode::kWrite && stream->Truncate(0) != 0) {
    LogOpenFailure(path, errno);
    return nullptr;
  }
  if (stream->Seek(0, SeekOrigin::kEnd) != 0) {
    LogOpenFailure(path, errno);
    return nullptr;
  }
  return stream;
}

ResultFlags ClaimListedDestination(const std::string& path, const CFindData& listed, const CFindData& source,
                                   const std::string& owner) {
  const CFileId listedId{listed.dev, listed.ino};
  const CFileId sourceId{source.dev, source.ino};
  if (listedId.Known() && listedId == sourceId) {
    LogSourceItself(path);
    return kResultWriteFailure;
  }
  if (!g_RunState.destinationClaims.Claim(listedId, path, owner)) {
    LogTakenInRun(path);
    return kResultWriteFailure;
  }
  return kResultOk;
}
