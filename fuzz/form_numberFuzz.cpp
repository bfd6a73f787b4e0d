// SPDX-License-Identifier: GPL-3.0-or-later
// The form's number rule on any field text, against a plain reading of its
// contract, and the range message for any pair of numbers.
#include <string>

#include "frontend/FormNumber.h"
#include "fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  uint32_t value = 12345;
  const bool taken = ParseFormUnsigned(text, value);

  // The contract: blanks and tabs, one optional '+', digits, blanks and tabs,
  // within the first 31 characters; 0 only as typed with a leading '0'.
  const std::string examined = text.substr(0, kFormNumberMaxChars);
  const size_t first = examined.find_first_not_of(" \t");
  const size_t last = examined.find_last_not_of(" \t");
  std::string digits = first == std::string::npos ? "" : examined.substr(first, last - first + 1);
  const bool plus = digits.starts_with('+');
  if (plus) digits.erase(0, 1);
  bool expected = !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
  uint64_t number = 0;
  for (const char c : digits)
    number = std::min<uint64_t>(number * 10 + static_cast<uint64_t>(c - '0'), 4294967295u);
  if (number == 0 && plus) expected = false;
  FUZZ_CHECK(taken == expected);
  FUZZ_CHECK(value == (taken ? number : 12345));

  if (size >= 8) {
    const uint32_t lo = static_cast<uint32_t>(data[0] | data[1] << 8 | data[2] << 16) * 257u;
    const uint32_t hi = static_cast<uint32_t>(data[4] | data[5] << 8 | data[6] << 16) * 257u;
    FUZZ_CHECK(FormatRangeMessage(lo, hi) ==
               "Please enter an integer between " + std::to_string(lo) + " and " + std::to_string(hi) + ".");
  }
  return 0;
}
