// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "platform/smb/SmbReadAhead.h"

#include "platform/Connections.h"
#include "platform/ErrnoGuard.h"
#include "platform/LargeBuffer.h"
#include "platform/WorkerPool.h"
#include "platform/smb/SmbContext.h"
#include "platform/smb/SmbThreads.h"

#include <fcntl.h>
#include <libsmbclient.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

// Every piece kept has a slot of its own in the ring.
static_assert(kSmbReadAheadPieces <= kSmbReadAheadLanePieces &&
              kSmbReadAheadLinkPieces <= kSmbReadAheadLanePieces &&
              kSmbReadAheadLinkLanePieces <= kSmbReadAheadLanePieces);

namespace {

// Reads up to wanted bytes at position of file, an open in context, into
// piece, asking again after a short read until the file ends. Returns the
// bytes read; failure is set to the errno of a read that failed, or 0.
size_t ReadPiece(SMBCCTX* context, SMBCFILE* file, uint64_t position, char* piece, size_t wanted,
                 int& failure) {
  failure = 0;
  if (context == nullptr) {
    failure = errno != 0 ? errno : EBADF;
    return 0;
  }
  if (smbc_getFunctionLseek(context)(context, file, static_cast<off_t>(position), SEEK_SET) < 0) {
    failure = errno;
    return 0;
  }
  size_t length = 0;
  while (length < wanted) {
    const ssize_t got = smbc_getFunctionRead(context)(context, file, piece + length, wanted - length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      failure = errno;
      break;
    }
    if (got == 0) break;
    length += static_cast<size_t>(got);
  }
  return length;
}

}  // namespace

// What the reading threads and the copy share. The threads hold it too, so
// it outlives a stream that is destroyed while they still end.
struct CSmbReadAhead::CState {
  CState(SMBCFILE* f, std::string u, uint64_t position, uint64_t l)
      : file(f), url(std::move(u)), start(position), limit(l) {}

  SMBCFILE* const file;   // the first lane's: the stream's own open
  const std::string url;  // opened again by the other lanes
  const uint64_t start;   // the file position of piece 0
  const uint64_t limit;   // nothing at or past it is read
  std::mutex lock;
  std::condition_variable changed;
  // The pieces in flight or waiting: piece n is in slot n %
  // kSmbReadAheadLanePieces, its bytes in a buffer of its own taken when it
  // is handed out and given back when it is used up. Buffers are allocated
  // when first needed, in huge pages where the system has them (new memory
  // in small pages cost more than the reads on the machines measured, see
  // LargeBuffer.h), and left uninitialised (only the pages a read fills are
  // ever touched, so a short file costs little): one lane never has more
  // than Room() of them.
  std::vector<CLargeBuffer> buffers;
  std::vector<char*> spare;  // buffers not in use
  std::array<char*, kSmbReadAheadLanePieces> data{};
  std::array<size_t, kSmbReadAheadLanePieces> lengths{};
  std::array<bool, kSmbReadAheadLanePieces> ready{};  // the slot's piece has arrived
  uint64_t assigned = 0;                              // pieces handed to the lanes
  uint64_t count = UINT64_MAX;   // the pieces there are: the last one ended the file or the limit, or failed
  uint64_t taken = 0;            // pieces the copy has used up
  size_t takenInPiece = 0;       // bytes of piece `taken` already copied or lent
  bool lentToEnd = false;        // piece `taken` was lent to its end: used up at the next call
  bool atEnd = false;            // piece count - 1 ended the file
  int error = 0;                 // or failed with this errno
  bool stopping = false;         // Stop asks the threads to end
  uint32_t lanes = 1;            // lanes started
  uint32_t running = 1;          // lanes that have not ended yet
  uint32_t timedPieces = 0;      // full pieces of the first lane timed so far
  int64_t quickestPieceMs = -1;  // the quickest of them
  // The length of every piece but the last, and how many may be read or
  // waiting with one lane and with more: set before the first piece is
  // handed out (see ProbeLink), fixed from then on.
  size_t piece = kSmbReadAheadPiece;
  size_t soloRoom = kSmbReadAheadPieces;
  size_t lanesRoom = kSmbReadAheadLanePieces;

  // Returns how many pieces may be read or waiting at a time.
  size_t Room() const { return lanes > 1 ? lanesRoom : soloRoom; }

  // Returns the slot of piece n.
  static size_t Slot(uint64_t n) { return static_cast<size_t>(n % kSmbReadAheadLanePieces); }

  // Returns a buffer for a piece, or nullptr when no memory could be had.
  // Called with the lock held.
  char* TakeBuffer() {
    if (spare.empty()) {
      CLargeBuffer made(piece);
      if (made.Data() == nullptr) return nullptr;
      buffers.push_back(std::move(made));
      return buffers.back().Data();
    }
    char* buffer = spare.back();
    spare.pop_back();
    return buffer;
  }

