// SPDX-License-Identifier: GPL-3.0-or-later
// Readings of a file on an SMB share over connections of their own.
#pragma once

#include <memory>
#include <string>

#include "platform/FileServices.h"

// Readings in flight together, each over a connection of its own (a
// reading waits for its reply, and one connection of libsmbclient's carries
// one request at a time), its worker waiting while the caller starts the
// next ones (CReadingsCaller::kWaits). Over a link each reading waits a
// round trip, so the readings of a sweep go as fast as there are
// connections; but a Samba server gives every connection a process of its
// own, and each connection's first logon and every open of a file in it are
// made one at a time under the process's lock, a few round trips each. For
// 64 MiB checked after copy through a relay of 10 ms round trip: 27.6 s with
// 8 readings (the caller reading one of them itself), 25.5 s with 8 and the
// caller waiting, 14.2 s with 32, 18.3 s with 64, where the logons outweigh
// what the readings gain.
inline constexpr uint32_t kSmbReadingsInFlight = 32;

// The default takes kSmbReadingsInFlight (Connections() is 32 unless the
// user sets it); a user who asks for more gets up to kMostSmbReadings, as
// many as the check keeps in flight at most (kReadingsInFlight). Over a
// longer file the logons weigh less: 256 MiB at 10 ms took 39.4 s with 32
// and 34.7 s with 64.
inline constexpr uint32_t kMostSmbReadings = 64;

// On loopback the readings are bound by the processors (a context switch or
// two on each side per reading), and more connections only cost: 64 MiB
// took 3.0 s with 8, 4.5 s with 32. So the readings of a file start with
// kSmbReadingsAtFirst connections and take all kSmbReadingsInFlight once
// kSlowReadingsInARow readings in a row each waited kSmbSlowReadingUs or
// longer, as over a link of a round trip of 2 ms or more.
inline constexpr uint32_t kSmbReadingsAtFirst = 8;
inline constexpr uint32_t kSmbSlowReadingUs = 2000;

// Returns readings of the file at url (libsmbclient's form), each reader
// thread with a context and an open of the file of its own, or nullptr
// where libsmbclient cannot be used by several threads at once.
std::unique_ptr<CReadQueue> OpenSmbReadings(const std::string& url);
