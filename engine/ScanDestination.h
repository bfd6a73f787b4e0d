// SPDX-License-Identifier: GPL-3.0-or-later
// The scan's look at the destination: every file of a listed source tree
// classified (DestinationState.h) at the place a run would copy it to,
// without writing anything.
#pragma once

#include <cstdint>
#include <string>

#include "engine/FileNode.h"
#include "engine/ResultFlags.h"

class CMainForm;

// What the destination holds of one source, counted file by file.
struct CScanCounts {
  int64_t complete = 0;
  int64_t partial = 0;
  int64_t missing = 0;
  int64_t differing = 0;
  int64_t unchecked = 0;     // the comparison could not read the source
  uint64_t bytesToCopy = 0;  // what a run would read from the source
};

// Classifies the destination of the file node, listed at source, as the
// file of its name in destFolder, with the form's copy by parts settings
// when form says so (form may be null: whole files). Adds the verdict to
// counts, names a differing or unchecked destination in the log, counts the
// file in the progress display and updates it. Returns 0, or 2 when the
// comparison could not read the source.
ResultFlags ScanDestinationFile(const CFileNode& node, const std::string& source,
                                const std::string& destFolder, CMainForm* form, CScanCounts& counts);

// Walks the listed folder node, listed at source, as CopyFolder would copy
// it into destFolder (the folder recreated there under its own name) and
// classifies each file with ScanDestinationFile; stops when the run flag is
// cleared. Creates nothing. Returns the bitwise or of the files' results.
ResultFlags ScanDestinationFolder(const CFileNode& node, const std::string& source,
                                  const std::string& destFolder, CMainForm* form, CScanCounts& counts);
