// Checks on byte texts that the window shows as UTF-8.
#pragma once

#include <string_view>

// Returns true when text is well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Returns the largest length not above limit at which text can be cut
// without splitting a UTF-8 sequence.
size_t Utf8CutPosition(std::string_view text, size_t limit);
