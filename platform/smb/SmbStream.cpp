// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "platform/smb/SmbStream.h"
#include "platform/ErrnoGuard.h"
#include "platform/smb/SmbReadAhead.h"
#include "platform/smb/SmbReadings.h"

#include <fcntl.h>
#include <libsmbclient.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <utility>

static_assert(sizeof(off_t) >= 8, "the SMB backend needs 64-bit file offsets");

namespace {

// The largest count handed to one libsmbclient read. It splits the count
// into requests of the server's largest read size itself and sends them in
// parallel, so a larger count only means a longer wait for the first byte.
constexpr size_t kMaxReadChunk = size_t{16} << 20;

// The largest count handed to one libsmbclient write. A failed write tells
// nothing of how much of it reached the file, so what Write reports as
// written when one fails is the chunks before it.
constexpr size_t kMaxWriteChunk = size_t{1} << 20;

// Returns the open(2) flags libsmbclient takes for mode. Writing streams are
// opened for reading as well: a handle without read access cannot ask the
// server for the file's size, which finding the end and Identify need.
// Reading through them is refused here all the same.
int OpenFlags(OpenMode mode) {
  switch (mode) {
    case OpenMode::kRead:
      return O_RDONLY;
    case OpenMode::kAppend:
      return O_RDWR | O_CREAT | O_APPEND;
    case OpenMode::kWrite:
      return O_RDWR | O_CREAT | O_TRUNC;
    case OpenMode::kUpdate:
      return O_RDWR;
  }
  return O_RDONLY;
}

// Opens url with flags and the share mode shareMode (which other opens of
// the file it denies). Returns the file, or nullptr with errno set; a folder
// gives EINVAL.
SMBCFILE* OpenWithShareMode(SMBCCTX* context, const std::string& url, int flags, smbc_share_mode shareMode) {
  const smbc_share_mode before = smbc_getOptionOpenShareMode(context);
  smbc_setOptionOpenShareMode(context, shareMode);
  SMBCFILE* file = smbc_getFunctionOpen(context)(context, url.c_str(), flags, 0666);
  {
    CErrnoGuard guard;
    smbc_setOptionOpenShareMode(context, before);
  }
  if (file == nullptr && errno == EISDIR) errno = EINVAL;
  return file;
}

// A stream over an open libsmbclient file. libsmbclient keeps the file
// position; the stream mirrors it, so Tell and most Seeks send nothing to the
// server. Every Read is a read request to the server: libsmbclient caches no
// data and asks for no oplock or lease, so no copy of the file's bytes is
// kept on this side but what is read ahead.
//
// Reading ahead: a copy reads a file block after block and checks and
// writes each block before it asks for the next, so the server would wait
// while the copy works and the copy while the server sends. Once a Read has
// filled its whole count (the file is longer than one block), the stream
// reads on ahead of its reader on a thread of its own (CSmbReadAhead), and
// later Reads take the bytes from there (Lend hands them over without a
// copy). A Seek elsewhere, a lock, a
// truncation or a close stops it first, and nothing is read ahead once
// DropCache has been called: a stream whose blocks are checked by reading
// them through it again gets every reading from the server when it asks.
// Where the reader said where it stops (ExpectEnd), nothing at or past that
// end is read ahead, and no Read that reaches it exactly starts a reading
// ahead: a file of the listed length is read with no request that only
// finds its end. A Read past that end drops it, and the stream goes on as
// though it had never been told.
class CSmbStream final : public CStream {
public:
  // Takes over file, opened from url in mode, whose position is position.
  CSmbStream(SMBCFILE* file, std::string url, OpenMode mode, uint64_t device, int64_t position)
      : m_file(file), m_url(std::move(url)), m_mode(mode), m_device(device), m_position(position) {}

  // Closes the file if it is still open; errno is left as it was.
  ~CSmbStream() override {
    CErrnoGuard guard;
    m_ahead.reset();
    if (m_file == nullptr) return;
    CSmbCall call;
    CloseFile(call);
  }

