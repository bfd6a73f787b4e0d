// SPDX-License-Identifier: GPL-3.0-or-later
// The texts ferrox-cli prints for --help and --version.
#pragma once

inline constexpr char kVersionText[] = "Ferrox Version 1.0";

// Returns the whole --help text, ending with a line feed.
const char* HelpText();
