// SPDX-License-Identifier: GPL-3.0-or-later
// How many connections a run may open to one server for each of the ways
// it keeps requests in flight: the files fetched ahead of the copy (the
// copy's own connection and at most one less for the fetches), the pieces
// of a large file read ahead, and the check's readings. It is the user's
// setting (ferrox-cli --connections), kept by the program itself so that it
// can be set before the SMB module is loaded, which reads it.
//
// What a connection costs: on the server, a logon and a session (Samba runs
// a process of its own for each); here, for a file fetched ahead from a
// share, a helper process with a client library of its own
// (platform/smb/SmbHelperPool.h). More connections keep more requests in
// flight over a link with a long round trip; on loopback or a LAN few
// suffice.
#pragma once

#include <cstdint>

// The setting when none is given: the check's readings have gone over 32
// connections since they first went in flight together (kSmbReadingsInFlight),
// and the files fetched ahead take at most kFetchThreads (15) whatever the
// setting, enough to keep a link of 10 ms busy with small files.
inline constexpr uint32_t kDefaultConnections = 32;
// The most a user may set.
inline constexpr uint32_t kMostConnections = 64;

// Sets the number of connections a run may keep to one server (0 restores
// the default; above kMostConnections counts as kMostConnections). 1 means
// one file at a time and one request at a time: nothing in flight beside the
// copy's own reads.
void SetConnections(uint32_t count);

// Returns the setting in force, from 1 to kMostConnections.
uint32_t Connections();
