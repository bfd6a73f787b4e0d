// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/JsonText.h"

#include <cstdint>

#include "platform/Utf8.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Appends the six-character escape \uXXXX of code unit.
void AppendUnicodeEscape(std::string& out, uint32_t unit) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 0xF];
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view bytes) {
  out += '"';
  size_t pos = 0;
  while (pos < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[pos]);
    if (c >= 0x80) {
      const size_t length = Utf8SequenceLength(bytes.substr(pos));
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
