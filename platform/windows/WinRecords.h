// SPDX-License-Identifier: GPL-3.0-or-later
// What the Windows backend's streams and listings share: the records the
// system keeps of an entry turned into listing records, and FILETIME in
// calendar seconds.
#pragma once

#include <cstdint>

#include "platform/FileServices.h"
#include "platform/windows/WindowsApi.h"

// Returns time as calendar seconds since 1970 (rounded down), or -1 when the
// file system keeps no such time (a zero FILETIME).
int64_t SecondsFromFileTime(const FILETIME& time);

// Stores in time the FILETIME of seconds since 1970 and returns true, or
// returns false when seconds falls before 1601 or beyond what FILETIME holds.
bool FileTimeFromSeconds(int64_t seconds, FILETIME& time);

// Returns the 64-bit value of the high and low halves.
inline uint64_t Join(DWORD high, DWORD low) { return (uint64_t{high} << 32) | low; }

// Fill data (all but the name) from the listing record found, from the
// attributes of an entry that was not opened, and from the information of a
// handle opened through links (which alone gives the identity).
void FillFromFind(const WIN32_FIND_DATAW& found, CFindData& data);
void FillFromAttributes(const WIN32_FILE_ATTRIBUTE_DATA& found, CFindData& data);
void FillFromHandle(const BY_HANDLE_FILE_INFORMATION& info, CFindData& data);

// Closes handle without changing errno.
void CloseQuietly(HANDLE handle);

// Returns a listing record's attribute bits for the Win32 attributes
// attributes and, when they hold FILE_ATTRIBUTE_REPARSE_POINT, the reparse
// tag tag: kAttribSpecial for a reparse point that names another entry (a
// symbolic link to a file or a folder, a junction) or whose tag is unknown
// (0), so that a scan never descends through it into a loop, and for a
// device; kAttribSubdir for a folder; 0 for a file. A reparse point that
// stands for its own data (a cloud placeholder, a deduplicated file) is the
// file or folder it holds.
uint32_t AttribFromWin32(uint32_t attributes, uint32_t tag);
