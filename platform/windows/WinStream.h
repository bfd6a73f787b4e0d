// SPDX-License-Identifier: GPL-3.0-or-later
// Streams of the Windows backend: regular files over Win32 handles.
#pragma once

#include <memory>
#include <string>

#include "platform/FileServices.h"

// Returns the open stream, or nullptr with errno set: the Win32 error's
// errno (ENOENT for a missing file or folder on its path), or EINVAL when
// path is not a regular file (a folder, a device). kWrite empties the file
// only after it is known to be a regular file. Every open shares reading,
// writing and deleting with other opens: exclusion between copies is
// LockExclusive's.
std::unique_ptr<CStream> OpenWinStream(const std::string& path, OpenMode mode);
