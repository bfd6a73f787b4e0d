// SPDX-License-Identifier: GPL-3.0-or-later
// The time limit of every request to an SMB server. It is the program's
// setting, kept by the program itself (not by the SMB module, which is
// loaded only when a share path is first used, see platform/SmbModule.h):
// it can be set before the module is there, and the module reads it.
#pragma once

#include <cstdint>

// The time limit of a request when none is set, in milliseconds.
inline constexpr uint32_t kSmbDefaultTimeoutMs = 10000;

// Sets the time limit of each request to an SMB server, in milliseconds (0
// restores the default). A request that gets no answer in time fails with
// ETIMEDOUT. It applies to connections made from then on: idle cached
// connections are dropped at the next SMB call. Opening a TCP connection to
// a server that does not answer at all is bounded by libsmbclient itself
// (about 5 seconds, whatever the limit).
void SetSmbTimeoutMs(uint32_t ms);

// Returns the time limit in force, in milliseconds.
uint32_t SmbTimeoutMs();

// A piece of kSmbReadAheadPiece that takes longer than this to arrive tells
// a link slower than loopback: the quicker of the first lane's pieces
// kSmbTimedPiece and the one after it decides whether more lanes are
// started. The pieces before them are left out: the first two of a new
// connection took 35 to 120 ms here whatever the link, the later ones 2 to
// 9 ms on loopback, 5 to 15 ms at a round trip of 2 ms and 12 to 27 ms at
// 10 ms.
inline constexpr uint32_t kSmbSlowPieceMs = 10;
inline constexpr uint64_t kSmbTimedPiece = 4;

// Sets the time above which a piece counts as slow (kSmbSlowPieceMs when ms
// is UINT32_MAX); 0 makes every timed piece slow, so that a test on
// loopback reads with more lanes.
void SetSmbSlowPieceMs(uint32_t ms);

// Returns the time above which a piece read ahead counts as slow.
uint32_t SmbSlowPieceMs();

// A request for a file's attributes answered more slowly than this tells a
// server behind a link rather than on the same host or a fast LAN: the
// reading ahead of a long file (SmbReadAhead.h) then starts its lanes at
// once. On loopback such a request took 0.3 to 1 ms here while other builds
// ran, through a relay of 1 ms each way 3 ms, of 5 ms 11 to 14 ms; the
// request is asked again when the first answer was slow, so that a busy
// processor alone does not count as a link.
inline constexpr uint32_t kSmbSlowRequestUs = 1500;

// Sets the time above which a request counts as slow (kSmbSlowRequestUs
// when us is UINT32_MAX); 0 makes every such request slow, so that a test
// on loopback reads as over a link.
void SetSmbSlowRequestUs(uint32_t us);

// Returns the time above which a request for a file's attributes counts as
// slow, in microseconds.
uint32_t SmbSlowRequestUs();
