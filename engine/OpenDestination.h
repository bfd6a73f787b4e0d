// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the destination file of a pass so that no other file is ever
// written over: never the source itself, never a file another copy is
// writing, never a file another file copy of this run has taken.
#pragma once

#include <memory>
#include <string>

#include "engine/ResultFlags.h"
#include "platform/FileServices.h"

// Opens the destination file at path for a pass that copies from source,
// listed as listing. The file is created when missing (except for mode
// kUpdate, which opens an existing file for writes at positions) and is not
// emptied on opening. It is refused when it is the source itself (the same identity, or
// the same file ID from a file server with the source's length, time and
// first and last pages), when another copy holds its lock, or when a source
// file of this run other than owner has taken it; only then, for mode
// kWrite, is it emptied (see EmptyDestination). The lock is held until the
// stream closes. Returns the stream positioned at the file's end and claimed
// for owner, with source at its start, or nullptr after logging why (each
// refusal is a write failure for the file).
std::unique_ptr<CStream> OpenDestination(const std::string& path, OpenMode mode, CStream& source,
                                         const CFindData& listing, const std::string& owner);

// Empties the destination stream destination of path, opened by
// OpenDestination for a copy from source (listed as listing), and moves it
// to its end. A file that may be the source itself or a complete copy of it
// (see MayHoldTheSource) is never emptied. Returns 0, with source at its
// start, or 4 after logging why not.
ResultFlags EmptyDestination(CStream& destination, const std::string& path, CStream& source,
                             const CFindData& listing);

// Decides about a destination file that the already-exists test found at
// path, before anything is opened: listed is its listing record, source
// that of the file being copied. Returns 0 when the file is another file
// than the source and free for owner (it is then claimed for owner), or 4
// after logging why not.
ResultFlags ClaimListedDestination(const std::string& path, const CFindData& listed, const CFindData& source,
                                   const std::string& owner);
