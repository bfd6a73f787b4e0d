// SPDX-License-Identifier: GPL-3.0-or-later
// The entries of a source that the walk passed over because they failed on
// their own (a file that cannot be read or written, a folder that cannot be
// listed or made), each with its cause, so that the end of the source can
// say what a rerun cannot fix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CLeftOutEntry {
  std::string path;   // the entry as the log names it
  std::string cause;  // why, in the log's words
  bool folder = false;
};

// How many left-out entries the end of a source names; the rest are counted.
inline constexpr size_t kLeftOutNamed = 20;

// Records the cause of the failure the copy is about to report for the entry
// being copied; the walk files the entry under it. Worker only.
void NoteFailureCause(const std::string& cause);

// Records path, with cause, as left out of the current source. Worker only.
void NoteLeftOut(const std::string& path, const std::string& cause, bool folder);

// Records the file at path, whose copy ended with result (not 0), as left
// out under the cause its copy noted, unless the run was stopped, the
// source as a whole stopped answering (then nothing was left out on its
// own) or the user skipped it (result kResultSkipped, counted apart).
// Worker only.
void NoteFileLeftOut(const std::string& path, uint32_t result);

// Logs what the current source left out: a line with the counts, then up to
// kLeftOutNamed entries with their causes, then how many more there were.
// Logs nothing when nothing was left out.
void LogLeftOut();
