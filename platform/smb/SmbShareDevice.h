// SPDX-License-Identifier: GPL-3.0-or-later
// Device numbers of SMB shares, for the identities of the files on them.
#pragma once

#include <cstdint>

#include "platform/smb/SmbPath.h"

// Returns the device number of the share location names: the same for every
// path on one share (server and share names compared regardless of ASCII
// case, no port and port 445 alike), a different one for every other share
// this process has met, and never one of a local file system: the high bytes
// spell "SMB". Numbers are handed out in the order shares are first met, so
// they hold for this process only. Returns 0 when location names no share.
uint64_t SmbShareDevice(const CSmbLocation& location);
