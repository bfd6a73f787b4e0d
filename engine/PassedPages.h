// SPDX-License-Identifier: GPL-3.0-or-later
// Pages of a copy that could not be read and were passed as zeros ("Pass
// unreadable"), and their record beside the copy: the file NAME.unreadable
// next to NAME, a plain text that a later run reads to fill what now
// reads. Its first line names the format and what the copy was made of:
//
//   ferrox-unreadable 1 SIZE MTIME HEADER PARTSTART
//
// (the source's size and modification time in seconds, and for a part file
// the header size and the source offset where the part begins, 0 0 for a
// whole file); then one line "OFFSET LENGTH" per run of zeroed bytes, in
// decimal, offsets in the destination file, in rising order. Lines end with
// "\n".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/DestinationCheck.h"
#include "engine/ResultFlags.h"
#include "platform/FileServices.h"

class CFileNode;

// Tries of one page before it is passed as zeros.
inline constexpr int kPageTries = 3;

// One run of zeroed bytes of a destination file.
struct CPassedRun {
  uint64_t offset = 0;
  uint64_t length = 0;
  bool operator==(const CPassedRun&) const = default;
};

// What a copy passed as zeros, with the identity of what it was copied from.
struct CPassedPages {
  uint64_t sourceSize = 0;
  int64_t sourceTime = 0;
  uint64_t header = 0;
  uint64_t partStart = 0;
  std::vector<CPassedRun> runs;

  // Adds the run [offset, offset + length), joined to the last run when it
  // follows it directly.
  void Add(uint64_t offset, uint64_t length);
  // Returns the number of bytes in all runs.
  uint64_t Bytes() const;
  // Returns true when the identity is that of the source listed as listing,
  // cut by layout.
  bool Describes(const CFindData& listing, const CCopyLayout& layout) const;
  // Sets the identity from listing and layout.
  void Identify(const CFindData& listing, const CCopyLayout& layout);
  // Returns the record's text.
  std::string Text() const;
  // Fills this from text; returns false (this unchanged) when text is no
  // record of this format.
  bool Parse(const std::string& text);
};

// Returns the path of the record of the destination file at destination.
std::string PassedRecordPath(const std::string& destination);

// What LoadPassedRecord found.
enum class CRecordFound {
  kNone,     // no file at the record's place
  kRecord,   // a record, now in pages
  kForeign,  // another file (or one that cannot be read) at the record's place
};

// Reads the record at path into pages. Changes nothing on disk.
CRecordFound LoadPassedRecord(const std::string& path, CPassedPages& pages);

// Writes pages to the record at path, or removes the record when pages has
// no runs. A file at path that is no record is never written over. Returns
// 0, or 4 after logging why not.
ResultFlags SavePassedRecord(const std::string& path, const CPassedPages& pages);

// How the tries at one page ended.
enum class CPageRead {
  kRead,        // the bytes are in the copy buffer
  kUnreadable,  // every try failed while the source opened
  kLost,        // the source no longer opens: nothing is known of the page
};

// Reads count bytes (at most one page) at position of the source file at
// path into the run's copy buffer through source, up to kPageTries tries,
// each failed one followed by a fresh open of the source (source replaced);
// with check after copy on, node's VerifyBlock settles each reading. got is
// set to the bytes read (fewer than count where the source ends).
CPageRead ReadPageWithTries(std::unique_ptr<CStream>& source, const std::string& path, CFileNode& node,
                            uint64_t position, uint32_t count, uint32_t& got);

// Returns the end of the page that holds the source offset position: the
// next multiple of kPageSize (PageRecord.h) after it, or limit when that comes first.
uint64_t PageEndAfter(uint64_t position, uint64_t limit);

// Reads again the pages of pages that lie inside the destination file at
// destination (copied from source, listed in node, cut by layout), writing
// each that now reads into its place in the file (opened kUpdate through
// OpenDestination for owner) and leaving the others in pages; runs beyond the
// destination's end are dropped (the copy reads them as usual). The record
// at recordPath is updated, or removed once no run is left. Logs what came
// back. Returns 0; 2 when the source cannot be opened or is lost meanwhile
// (the rest kept); 4 when the destination or the record cannot be written.
ResultFlags FillPassedPages(const std::string& source, const std::string& destination,
                            const std::string& recordPath, CFileNode& node, const std::string& owner,
                            const CCopyLayout& layout, CPassedPages& pages);

// Logs the end of a copy that holds passed pages: the file's line with the
// destination's length and the bytes passed as zeros, and records the cause
// for the end of the source; adds them to the source's count. Returns 2.
ResultFlags ReportPassedPages(const std::string& name, uint64_t length, const CPassedPages& pages);
