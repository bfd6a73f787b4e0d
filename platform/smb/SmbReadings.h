// SPDX-License-Identifier: GPL-3.0-or-later
// Readings of a file on an SMB share over connections of their own.
#pragma once

#include <memory>
#include <string>

#include "platform/FileServices.h"

// Readings in flight together: each needs a connection of its own, and a
// Samba server gives every connection a process of its own, so a few are
// enough to fill the time of a link's round trip without loading the server.
inline constexpr uint32_t kSmbReadingsInFlight = 8;

// Returns readings of the file at url (libsmbclient's form), each reader
// thread with a context and an open of the file of its own, or nullptr
// where libsmbclient cannot be used by several threads at once.
std::unique_ptr<CReadQueue> OpenSmbReadings(const std::string& url);
