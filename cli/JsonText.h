// SPDX-License-Identifier: GPL-3.0-or-later
// Texts of any bytes as JSON strings. Valid UTF-8 passes through; quotes,
// backslashes and control characters are escaped; every byte of an invalid
// UTF-8 sequence becomes the escape \udcXX (XX the byte's value in hex), so
// the original bytes can be recovered from the string.
#pragma once

#include <string>
#include <string_view>

// Appends bytes to out as a JSON string literal, quotes included.
void AppendJsonString(std::string& out, std::string_view bytes);
