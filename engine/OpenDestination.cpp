#include "OpenDestination.h"

#include <cerrno>

#include "CopyProgress.h"
#include "DestinationCheck.h"
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

namespace {

// Returns the modification time of the file at path as listed, or -1 when it
// cannot be listed.
int64_t ListedWriteTime(const std::string& path) {
  CFindData data;
  return FindFirst(path, data) ? data.time_write : -1;
}

// Returns the length of the open stream, which is left at its end, or -1.
int64_t LengthOf(CStream& stream) { return stream.Seek(0, SeekOrigin::kEnd) == 0 ? stream.Tell() : -1; }

// Returns true when the destination stream of path, whose identity is
// destinationId, is the source itself.
bool IsTheSource(CStream& stream, const CFileId& destinationId, const std::string& path, CStream& source,
                 const CFindData& listing) {
  CFileId sourceId;
  if (!source.Identify(sourceId)) return false;
  if (sourceId == destinationId) return true;
  // A server's file ID names a file whatever the server was called, and one
  // on this machine gives the local inode number; equal numbers name one
  // file when the files agree as well.
  if (sourceId.ino != destinationId.ino || !(sourceId.FromServer() || destinationId.FromServer())) return false;
  const int64_t length = LengthOf(stream);
  const bool same =
      length >= 0 && MayHoldTheSource(source, path, static_cast<uint64_t>(length), ListedWriteTime(path), listing);
  source.Seek(0, SeekOrigin::kSet);
  return same;
}

}  // namespace

std::unique_ptr<CStream> OpenDestination(const std::string& path, OpenMode mode, CStream& source,
                                         const CFindData& listing, const std::string& owner) {
  std::unique_ptr<CStream> stream = FileOpen(path, OpenMode::kAppend);
  if (!stream) {
    LogOpenFailure(path, errno);
    return nullptr;
  }
  CFileId destinationId;
  const bool known = stream->Identify(destinationId);
  if (known && IsTheSource(*stream, destinationId, path, source, listing)) {
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
  if (mode == OpenMode::kWrite && EmptyDestination(*stream, path, source, listing) != kResultOk) return nullptr;
  if (stream->Seek(0, SeekOrigin::kEnd) != 0) {
    LogOpenFailure(path, errno);
    return nullptr;
  }
  return stream;
}

ResultFlags EmptyDestination(CStream& destination, const std::string& path, CStream& source,
                             const CFindData& listing) {
  const int64_t length = LengthOf(destination);
  if (length < 0) {
    LogOpenFailure(path, errno);
    return kResultWriteFailure;
  }
  if (length > 0) {
    const bool mayBeTheSource =
        MayHoldTheSource(source, path, static_cast<uint64_t>(length), ListedWriteTime(path), listing);
    source.Seek(0, SeekOrigin::kSet);
    if (mayBeTheSource) {
      LogPrintf("\r\n%s is the source itself or a complete copy of it, not emptied\r\n", path.c_str());
      return kResultWriteFailure;
    }
  }
  if (destination.Truncate(0) != 0 || destination.Seek(0, SeekOrigin::kEnd) != 0) {
    LogOpenFailure(path, errno);
    return kResultWriteFailure;
  }
  return kResultOk;
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
