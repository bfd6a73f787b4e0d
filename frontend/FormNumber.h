// SPDX-License-Identifier: GPL-3.0-or-later
// The form's rule for unsigned numbers typed into its edit fields, and the
// messages shown when a value is refused. Shared by every front end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr char kMsgPositiveInteger[] = "Please enter a positive integer.";
inline constexpr char kMsgIntegerBetween[] = "Please enter an integer between %1 and %2.";

// The range of a part number.
inline constexpr uint32_t kMinPartNumber = 1;
inline constexpr uint32_t kMaxPartNumber = 65535;

// The number of leading characters of a field that the rule examines.
inline constexpr size_t kFormNumberMaxChars = 31;

// Reads text as an unsigned decimal number and returns true with the number
// in value. Only the first 31 characters are examined. Blanks and tabs before
// and after the number are skipped and one plus sign may precede the digits;
// a number above 4294967295 is read as 4294967295. Returns false, leaving
// value unchanged, for a minus sign, for anything but blanks and tabs after
// the number, and for a result of 0 unless the first character after the
// leading blanks is the digit 0 (so an empty field and "+0" are refused).
bool ParseFormUnsigned(std::string_view text, uint32_t& value);

// Returns the range message with %1 replaced by lo and %2 by hi.
std::string FormatRangeMessage(uint32_t lo, uint32_t hi);
