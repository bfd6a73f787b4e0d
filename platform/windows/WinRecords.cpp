// SPDX-License-Identifier: GPL-3.0-or-later
// Listing records and times from what Win32 reports of an entry.
#include "platform/windows/WinRecords.h"

#include "platform/ErrnoGuard.h"

namespace {

// FILETIME ticks (100 ns since 1601) at the start of 1970, and per second.
constexpr int64_t kEpochTicks = 116444736000000000;
constexpr int64_t kTicksPerSecond = 10000000;

// Fills data's attributes, size and times from what the system reports of
// an entry (any of its records: all carry these fields under these names),
// the attributes already worked out as attrib; the identity is left unknown.
template <typename Record>
void FillCommon(uint32_t attrib, const Record& found, CFindData& data) {
  data.attrib = attrib;
  data.size = attrib == 0 ? Join(found.nFileSizeHigh, found.nFileSizeLow) : 0;
  data.time_create = SecondsFromFileTime(found.ftCreationTime);
  data.time_access = SecondsFromFileTime(found.ftLastAccessTime);
  data.time_write = SecondsFromFileTime(found.ftLastWriteTime);
  data.dev = 0;
  data.ino = 0;
}

}  // namespace

// Returns time as calendar seconds since 1970 (rounded down), or -1 when the
// file system keeps no such time (a zero FILETIME).
int64_t SecondsFromFileTime(const FILETIME& time) {
  const uint64_t ticks = (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
  if (ticks == 0) return -1;
  const int64_t since = static_cast<int64_t>(ticks) - kEpochTicks;
  int64_t seconds = since / kTicksPerSecond;
  if (since % kTicksPerSecond < 0) --seconds;
  return seconds;
}

// Stores in time the FILETIME of seconds since 1970 and returns true, or
// returns false when seconds falls before 1601 or beyond what FILETIME holds.
bool FileTimeFromSeconds(int64_t seconds, FILETIME& time) {
  constexpr int64_t kLowest = -kEpochTicks / kTicksPerSecond;
  constexpr int64_t kHighest = (INT64_MAX - kEpochTicks) / kTicksPerSecond;
  if (seconds < kLowest || seconds > kHighest) return false;
  const auto ticks = static_cast<uint64_t>(seconds * kTicksPerSecond + kEpochTicks);
  time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return true;
}

// Fills data (all but the name and the identity) from the listing record
// found.
void FillFromFind(const WIN32_FIND_DATAW& found, CFindData& data) {
  FillCommon(AttribFromWin32(found.dwFileAttributes, found.dwReserved0), found, data);
}

// Fills data (all but the name) from the attributes of an entry that was
// not opened; the identity is unknown.
void FillFromAttributes(const WIN32_FILE_ATTRIBUTE_DATA& found, CFindData& data) {
  // A reparse point's tag is unknown here: one that could not be opened (a
  // link leading nowhere) is special.
  FillCommon(AttribFromWin32(found.dwFileAttributes, 0), found, data);
}

// Fills data (all but the name) from the information of a handle opened
// through links: a reparse point that is left there stands for its own data.
void FillFromHandle(const BY_HANDLE_FILE_INFORMATION& info, CFindData& data) {
  FillCommon(AttribFromWin32(info.dwFileAttributes & ~DWORD{FILE_ATTRIBUTE_REPARSE_POINT}, 0), info, data);
  data.dev = info.dwVolumeSerialNumber;
  data.ino = Join(info.nFileIndexHigh, info.nFileIndexLow);
}

// Closes handle without changing errno.
void CloseQuietly(HANDLE handle) {
  CErrnoGuard guard;
  CloseHandle(handle);
}

uint32_t AttribFromWin32(uint32_t attributes, uint32_t tag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && (tag == 0 || IsReparseTagNameSurrogate(tag)))
    return kAttribSpecial;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return kAttribSpecial;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return kAttribSubdir;
  return 0;
}
