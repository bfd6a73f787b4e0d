// SPDX-License-Identifier: GPL-3.0-or-later
// How many connections a run may keep to one server at once: the copy's
// own, the files fetched ahead of it, the pieces of a large file read ahead
// on further connections and the check's readings. It is the user's
// setting (ferrox-cli --connections), kept by the program itself so that it
// can be set before the SMB module is loaded, which reads it.
//
// What a connection costs: on a share, a logon and a session on the server
// (Samba runs a process of its own for each); here, over SMB, a helper
// process with its own client library (platform/smb/SmbHelperPool.h). More
// connections keep more requests in flight over a link with a long round
// trip; on loopback or a LAN few suffice.
#pragma once

#include <cstdint>

// The setting when none is given: enough to keep a link of 10 ms busy with
// small files and checked pages, few enough for a NAS with little memory.
inline constexpr uint32_t kDefaultConnections = 16;
// The most a user may set.
inline constexpr uint32_t kMostConnections = 64;

// Sets the number of connections a run may keep to one server (0 restores
// the default; above kMostConnections counts as kMostConnections). 1 means
// one file at a time and one request at a time: nothing in flight beside the
// copy's own reads.
void SetConnections(uint32_t count);

// Returns the setting in force, from 1 to kMostConnections.
uint32_t Connections();
