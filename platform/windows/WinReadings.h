// SPDX-License-Identifier: GPL-3.0-or-later
// Readings for check after copy on Windows: a second handle of the file
// opened without the system cache (FILE_FLAG_NO_BUFFERING), each reading a
// positional read of the whole sectors around its window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/FileServices.h"

// Readings in flight together. Not yet measured on Windows: a share that
// takes 1 ms per request answers about as many readings per millisecond as
// are in flight, and each costs a thread while it waits.
inline constexpr uint32_t kWinReadingsInFlight = 32;

// Returns readings of the file at widePath (a Win32Path) on up to
// kWinReadingsInFlight threads, or nullptr with errno set when it cannot be
// opened without buffering; readings then go through the stream.
std::unique_ptr<CReadQueue> OpenWinReadings(const std::wstring& widePath);
