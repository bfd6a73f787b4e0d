// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/OpenDestination.h"

#include <cerrno>
#include <cinttypes>

#include "engine/CopyProgress.h"
#include "engine/DestinationCheck.h"
#include "engine/FailureCause.h"
#include "engine/LeftOut.h"
#include "engine/LogPrintf.h"
#include "engine/PauseGate.h"
#include "engine/RetryPause.h"
#include "engine/RunState.h"
#include "platform/smb/SmbPath.h"

namespace {

// Logs that the destination at path is the file being copied.
void LogSourceItself(const std::string& path) {
  LogPrintf("\r\n%s is the source itself, not written\r\n", path.c_str());
  NoteFailureCause("the destination is the source itself");
}

// Logs that another file copy of this run has taken the destination at path.
void LogTakenInRun(const std::string& path) {
  LogPrintf("\r\n%s is already the copy of another file of this run, left alone\r\n", path.c_str());
  NoteFailureCause("the destination is already the copy of another file of this run");
}

// Logs that the destination at path did not open, and why (error).
void LogOpenFailure(const std::string& path, int error) {
  LogPrintf("\r\neror opening destination %s\r\n", path.c_str());
  LogFailureCause(path, error);
  NoteFailureCause("the destination does not open: " + CauseText(path, error));
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
// destinationId, is the source itself. The source's identity as listed
// (listing) rules out every destination of another file number without
// asking the source's file system, which over a share is a request to the
// server: the open source is asked only when the numbers agree, or when
// the listing gave none.
bool IsTheSource(CStream& stream, const CFileId& destinationId, const std::string& path, CStream& source,
                 const CFindData& listing) {
  const CFileId listedId{listing.dev, listing.ino};
  if (listedId.Known() && listedId.ino != destinationId.ino) return false;
  CFileId sourceId;
  if (!source.Identify(sourceId)) return false;
  if (sourceId == destinationId) return true;
  // A server's file ID names a file whatever the server was called, and one
  // on this machine gives the local inode number; equal numbers name one
  // file when the files agree as well.
  if (sourceId.ino != destinationId.ino || !(sourceId.FromServer() || destinationId.FromServer()))
    return false;
  const int64_t length = LengthOf(stream);
  const bool same = length >= 0 && MayHoldTheSource(source, path, static_cast<uint64_t>(length),
                                                    ListedWriteTime(path), listing);
  source.Seek(0, SeekOrigin::kSet);
  return same;
}

// Opens the file at path for appending, or for kUpdate as an existing file
// written at positions. A share whose connection dropped is
// waited for within the reconnect limit, the seconds left counted down in
// the log's last line; a pause holds the wait and does not count against
// the limit. Returns the stream, or nullptr with errno set.
std::unique_ptr<CStream> OpenWithinLimit(const std::string& path, OpenMode mode) {
  const int64_t start = ActiveTimeNow();
  const int64_t deadline = start + static_cast<int64_t>(g_RunState.reconnectLimit);
  int64_t last = start;
  for (;;) {
    std::unique_ptr<CStream> stream = FileOpen(path, mode == OpenMode::kUpdate ? mode : OpenMode::kAppend);
    if (stream || !IsSmbPath(path) || !IsConnectionLevel(errno) || !g_RunState.FileGoesOn()) return stream;
    const int error = errno;
    WaitWhilePaused();
    const int64_t now = ActiveTimeNow();
    if (now >= deadline) {
      errno = error;
      return nullptr;
    }
    if (now > last)
      LogPrintf("trying to connect to %s, %4" PRId64 " sec left...", path.c_str(), deadline - now);
    last = now;
    SleepMs(kRetryPauseMs);
  }
}

}  // namespace

std::unique_ptr<CStream> OpenDestination(const std::string& path, OpenMode mode, CStream& source,
                                         const CFindData& listing, const std::string& owner) {
  std::unique_ptr<CStream> stream = OpenWithinLimit(path, mode);
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
    NoteFailureCause("the destination is in use by another copy");
    return nullptr;
  }
  if (!g_RunState.destinationClaims.Claim(known ? destinationId : CFileId(), path, owner)) {
    LogTakenInRun(path);
    return nullptr;
  }
  if (mode == OpenMode::kWrite && EmptyDestination(*stream, path, source, listing) != kResultOk)
    return nullptr;
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
      NoteFailureCause("the destination is the source itself or a complete copy of it");
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
