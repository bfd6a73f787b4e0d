// SPDX-License-Identifier: GPL-3.0-or-later
// Reading an SMB file ahead of the copy that reads it, on threads of its
// own, so that the server sends the next bytes while the copy checks and
// writes the last ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/smb/SmbTimeout.h"

typedef struct _SMBCFILE SMBCFILE;

// The size of one read ahead, and how many may wait for the copy at a time
// while one lane reads: 16 MiB in all. Each piece is one read request
// (Samba answers up to 8 MiB at once), and the next one is asked for as
// soon as the last arrives, so the server always has work; pieces this
// small still leave what the copy takes next in the processor's cache.
// Measured on a loopback server, pieces of 1 to 4 MiB gave the same time, 8
// and 16 MiB were slower. One libsmbclient read of more than 8 MiB, which
// it sends as requests of 8 MiB together, was slower still (16 MiB reads:
// a tenth of the speed of 8 MiB ones, on loopback and over a link).
inline constexpr size_t kSmbReadAheadPiece = size_t{4} << 20;
inline constexpr size_t kSmbReadAheadPieces = 4;

// Over a link whose round trip the pieces wait for, one request at a time
// leaves the link idle for a round trip per piece: a second lane, a
// connection of its own with its own open of the file, reads every other
// piece meanwhile, so that two requests are in flight and up to
// kSmbReadAheadLanePieces pieces wait read or being read. Measured through
// a relay that holds each chunk 1 or 5 ms each way (2 and 10 ms round
// trips), 256 MiB read in pieces of 4 MiB by separate connections took 0.87
// and 1.52 s over one, 0.64 and 0.94 s over two, and no less over three or
// four; on loopback two were 10% slower than one. A lane's first logon and
// open take 12 requests one after the other with Samba's client library
// (150 to 200 ms at 10 ms); the first lane reads meanwhile, as its reads
// take only the lock of the context its file is open in (CSmbFileCall), not
// the one logons hold. No more lanes are started than the connections the
// run may keep to one server (Connections()): with 1, the stream's own is
// the only one.
inline constexpr uint32_t kSmbReadAheadLanes = 2;
inline constexpr size_t kSmbReadAheadLanePieces = 8;

// Over a link (see kSmbSlowRequestUs) the lanes start at once, before the
// first piece, and the first lane reads while they log on. Through the relay
// at 10 ms, 256 MiB took 1.42 s with the first lane waiting for the others'
// logons (when it could not read during them), 1.52 s with its reads and
// their logons taking turns, and 1.98 s when the lanes started only after
// the timed pieces; reading during them, 1.11 s against 1.22 s (medians of
// 7, and 1.02 against 1.04 s at 2 ms). Where only one lane may read (Connections() is 1), or the
// round trip is long (the request took kSmbLongRoundTrip times
// kSmbSlowRequestUs or more), pieces are kSmbReadAheadLinkPiece long, the
// most Samba answers in one request: half the round trips of pieces of 4
// MiB. At most kSmbReadAheadLinkPieces of them wait or are read with one
// lane (24 MiB), kSmbReadAheadLinkLanePieces with two (40 MiB). With two
// lanes, pieces of 8 MiB took 1.34 s against 1.41 s at 10 ms, but 1.38 s
// against 1.15 s at 2 ms: each buffer is new memory the first time, which
// cost 3 ms per MiB on the test machine, and a short round trip leaves
// little to gain. Two requests at once on one connection do not help: Samba
// then answers each with an interim reply first, and one read of 16 MiB
// (two requests of 8 MiB) took longer than two reads of 8 MiB one after the
// other.
inline constexpr size_t kSmbReadAheadLinkPiece = size_t{8} << 20;
inline constexpr size_t kSmbReadAheadLinkPieces = 3;
inline constexpr size_t kSmbReadAheadLinkLanePieces = 5;
inline constexpr int kSmbLongRoundTrip = 4;

// When a piece counts as slow: kSmbSlowPieceMs and kSmbTimedPiece, in
// SmbTimeout.h with the program's other timing settings; when the server
// counts as behind a link: kSmbSlowRequestUs, there too.

// The least length left to read ahead for which more lanes are started: each
// costs an open of the file (a round trip) and, the first time, a logon.
inline constexpr uint64_t kSmbLanesLeast = uint64_t{32} << 20;

// The limit of a reading ahead that has none.
inline constexpr uint64_t kSmbReadAheadNoLimit = UINT64_MAX;

// How a Take went: the bytes copied, then either nothing (all asked for were
// copied, or the reading ahead stopped at its limit after done bytes), the
// end of the file, or a failed read with its errno.
struct CSmbTaken {
  size_t done = 0;
  bool end = false;  // the file ended after done bytes
  int error = 0;     // 0, or the errno of the read that failed after done bytes
};

class CSmbReadAhead {
public:
  // Starts reading file, opened from url, from position, piece after piece,
  // on a thread of the process's pool (each read under a CSmbFileCall of
  // its own), up to limit at most: the last piece ends there, and nothing at or
  // past it is asked for (a file that ends before limit ends as ever). When
  // limit is set and at least kSmbLanesLeast away, the thread first asks the
  // server for the file's attributes and times the answer: one slower than
  // kSmbSlowRequestUs (twice running) tells a link, over which more lanes
  // start at once, and where there may be no more or the answer was very
  // slow the pieces are kSmbReadAheadLinkPiece long. Otherwise more lanes
  // start once the first pieces arrive slowly (kSmbSlowPieceMs). Each
  // further lane reads on a pool thread with a reader context of its own
  // (SmbContext.h) and an open of url in it; there are at most
  // kSmbReadAheadLanes, and no more than Connections(). Until Stop returns,
  // the file is used by these threads
  // alone: the caller makes no call on it, and calls Stop while holding no
  // CSmbCall (a thread may be waiting for the lock).
  CSmbReadAhead(SMBCFILE* file, std::string url, uint64_t position, uint64_t limit);

  // Stops as Stop does.
  ~CSmbReadAhead();

  CSmbReadAhead(const CSmbReadAhead&) = delete;
  CSmbReadAhead& operator=(const CSmbReadAhead&) = delete;

  // Copies the next count bytes of the file to out, waiting for them to
  // arrive. Returns count copied; or fewer, with end set, when the file
  // ended; or fewer, with error set, when a read failed after them (the
  // reading has stopped then, and every later Take gives the same); or
  // fewer, with neither set, when the reading stopped at its limit after
  // them.
  CSmbTaken Take(char* out, size_t count);

  // Returns the next count bytes of the file where they were read ahead,
  // waiting for them to arrive, and counts them as taken. They stay in place
  // until the next Take, Lend or Stop. Returns nullptr, with nothing taken,
  // when they do not lie in one piece read ahead (the file ended or a read
  // failed before their end, or they span two pieces): Take then gets them.
  const char* Lend(size_t count);

  // Stops reading ahead and waits for the reads in progress to end (at most
  // the SMB time limit). What was read ahead and not taken is discarded:
  // libsmbclient's position for the file is then unknown, so the caller
  // sets it where it needs it.
  void Stop();

private:
  struct CState;
  std::shared_ptr<CState> m_state;
};
