// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/FormNumber.h"

#include <limits>

namespace {

// Returns true for the characters skipped around a number: blank and tab.
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Returns true for a decimal digit.
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Returns text with every "%1" replaced by first and every "%2" by second.
std::string ReplacePlaceholders(std::string_view text, const std::string& first, const std::string& second) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
      result += text[i + 1] == '1' ? first : second;
      ++i;
    } else {
      result += text[i];
    }
  }
  return result;
}

}  // namespace

bool ParseFormUnsigned(std::string_view text, uint32_t& value) {
  text = text.substr(0, kFormNumberMaxChars);
  size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  const bool startsWithZero = pos < text.size() && text[pos] == '0';
  if (pos < text.size() && text[pos] == '-') return false;
  if (pos < text.size() && text[pos] == '+') ++pos;

  constexpr uint64_t kLargest = std::numeric_limits<uint32_t>::max();
  uint64_t number = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    number = number * 10 + static_cast<uint64_t>(text[pos] - '0');
    if (number > kLargest) number = kLargest;
    ++pos;
  }
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  if (pos != text.size()) return false;
  if (number == 0 && !startsWithZero) return false;
  value = static_cast<uint32_t>(number);
  return true;
}

std::string FormatRangeMessage(uint32_t lo, uint32_t hi) {
  return ReplacePlaceholders(kMsgIntegerBetween, std::to_string(lo), std::to_string(hi));
}
