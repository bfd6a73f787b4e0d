// SPDX-License-Identifier: GPL-3.0-or-later
// What the selection commands of every window do to the Source text once
// the user chose something (a folder, files, a drop): the chosen paths
// quoted into the text, the ones the field cannot hold named in the log.
#pragma once

#include <string>
#include <vector>

#include "frontend/SourceAddress.h"

// Writes to the log, for each of paths, the line that names it as left out
// of Source (what it was: "folder", "file", "dropped item") with reason.
void LogLeftOutOfSource(const char* what, const std::vector<std::string>& paths,
                        const char* reason = kReasonQuote);

// Returns true with source set to the text that holds folder, quoted: after
// fieldText (what the field holds now) when append is set, in its place
// otherwise. Returns false, source unchanged, after naming the folder in the
// log when the field cannot hold it.
bool PutSourceFolder(const std::string& folder, bool append, const std::string& fieldText,
                     std::string& source);

// Returns true with paths, quoted, added to source (after it when append is
// set, in its place otherwise); each path the field cannot hold is named in
// the log as what. Returns false, source unchanged, when none could be
// added.
bool AddSourcePaths(const std::vector<std::string>& paths, const char* what, bool append,
                    std::string& source);
