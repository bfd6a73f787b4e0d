// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in help text the log shows when the window opens.
#pragma once

#include <string>

// Returns the help text in English, every line ending in "\r\n", the last
// one included: a banner with the build date, then the sections
// Capabilities, Shortcomings, Use, Parameters, Copying by parts, Notes and
// Thanks.
const std::string& WindowHelpText();
