// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Utf8.h"

namespace {

// Returns true for a byte that continues a UTF-8 sequence.
bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

size_t Utf8SequenceLength(std::string_view bytes) {
  if (bytes.empty()) return 0;
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (lead < 0x80) return 1;
  size_t length = 0;
  // The range the second byte must lie in, which rules out overlong forms,
  // surrogates and code points beyond U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  const auto second = static_cast<unsigned char>(bytes[1]);
  if (second < low || second > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (!IsContinuation(static_cast<unsigned char>(bytes[i]))) return 0;
  return length;
}

bool IsValidUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8SequenceLength(text.substr(at));
    if (length == 0) return false;
    at += length;
  }
  return true;
}

char32_t DecodeUtf8(std::string_view text, size_t& at, bool& valid) {
  const size_t length = Utf8SequenceLength(text.substr(at));
  if (length == 0) {
    valid = false;
    ++at;
    return 0xFFFD;
  }
  const auto lead = static_cast<unsigned char>(text[at]);
  // The lead byte's own bits: all of them for ASCII, fewer the longer the
  // sequence.
  char32_t value = length == 1 ? lead : lead & (0x7Fu >> length);
  for (size_t i = 1; i < length; ++i)
    value = (value << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3Fu);
  at += length;
  return value;
}
