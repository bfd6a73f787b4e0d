// SPDX-License-Identifier: GPL-3.0-or-later
// Command-line intake: the shell hands the program its arguments one by one
// (a file manager passes each chosen file or folder as one argument, as a
// path or, through the desktop entry, as a file:// or smb:// URL), and they
// become the initial Source text, so that the Source field's syntax gives
// back exactly those sources.
#pragma once

#include <string>
#include <vector>

#include "frontend/SourceAddress.h"

struct CCommandLineSources {
  std::string sourceText;                 // the initial Source text
  std::vector<CLeftOutArgument> leftOut;  // arguments that could not be written into it
};

// Builds the Source text from arguments (the program's own path not
// included): each argument's source (SourceOfArgument: a path as it is, a
// URL as the path it names) as its SourceToken (in double quotes unless it
// holds one), separated by one blank. An argument that SourceOfArgument
// leaves out, or whose source holds a double quote which neither quoting
// nor leaving it unquoted can carry, is left out and listed with the reason
// (a password masked).
CCommandLineSources TakeCommandLine(const std::vector<std::string>& arguments);