  // Returns the number of bytes read into buffer: count, or fewer when the
  // file ended (end-of-file indicator set) or a read failed (error indicator
  // set, errno from libsmbclient: ETIMEDOUT when the server did not answer in
  // time, ECONNABORTED or ENETRESET when the connection broke). A count of 0
  // returns 0 and sets nothing. A read that returns fewer bytes than asked
  // for has met the end of the file: libsmbclient asks again for the rest
  // until the server reports the end.
  size_t Read(void* buffer, size_t count) override {
    if (count == 0) return 0;
    if (m_file == nullptr || m_mode != OpenMode::kRead) {
      errno = EBADF;
      SetError();
      return 0;
    }
    char* out = static_cast<char*>(buffer);
    size_t done = 0;
    if (m_ahead != nullptr) {
      const CSmbTaken taken = TakeReadAhead(out, count);
      // Fewer bytes, with neither the end nor a failure: the reading ahead
      // stopped at the expected end, and this Read asks past it.
      if (taken.done == count || taken.end || taken.error != 0) return taken.done;
      StopReadAhead();
      done = taken.done;
    }
    // A Read past the expected end drops it.
    if (static_cast<uint64_t>(m_position) + (count - done) > m_expectedEnd)
      m_expectedEnd = kSmbReadAheadNoLimit;
    done += ReadNow(out + done, count - done);
    if (done == count && !m_noReadAhead && static_cast<uint64_t>(m_position) < m_expectedEnd)
      m_ahead =
          std::make_unique<CSmbReadAhead>(m_file, m_url, static_cast<uint64_t>(m_position), m_expectedEnd);
    return done;
  }

  // Notes end as where the reader stops (see the class); a reading ahead
  // begun before is given up, its bytes read again when asked for.
  void ExpectEnd(uint64_t end) override {
    StopReadAhead();
    m_expectedEnd = end;
  }

  // Returns the next count bytes where they were read ahead, or nullptr
  // when they were not (see CStream::Lend and CSmbReadAhead::Lend).
  const uint8_t* Lend(size_t count) override {
    if (m_ahead == nullptr) return nullptr;
    const char* lent = m_ahead->Lend(count);
    if (lent == nullptr) return nullptr;
    m_position += static_cast<int64_t>(count);
    return reinterpret_cast<const uint8_t*>(lent);
  }

  // Reads count bytes into out with read requests of its own, as Read
  // describes; returns the bytes read.
  size_t ReadNow(char* out, size_t count) {
    CSmbCall call;
    SMBCCTX* context = call.Context();
    size_t done = 0;
    while (done < count) {
      const size_t chunk = count - done < kMaxReadChunk ? count - done : kMaxReadChunk;
      const ssize_t got = smbc_getFunctionRead(context)(context, m_file, out + done, chunk);
      if (got < 0) {
        if (errno == EINTR) continue;
        NoteFailure(call);
        SetError();
        break;
      }
      done += static_cast<size_t>(got);
      m_position += got;
      if (static_cast<size_t>(got) < chunk) {
        SetEof();
        break;
      }
    }
    return done;
  }

  // Returns count when every byte was written, or the number of bytes of the
  // chunks written before one failed, with the error indicator and errno set
  // (EBADF on a kRead or closed stream, ECONNRESET when the connection under
  // the file has gone, see WriteErrno). In append mode each call first
  // moves to the file's end as the server knows it.
  size_t Write(const void* buffer, size_t count) override {
    if (count == 0) return 0;
    if (m_file == nullptr || m_mode == OpenMode::kRead) {
      errno = EBADF;
      SetError();
      return 0;
    }
    CSmbCall call;
    SMBCCTX* context = call.Context();
    if (m_mode == OpenMode::kAppend) {
      const off_t end = smbc_getFunctionLseek(context)(context, m_file, 0, SEEK_END);
      if (end < 0) {
        errno = WriteErrno(context, errno);
        NoteFailure(call);
        SetError();
        return 0;
      }
      m_position = static_cast<int64_t>(end);
    }
    const char* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
      const size_t chunk = count - done < kMaxWriteChunk ? count - done : kMaxWriteChunk;
      const ssize_t put = smbc_getFunctionWrite(context)(context, m_file, in + done, chunk);
      if (put < 0 || static_cast<size_t>(put) != chunk) {
        errno = WriteErrno(context, put >= 0 ? EIO : errno);
        NoteFailure(call);
        SetError();
        break;
      }
      done += chunk;
      m_position += put;
    }
    return done;
  }

