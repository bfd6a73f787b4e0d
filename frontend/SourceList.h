// SPDX-License-Identifier: GPL-3.0-or-later
// The Source field's syntax: blank-separated tokens (the character 0x20
// only; a tab is an ordinary character), double-quoted paths, and share
// paths whose server and share names may contain blanks, in each of their
// three forms: "smb://server/share/...", "//server/share/..." and
// "\\server\share\..." (on a share '/' and '\' both separate names). There
// is no limit on the length of the text or on the number of sources.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits text into its sources, in order. A token that begins with a double
// quote runs to the next double quote (consumed) or to the end, without the
// quotes, and may be empty. One that begins with "smb://" (the scheme in any
// case) or with two separators ('/' or '\', in any mix) is a share path:
// after that opening it takes the next character and everything up to the
// next separator as the server part, then that separator and everything up
// to the next separator as the share part, then everything up to the next
// blank. Any other token runs to the next blank. A token directly after a
// closing quote needs no blank before it.
std::vector<std::string> SplitSourceText(std::string_view text);

// Echoes logText through the log channel with "%s", then splits sourceText
// into sources and writes each source to the log with "%s\r\n". A source
// whose share address carries a password is left out of sources and named
// in the log with the password masked, so that it reaches neither the log
// nor the engine.
void ParseSourceList(const std::string& logText, std::string_view sourceText,
                     std::vector<std::string>& sources);
