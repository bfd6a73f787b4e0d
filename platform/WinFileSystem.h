// The Windows backend of the file services: local paths (C:\data, relative
// paths) and UNC paths (\\server\share\...) over the wide-character Win32
// file API. Shares are reached through the system's own redirector.
#pragma once

#include <cstdint>

#include "FileServices.h"

// Returns the process-wide Windows backend, made on first use.
CFileSystem& WinFileSystem();

// Returns a listing record's attribute bits for the Win32 attributes
// attributes and, when they hold FILE_ATTRIBUTE_REPARSE_POINT, the reparse
// tag tag: kAttribSpecial for a reparse point that names another entry (a
// symbolic link to a file or a folder, a junction) or whose tag is unknown
// (0), so that a scan never descends through it into a loop, and for a
// device; kAttribSubdir for a folder; 0 for a file. A reparse point that
// stands for its own data (a cloud placeholder, a deduplicated file) is the
// file or folder it holds.
uint32_t AttribFromWin32(uint32_t attributes, uint32_t tag);
