// SPDX-License-Identifier: GPL-3.0-or-later
// Readings of a local file that bypass the page cache.
#pragma once

#include <memory>

#include "platform/FileServices.h"

// Returns readings of the file open as fd that read with O_DIRECT from a new
// open of the same file, on up to kPosixReadingsInFlight threads, or nullptr
// when the file system takes no direct reads (tmpfs, for one).
std::unique_ptr<CReadQueue> OpenPosixReadings(int fd);

// Readings in flight together. The benchmark's virtio disk still answered
// more small direct reads per second at 64 in flight than at 32 (75,000
// against 68,000), and a source that takes 1 ms per request answers about
// as many readings per millisecond as are in flight; beyond 64 the threads
// cost more than the disks we met gave back.
inline constexpr uint32_t kPosixReadingsInFlight = 64;