  // Returns 0 after moving the position and clearing the end-of-file
  // indicator (the error indicator stays), or -1 with errno set (EINVAL for a
  // negative resulting position, EBADF on a closed stream); the position is
  // then unchanged. Only kEnd asks the server (for the file's size).
  int Seek(int64_t offset, SeekOrigin origin) override {
    // A seek to where the stream stands keeps what is read ahead.
    if (m_ahead != nullptr &&
        (origin == SeekOrigin::kCur ? offset == 0 : origin == SeekOrigin::kSet && offset == m_position)) {
      const bool hadError = Error();
      ClearErr();
      if (hadError) SetError();
      return 0;
    }
    StopReadAhead();
    if (m_file == nullptr) {
      errno = EBADF;
      return -1;
    }
    CSmbCall call;
    SMBCCTX* context = call.Context();
    auto lseek = smbc_getFunctionLseek(context);
    int64_t base = 0;
    switch (origin) {
      case SeekOrigin::kSet:
        base = 0;
        break;
      case SeekOrigin::kCur:
        base = m_position;
        break;
      case SeekOrigin::kEnd: {
        const off_t end = lseek(context, m_file, 0, SEEK_END);
        if (end < 0) {
          NoteFailure(call);
          CErrnoGuard guard;
          lseek(context, m_file, static_cast<off_t>(m_position), SEEK_SET);
          return -1;
        }
        base = static_cast<int64_t>(end);
        break;
      }
    }
    const bool overflows = offset > 0 ? base > INT64_MAX - offset : base < INT64_MIN - offset;
    const int64_t target = overflows ? -1 : base + offset;
    if (target < 0) {
      lseek(context, m_file, static_cast<off_t>(m_position), SEEK_SET);
      errno = EINVAL;
      return -1;
    }
    if (lseek(context, m_file, static_cast<off_t>(target), SEEK_SET) < 0) return -1;
    m_position = target;
    const bool hadError = Error();
    ClearErr();
    if (hadError) SetError();
    return 0;
  }

  // Returns the current position, or -1 with errno EBADF on a closed stream.
  int64_t Tell() override {
    if (m_file == nullptr) {
      errno = EBADF;
      return -1;
    }
    return m_position;
  }

  // Returns 0 (nothing is buffered on this side: each Write went to the
  // server before it returned), or -1 with the error indicator set and errno
  // EBADF on a closed stream.
  int Flush() override {
    if (m_file == nullptr) {
      errno = EBADF;
      SetError();
      return -1;
    }
    return 0;
  }

  // Returns 0 after closing the file, or -1 with the error indicator and
  // errno set when the server reports an error (the file is released either
  // way) or the stream was already closed (EBADF). After a connection-level
  // failure the idle connections are dropped once the file is released, so
  // the next open connects anew; when the server stopped answering, this
  // takes up to twice the time limit (the close request, then the end of
  // the session, each wait in vain).
  int Close() override {
    StopReadAhead();
    if (m_file == nullptr) {
      errno = EBADF;
      SetError();
      return -1;
    }
    CSmbCall call;
    if (CloseFile(call) != 0) {
      SetError();
      return -1;
    }
    return 0;
  }