  // A lane: takes the next piece while the ring has room and the reading
  // goes on, reads it through read (which returns the bytes read, with its
  // failure's errno), and files it. Returns when there are no more pieces or
  // Stop asks. first tells the lane that decides whether more are started.
  template <typename CRead>
  void Lane(bool first, CRead&& read) {
    std::unique_lock guard(lock);
    while (!stopping) {
      if (assigned >= count) break;
      const uint64_t position = start + assigned * piece;
      if (position >= limit) {
        count = std::min(count, assigned);
        changed.notify_all();
        break;
      }
      if (assigned - taken >= Room()) {
        changed.wait(guard);
        continue;
      }
      const uint64_t n = assigned++;
      const size_t slot = Slot(n);
      const size_t wanted = limit - position < piece ? static_cast<size_t>(limit - position) : piece;
      char* buffer = TakeBuffer();
      if (buffer == nullptr) {
        // Out of memory: the copy meets a failed read there, as it would
        // reading the file itself.
        data[slot] = nullptr;
        lengths[slot] = 0;
        ready[slot] = true;
        if (n + 1 < count) {
          count = n + 1;
          error = ENOMEM;
          atEnd = false;
        }
        changed.notify_all();
        break;
      }
      data[slot] = buffer;
      guard.unlock();
      int failure = 0;
      const auto began = std::chrono::steady_clock::now();
      const size_t length = read(position, buffer, wanted, failure);
      const auto ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began)
              .count();
      guard.lock();
      lengths[slot] = length;
      ready[slot] = true;
      if ((failure != 0 || length < wanted) && n + 1 < count) {
        count = n + 1;
        error = failure;
        atEnd = failure == 0;
      }
      if (first && failure == 0 && length == piece && n >= kSmbTimedPiece) NoteFirstLanePiece(ms);
      changed.notify_all();
    }
    --running;
    changed.notify_all();
  }

  // Notes that the first lane read a full piece in ms milliseconds; once two
  // are timed and the quicker took longer than kSmbSlowPieceMs, starts the
  // other lanes (StartLanes). Called with the lock held.
  void NoteFirstLanePiece(int64_t ms) {
    if (timedPieces >= 2) return;
    quickestPieceMs = quickestPieceMs < 0 ? ms : std::min(quickestPieceMs, ms);
    const auto slow = static_cast<int64_t>(SmbSlowPieceMs());
    if (++timedPieces < 2 || (slow != 0 && quickestPieceMs <= slow)) return;
    StartLanes();
  }

  // Starts the lanes after the first, up to kSmbReadAheadLanes in all and no
  // more than Connections(), when none are running yet, the reading has a
  // limit and what is left before it is at least kSmbLanesLeast long.
  // Returns nothing; without threads for libsmbclient the first lane reads
  // on alone. Called with the lock held.
  void StartLanes() {
    const uint32_t most = std::min(kSmbReadAheadLanes, Connections());
    if (most <= 1 || lanes > 1) return;
    if (limit == kSmbReadAheadNoLimit || count != UINT64_MAX) return;
    const uint64_t next = start + assigned * piece;
    if (next >= limit || limit - next < kSmbLanesLeast || !SetUpSmbThreads()) return;
    lanes = most;
    for (uint32_t lane = 1; lane < most; ++lane) {
      ++running;
      RunOnPoolThread([state = self.lock()] { state->ReaderLane(); });
    }
    changed.notify_all();
  }

  // Tells, before the first piece is handed out, whether the server is
  // behind a link: when the reading has a limit at least kSmbLanesLeast
  // away, asks for the file's attributes and times the answer, and once more
  // when it took longer than SmbSlowRequestUs(). When both did, starts the
  // other lanes, whose logons and opens go out while this lane reads (see
  // CSmbFileCall); the pieces are then kSmbReadAheadLinkPiece long when no
  // other lane may start or the quicker answer took kSmbLongRoundTrip times
  // SmbSlowRequestUs() or longer. Returns at once otherwise; a request that
  // fails tells nothing (the reads meet the failure). Called on the first
  // lane's thread, without the lock.
  void ProbeLink() {
    if (limit == kSmbReadAheadNoLimit || limit <= start || limit - start < kSmbLanesLeast) return;
    const auto slow = std::chrono::microseconds(SmbSlowRequestUs());
    auto quickest = std::chrono::steady_clock::duration::max();
    for (int asked = 0; asked < 2; ++asked) {
      CSmbCall call;
      SMBCCTX* context = call.Context();
      if (context == nullptr) return;
      struct stat st {};
      const auto began = std::chrono::steady_clock::now();
      if (smbc_getFunctionFstat(context)(context, file, &st) != 0) return;
      const auto took = std::chrono::steady_clock::now() - began;
      if (took <= slow && slow.count() != 0) return;
      quickest = std::min(quickest, took);
    }
    std::unique_lock guard(lock);
    StartLanes();
    if (lanes == 1 || quickest >= kSmbLongRoundTrip * slow) {
      piece = kSmbReadAheadLinkPiece;
      soloRoom = kSmbReadAheadLinkPieces;
      lanesRoom = kSmbReadAheadLinkLanePieces;
    }
  }

  // A lane of its own: a reader context, an open of url in it (both while
  // holding the shared state's lock, as every logon and open), its reads
  // without the lock. A lane that cannot open leaves its pieces to the
  // others.
  void ReaderLane() {
    SMBCCTX* context = nullptr;
    SMBCFILE* opened = nullptr;
    {
      const auto shared = LockSmbSharedState();
      context = TakeSmbReaderContext();
      if (context != nullptr) {
        opened = smbc_getFunctionOpen(context)(context, url.c_str(), O_RDONLY, 0);
        if (opened == nullptr) {
          ReturnSmbReaderContext(context, IsSmbConnectionError(errno));
          context = nullptr;
        }
      }
    }
    if (context == nullptr) {
      std::lock_guard guard(lock);
      --running;
      changed.notify_all();
      return;
    }
    bool connectionFailed = false;
    Lane(false, [&](uint64_t position, char* into, size_t wanted, int& failure) {
      const size_t length = ReadPiece(context, opened, position, into, wanted, failure);
      if (IsSmbConnectionError(failure)) connectionFailed = true;
      return length;
    });
    CErrnoGuard keep;
    const auto shared = LockSmbSharedState();
    smbc_getFunctionClose(context)(context, opened);
    ReturnSmbReaderContext(context, connectionFailed);
  }

  // Counts a piece lent to its end as used up, so that a lane may read into
  // it again. Called with the lock held.
  void ReleaseLent() {
    if (!lentToEnd) return;
    lentToEnd = false;
    UseUp();
  }

  // Counts piece `taken` as used up. Called with the lock held.
  void UseUp() {
    ready[Slot(taken)] = false;
    if (data[Slot(taken)] != nullptr) spare.push_back(data[Slot(taken)]);
    takenInPiece = 0;
    ++taken;
    changed.notify_all();
  }

  // Waits until piece `taken` has arrived or there is none; returns true when
  // it has arrived.
  bool WaitForPiece(std::unique_lock<std::mutex>& guard) {
    changed.wait(guard, [this] { return taken >= count || ready[Slot(taken)]; });
    return taken < count;
  }

  std::weak_ptr<CState> self;  // this state, for the lanes it starts
};

