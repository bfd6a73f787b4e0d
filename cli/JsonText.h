// Texts of any bytes as JSON strings. Valid UTF-8 passes through; quotes,
// backslashes and control characters are escaped; every byte of an invalid
// UTF-8 sequence becomes the escape \udcXX (XX the byte's value in hex), so
// the original bytes can be recovered from the string.
#pragma once

#include <string>
#include <string_view>

// Appends bytes to out as a JSON string literal, quotes included.
void AppendJsonString(std::string& out, std::string_view bytes);

// Returns the length of the valid UTF-8 sequence at the start of bytes
// (1 to 4), or 0 when bytes is empty or does not start with one: overlong
// forms, surrogates and code points above U+10FFFF are invalid.
size_t ValidUtf8Length(std::string_view bytes);