  // Discards what is read ahead and reads nothing ahead from now on (see
  // the class): this side keeps no other cache, so every later Read of any
  // range is a new read request to the server.
  void DropCache(int64_t /*offset*/, int64_t /*length*/) override {
    m_noReadAhead = true;
    StopReadAhead();
  }

  // Returns true with the share's device number and the file's number on the
  // server (its file index, the inode number on a Samba server) as reported
  // for the open file, or false when the server cannot be asked or reports
  // none.
  bool Identify(CFileId& id) override {
    id = CFileId();
    if (m_file == nullptr) return false;
    CErrnoGuard guard;
    CSmbCall call;
    SMBCCTX* context = call.Context();
    struct stat st {};
    if (smbc_getFunctionFstat(context)(context, m_file, &st) != 0 || st.st_ino == 0) return false;
    id.dev = m_device;
    id.ino = static_cast<uint64_t>(st.st_ino);
    return true;
  }

  // Takes the file for this stream alone by opening it again with a share
  // mode that denies writing to every other open (libsmbclient offers no
  // byte-range locks): while this stream stays open, other opens of the file
  // for writing fail with EBUSY, in this process or any other client, and
  // readers still read. Returns 0 when the file is held, or -1 with errno
  // EWOULDBLOCK when another open has the file for writing (a stream that
  // holds it, or one merely open to write, as the server cannot tell the
  // two apart), or -1 with libsmbclient's errno when the file cannot be
  // opened again. The position is kept. When even the plain reopen fails
  // the stream is left closed: later calls fail with EBADF.
  int LockExclusive() override {
    StopReadAhead();
    if (m_file == nullptr) {
      errno = EBADF;
      return -1;
    }
    if (m_locked) return 0;
    CSmbCall call;
    SMBCCTX* context = call.Context();
    if (CloseFile(call) != 0) return -1;
    // Reopening must neither create nor empty the file.
    const int flags = m_mode == OpenMode::kRead ? O_RDONLY : O_RDWR;
    m_file = OpenWithShareMode(context, m_url, flags, SMBC_SHAREMODE_DENY_WRITE);
    int result = 0;
    if (m_file != nullptr) {
      m_locked = true;
    } else {
      const int error = errno == EBUSY ? EWOULDBLOCK : errno;
      NoteFailure(call);
      m_file = OpenWithShareMode(context, m_url, flags, SMBC_SHAREMODE_DENY_NONE);
      if (m_file == nullptr) NoteFailure(call);
      errno = error;
      result = -1;
    }
    if (m_file != nullptr) {
      CErrnoGuard guard;
      smbc_getFunctionLseek(context)(context, m_file, static_cast<off_t>(m_position), SEEK_SET);
    }
    return result;
  }

  // Returns 0 after cutting the file to length bytes, or -1 with errno set
  // (EBADF on a kRead or closed stream, EINVAL for a negative length). The
  // position is not moved.
  int Truncate(int64_t length) override {
    StopReadAhead();
    if (m_file == nullptr || m_mode == OpenMode::kRead) {
      errno = EBADF;
      return -1;
    }
    if (length < 0) {
      errno = EINVAL;
      return -1;
    }
    CSmbCall call;
    SMBCCTX* context = call.Context();
    if (smbc_getFunctionFtruncate(context)(context, m_file, static_cast<off_t>(length)) != 0) {
      NoteFailure(call);
      return -1;
    }
    return 0;
  }

protected:
  // Returns readings over connections of their own (a reading must not move
  // this stream's file position, which libsmbclient keeps per open), for a
  // stream opened for reading.
  std::unique_ptr<CReadQueue> OpenReadings() override {
    if (m_file == nullptr || m_mode != OpenMode::kRead) return nullptr;
    return OpenSmbReadings(m_url);
  }

private:
  // Returns how taking count bytes from what is read ahead into out went,
  // with the indicators and errno set as Read describes. After a failed read
  // the reading ahead is stopped; the next Read asks the server again.
  CSmbTaken TakeReadAhead(char* out, size_t count) {
    const CSmbTaken taken = m_ahead->Take(out, count);
    m_position += static_cast<int64_t>(taken.done);
    if (taken.error != 0) {
      if (IsSmbConnectionError(taken.error)) m_connectionFailed = true;
      StopReadAhead();
      errno = taken.error;
      SetError();
    } else if (taken.end) {
      SetEof();
    }
    return taken;
  }

