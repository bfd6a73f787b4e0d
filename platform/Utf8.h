// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8, the one reader of it: names and texts are UTF-8 inside the program,
// and whoever checks or decodes them does it here.
#pragma once

#include <cstddef>
#include <string_view>

// Returns the length of the valid UTF-8 sequence at the start of bytes
// (1 to 4), or 0 when bytes is empty or does not start with one: overlong
// forms, surrogates and code points above U+10FFFF are invalid.
size_t Utf8SequenceLength(std::string_view bytes);

// Returns true when text is well-formed UTF-8 (no stray continuation byte,
// no sequence cut short, no overlong form, no surrogate, nothing above
// U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Returns the code point of the UTF-8 sequence at text[at] (at below
// text.size()) and moves at past it, or returns U+FFFD, moves at past one
// byte and clears valid when no valid sequence starts there.
char32_t DecodeUtf8(std::string_view text, size_t& at, bool& valid);
