// SPDX-License-Identifier: GPL-3.0-or-later
// Texts made safe to show on a terminal: bytes of file names must never be
// taken as the terminal's control sequences.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Clears the terminal's current row and puts the cursor at its start.
inline constexpr std::string_view kClearRow = "\r\033[K";

// Appends at most maxBytes bytes of text to out with every control
// character (below 0x20, and 0x7F) shown as '?'. Text is cut before a UTF-8
// continuation byte, never inside a character.
void AppendForTerminal(std::string& out, std::string_view text, size_t maxBytes = std::string_view::npos);

// Appends the sequence that sets the terminal's title to title.
void AppendTerminalTitle(std::string& out, std::string_view title);

// The sequences that save the terminal's title on its title stack and bring
// the saved one back; terminals without a title stack ignore them.
inline constexpr std::string_view kSaveTitle = "\033[22;0t";
inline constexpr std::string_view kRestoreTitle = "\033[23;0t";
