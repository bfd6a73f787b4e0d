// SPDX-License-Identifier: GPL-3.0-or-later
// The command line as the shell hands it over: the program's own path
// (quoted when the shell starts it) followed by the arguments, which are
// the files and folders sent to the program or dropped on its icon.
#pragma once

#include <string_view>

// Returns what follows the program's own path in line, the blanks and tabs
// after the path skipped, unchanged otherwise (quotes included), so that the
// Source field's syntax reads the arguments back. A path that begins with a
// double quote runs to the next one (the whole line when it is never
// closed); an unquoted one runs to the first blank or tab.
std::wstring_view ArgumentsOfCommandLine(std::wstring_view line);
