// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/smb/SmbReadAhead.h"

#include "platform/WorkerPool.h"
#include "platform/smb/SmbContext.h"

#include <libsmbclient.h>

#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>

// What the reading thread and the copy share. The thread holds it too, so
// it outlives a stream that is destroyed while the thread still ends.
struct CSmbReadAhead::CState {
  CState(SMBCFILE* f, uint64_t position, uint64_t l) : file(f), next(position), limit(l) {}

  SMBCFILE* const file;
  uint64_t next;         // the file position of the next piece, read by the thread alone
  const uint64_t limit;  // nothing at or past it is read
  std::mutex lock;
  std::condition_variable changed;
  // A ring: piece n is pieces[n % kSmbReadAheadPieces], allocated when first
  // read into and left uninitialised (only the pages a read fills are ever
  // touched, so a short file costs little).
  std::array<std::unique_ptr<char[]>, kSmbReadAheadPieces> pieces;
  std::array<size_t, kSmbReadAheadPieces> lengths{};
  uint64_t filled = 0;      // pieces the thread has read (it writes piece `filled` meanwhile)
  uint64_t taken = 0;       // pieces the copy has used up
  size_t takenInPiece = 0;  // bytes of piece `taken` already copied or lent
  bool lentToEnd = false;   // piece `taken` was lent to its end: used up at the next call
  bool ended = false;       // piece filled - 1 is the last: the file or the limit was met, or a read failed
  int error = 0;            // the errno of the read that failed, when one did
  bool atEnd = false;       // the file ended (rather than the limit being met or a read failing)
  bool stopping = false;    // Stop asks the thread to end
  bool running = true;      // the thread has not ended yet

  // The reading thread: reads the pieces one after the other while the
  // ring has room, until the file ends, the limit is met, a read fails, or
  // Stop asks.
  void Read() {
    std::unique_lock guard(lock);
    while (!stopping && !ended) {
      if (next >= limit) {
        ended = true;
        break;
      }
      if (filled - taken >= kSmbReadAheadPieces) {
        changed.wait(guard);
        continue;
      }
      std::unique_ptr<char[]>& slot = pieces[filled % kSmbReadAheadPieces];
      guard.unlock();
      const size_t wanted =
          limit - next < kSmbReadAheadPiece ? static_cast<size_t>(limit - next) : kSmbReadAheadPiece;
      if (slot == nullptr) slot.reset(new char[kSmbReadAheadPiece]);
      char* piece = slot.get();
      size_t length = 0;
      int failure = 0;
      {
        CSmbCall call;
        SMBCCTX* context = call.Context();
        while (length < wanted) {
          const ssize_t got = context == nullptr ? -1
                                                 : smbc_getFunctionRead(context)(
                                                       context, file, piece + length, wanted - length);
          if (got < 0 && errno == EINTR) continue;
          if (got < 0) {
            failure = errno;
            call.AfterFailure(failure);
            break;
          }
          if (got == 0) break;
          length += static_cast<size_t>(got);
        }
      }
      next += length;
      guard.lock();
      lengths[filled % kSmbReadAheadPieces] = length;
      ++filled;
      if (failure != 0 || length < wanted) {
        ended = true;
        error = failure;
        atEnd = failure == 0;
      }
      changed.notify_all();
    }
    running = false;
    changed.notify_all();
  }

  // Counts a piece lent to its end as used up, so the thread may read into
  // it again. Called with the lock held.
  void ReleaseLent() {
    if (!lentToEnd) return;
    lentToEnd = false;
    takenInPiece = 0;
    ++taken;
    changed.notify_all();
  }
};

CSmbReadAhead::CSmbReadAhead(SMBCFILE* file, uint64_t position, uint64_t limit)
    : m_state(std::make_shared<CState>(file, position, limit)) {
  RunOnPoolThread([state = m_state] { state->Read(); });
}

CSmbReadAhead::~CSmbReadAhead() { Stop(); }

CSmbTaken CSmbReadAhead::Take(char* out, size_t count) {
  CState& s = *m_state;
  CSmbTaken result;
  std::unique_lock guard(s.lock);
  s.ReleaseLent();
  while (result.done < count) {
    if (s.taken == s.filled) {
      if (s.ended) {
        result.end = s.atEnd;
        result.error = s.error;
        break;
      }
      s.changed.wait(guard);
      continue;
    }
    const size_t slot = s.taken % kSmbReadAheadPieces;
    const size_t length = s.lengths[slot];
    size_t n = length - s.takenInPiece;
    if (n > count - result.done) n = count - result.done;
    // The thread writes only pieces past `taken`, so this one may be copied
    // without the lock.
    const char* from = s.pieces[slot].get() + s.takenInPiece;
    guard.unlock();
    if (n != 0) std::memcpy(out + result.done, from, n);
    guard.lock();
    result.done += n;
    s.takenInPiece += n;
    if (s.takenInPiece == length) {
      s.takenInPiece = 0;
      ++s.taken;
      s.changed.notify_all();
    }
  }
  return result;
}

const char* CSmbReadAhead::Lend(size_t count) {
  CState& s = *m_state;
  std::unique_lock guard(s.lock);
  s.ReleaseLent();
  s.changed.wait(guard, [&s] { return s.taken != s.filled || s.ended; });
  if (s.taken == s.filled) return nullptr;
  const size_t slot = s.taken % kSmbReadAheadPieces;
  const size_t length = s.lengths[slot];
  if (count == 0 || length - s.takenInPiece < count) return nullptr;
  const char* lent = s.pieces[slot].get() + s.takenInPiece;
  s.takenInPiece += count;
  // A piece lent to its end stays the copy's until its next call.
  if (s.takenInPiece == length) s.lentToEnd = true;
  return lent;
}

void CSmbReadAhead::Stop() {
  CState& s = *m_state;
  std::unique_lock guard(s.lock);
  s.stopping = true;
  s.changed.notify_all();
  s.changed.wait(guard, [&s] { return !s.running; });
}