  // Stops reading ahead, if the stream does, and sets libsmbclient's
  // position for the file back to the stream's (which asks nothing of the
  // server). errno is kept.
  void StopReadAhead() {
    if (m_ahead == nullptr) return;
    CErrnoGuard guard;
    m_ahead.reset();
    if (m_file == nullptr) return;
    CSmbCall call;
    SMBCCTX* context = call.Context();
    if (context != nullptr)
      smbc_getFunctionLseek(context)(context, m_file, static_cast<off_t>(m_position), SEEK_SET);
  }

  // Returns err, the errno of a failed seek to the end or write of the
  // file, or ECONNRESET when err is one libsmbclient gives for a server
  // status it has no errno for (EINVAL, EIO) and the file cannot be asked
  // for its size either: the connection under the file has gone (a server
  // killed between two writes gives EINVAL), and the caller is to wait for
  // it as for a dropped read.
  int WriteErrno(SMBCCTX* context, int err) {
    if (err != EINVAL && err != EIO) return err;
    struct stat st {};
    if (smbc_getFunctionFstat(context)(context, m_file, &st) == 0) return err;
    return ECONNRESET;
  }

  // Notes that a call on the file failed with errno: after a connection-level
  // failure, closing the stream drops the idle connections. errno is kept.
  void NoteFailure(CSmbCall& call) {
    if (IsSmbConnectionError(errno)) {
      m_connectionFailed = true;
      call.AfterFailure(errno);
    }
  }

  // Closes the file and forgets it. Returns 0, or -1 with errno set.
  int CloseFile(CSmbCall& call) {
    SMBCCTX* context = call.Context();
    SMBCFILE* file = m_file;
    m_file = nullptr;
    m_locked = false;
    int result = 0;
    if (context == nullptr || smbc_getFunctionClose(context)(context, file) != 0) {
      result = -1;
      NoteFailure(call);
    }
    if (m_connectionFailed) call.DropIdleConnections();
    return result;
  }

  SMBCFILE* m_file;
  const std::string m_url;
  const OpenMode m_mode;
  const uint64_t m_device;
  int64_t m_position;
  std::unique_ptr<CSmbReadAhead> m_ahead;         // reading ahead, while it does
  uint64_t m_expectedEnd = kSmbReadAheadNoLimit;  // where the reader said it stops (ExpectEnd)
  bool m_noReadAhead = false;                     // DropCache was called: nothing is read ahead
  bool m_locked = false;                          // m_file was opened denying writes to others
  bool m_connectionFailed = false;                // a call on the file met a connection-level failure
};

}  // namespace

std::unique_ptr<CStream> OpenSmbStream(CSmbCall& call, const std::string& url, OpenMode mode,
                                       uint64_t device) {
  SMBCCTX* context = call.Context();
  if (context == nullptr) return nullptr;
  SMBCFILE* file = OpenWithShareMode(context, url, OpenFlags(mode), SMBC_SHAREMODE_DENY_NONE);
  if (file == nullptr) {
    call.AfterFailure(errno);
    return nullptr;
  }
  // An append stream starts where libsmbclient placed it: at the end. This
  // asks nothing of the server.
  int64_t position = 0;
  if (mode == OpenMode::kAppend) {
    const off_t at = smbc_getFunctionLseek(context)(context, file, 0, SEEK_CUR);
    position = at < 0 ? 0 : static_cast<int64_t>(at);
  }
  return std::make_unique<CSmbStream>(file, url, mode, device, position);
}
