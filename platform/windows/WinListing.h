// SPDX-License-Identifier: GPL-3.0-or-later
// Listings of the Windows backend: a folder through FindFirstFileExW, or
// one entry described.
#pragma once

#include <memory>
#include <string>

#include "platform/FileServices.h"

// Returns the search with its first entry in data, or nullptr with errno
// set: ENOENT for a missing folder or path (and for a name no Windows file
// can have), ENOTDIR for a folder pattern below a file, or the Win32
// error's errno.
std::unique_ptr<CFindHandle> FindFirstWin(const std::string& pattern, CFindData& data);
