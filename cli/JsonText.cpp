#include "JsonText.h"

#include <cstdint>

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Appends the six-character escape \uXXXX of code unit.
void AppendUnicodeEscape(std::string& out, uint32_t unit) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 0xF];
}

// Returns true for a byte that continues a UTF-8 sequence.
bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

size_t ValidUtf8Length(std::string_view bytes) {
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

void AppendJsonString(std::string& out, std::string_view bytes) {
  out += '"';
  size_t pos = 0;
  while (pos < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[pos]);
    if (c >= 0x80) {
      const size_t length = ValidUtf8Length(bytes.substr(pos));
      if (length == 0) {
        AppendUnicodeEscape(out, 0xDC00u + c);
        ++pos;
      } else {
        out.append(bytes.substr(pos, length));
        pos += length;
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F)
          AppendUnicodeEscape(out, c);
        else
          out += static_cast<char>(c);
    }
    ++pos;
  }
  out += '"';
}
