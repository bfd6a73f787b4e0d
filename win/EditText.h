// SPDX-License-Identifier: GPL-3.0-or-later
// Texts as a Win32 edit box holds them: UTF-16, lines ending in CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The most characters the log box holds (its EM_LIMITTEXT): as many as a
// multi-line edit box can, so that the log is never cut.
inline constexpr size_t kLogBoxCharLimit = 0x7FFFFFFE;

// Returns utf8 as the text of a multi-line edit box: UTF-16, every line
// feed that has no carriage return before it given one and every carriage
// return without a line feed after it dropped (the box would show either as
// a stray mark), cut to at most limit characters without splitting a
// surrogate pair.
std::wstring EditBoxText(std::string_view utf8, size_t limit = kLogBoxCharLimit);

// Returns the number of leading characters a and b share, never ending
// between the two halves of a surrogate pair or between a CR and its LF.
size_t CommonPrefixLength(std::wstring_view a, std::wstring_view b);

// Returns the index of the first character after the first lines lines of
// text (each ended by a line feed), or std::wstring_view::npos when text
// holds fewer.
size_t LineStartAfter(std::wstring_view text, uint64_t lines);
