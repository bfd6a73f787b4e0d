// SPDX-License-Identifier: GPL-3.0-or-later
// Telling whether a destination file is the copy of its source before the
// copy continues it, counts it complete or empties it. The copy stamps each
// destination with its source's modification time after every pass, so a
// destination with that time is taken as the copy without reading anything;
// any other destination is compared with the source where it matters: the
// stretch before its end before appending, a few pages before counting it
// complete, its first and last pages before emptying it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/FileServices.h"

// How a comparison came out.
enum class CMatch {
  kSame,                   // every byte compared is equal
  kDiffers,                // a byte differs, or one side ended before the other
  kSourceUnreadable,       // a read of the source failed (errno tells why)
  kDestinationUnreadable,  // the destination did not open or a read of it failed (errno)
};

// The longest stretch before a destination's end that is compared with the
// source before the copy appends to it: one read request on a share.
inline constexpr uint64_t kTailCheckBytes = 65536;
// The size of one page compared.
inline constexpr uint64_t kCheckPageBytes = 4096;

// Where the bytes of a destination file come from in its source: its first
// header bytes from the source's start, the rest from partStart on. A
// whole-file copy is the layout {0, 0}: every byte from the same offset.
struct CCopyLayout {
  uint64_t header = 0;
  uint64_t partStart = 0;

  // Returns the offset in the source of the destination's byte at offset.
  uint64_t SourceOffset(uint64_t offset) const {
    return offset < header ? offset : partStart + (offset - header);
  }
};

// Compares the destination file at path, which holds length bytes laid out
// as layout says, with source over the destination's last
// min(kTailCheckBytes, length) bytes; when that stretch does not reach into
// the header, the header's first page is compared as well. Returns kSame
// when length is 0. The source is left positioned at the offset the
// destination's end stands for, so that a copy goes on from there.
CMatch CompareTail(CStream& source, const std::string& path, uint64_t length, const CCopyLayout& layout);

// Compares the destination file at path with the first size bytes of
// source, where both are size bytes long: the first page, the page in the
// middle and the last page (the whole file when it is that short). Reads
// nothing ahead of the source that the copy would need afterwards: the
// source is only good for closing then.
CMatch CompareSamples(CStream& source, const std::string& path, uint64_t size);

// Returns true when the destination file at path, length bytes long and
// listed with writeTime, may be the source itself or a complete copy of it:
// its length and modification time equal the source's (listed as listing)
// and its first and last pages equal the source's, or cannot be read to
// show otherwise. Such a file is never emptied. The source's position is
// undefined afterwards.
bool MayHoldTheSource(CStream& source, const std::string& path, uint64_t length, int64_t writeTime,
                      const CFindData& listing);

// Returns true when the source, which ended early at length bytes, holds
// now exactly what its copy, the destination at path laid out as layout
// says, holds: the source's present end is where the copy's end stands for,
// and the copy's last page equals the source's. The source's position is
// undefined afterwards.
bool SourceEndsWithItsCopy(CStream& source, const std::string& path, uint64_t length,
                           const CCopyLayout& layout);

// Reports how the comparison of the destination at path with the source of
// the file called name came out (errno still telling why it failed).
// Returns 0 for kSame; 2 after logging the failed read of the source (the
// copy tries again in its next pass); 4 after logging why the destination
// is left alone.
uint32_t ReportMatch(CMatch match, const std::string& path, const std::string& name);

// Logs that the destination at path could not be read for a comparison,
// and why (error).
void LogUnreadableDestination(const std::string& path, int error);

// Logs that the destination at path is not this source's copy.
void LogForeignDestination(const std::string& path);