CSmbReadAhead::CSmbReadAhead(SMBCFILE* file, std::string url, uint64_t position, uint64_t limit)
    : m_state(std::make_shared<CState>(file, std::move(url), position, limit)) {
  m_state->self = m_state;
  RunOnPoolThread([state = m_state] {
    state->ProbeLink();
    state->Lane(true, [&state](uint64_t at, char* into, size_t wanted, int& failure) {
      size_t length = 0;
      {
        // The file's own reads: other lanes may log on and open meanwhile.
        CSmbFileCall call;
        length = ReadPiece(call.Context(), state->file, at, into, wanted, failure);
      }
      if (failure != 0) CSmbCall().AfterFailure(failure);
      return length;
    });
  });
}

CSmbReadAhead::~CSmbReadAhead() { Stop(); }

CSmbTaken CSmbReadAhead::Take(char* out, size_t count) {
  CState& s = *m_state;
  CSmbTaken result;
  std::unique_lock guard(s.lock);
  s.ReleaseLent();
  while (result.done < count) {
    if (!s.WaitForPiece(guard)) {
      result.end = s.atEnd;
      result.error = s.error;
      break;
    }
    const size_t slot = CState::Slot(s.taken);
    const size_t length = s.lengths[slot];
    size_t n = length - s.takenInPiece;
    if (n > count - result.done) n = count - result.done;
    // The lanes write only pieces past `taken`, so this one may be copied
    // without the lock.
    const char* from = s.data[slot] + s.takenInPiece;
    guard.unlock();
    if (n != 0) std::memcpy(out + result.done, from, n);
    guard.lock();
    result.done += n;
    s.takenInPiece += n;
    if (s.takenInPiece == length) s.UseUp();
  }
  return result;
}

const char* CSmbReadAhead::Lend(size_t count) {
  CState& s = *m_state;
  std::unique_lock guard(s.lock);
  s.ReleaseLent();
  if (!s.WaitForPiece(guard)) return nullptr;
  const size_t slot = CState::Slot(s.taken);
  const size_t length = s.lengths[slot];
  if (count == 0 || length - s.takenInPiece < count) return nullptr;
  const char* lent = s.data[slot] + s.takenInPiece;
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
  s.changed.wait(guard, [&s] { return s.running == 0; });
}
