#include "Utf8Text.h"

#include <cstdint>

namespace {

// Returns true for a byte that continues a UTF-8 sequence.
bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

bool IsValidUtf8(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    size_t length = 0;
    uint32_t code = 0;
    uint32_t smallest = 0;
    if (lead < 0x80) {
      ++pos;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, code = lead & 0x1Fu, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code = lead & 0x0Fu, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code = lead & 0x07u, smallest = 0x10000;
    } else {
      return false;
    }
    if (text.size() - pos < length) return false;
    for (size_t i = 1; i < length; ++i) {
      const auto c = static_cast<unsigned char>(text[pos + i]);
      if (!IsContinuation(c)) return false;
      code = (code << 6) | (c & 0x3Fu);
    }
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    pos += length;
  }
  return true;
}

size_t Utf8CutPosition(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text.size();
  size_t cut = limit;
  while (cut > 0 && IsContinuation(static_cast<unsigned char>(text[cut]))) --cut;
  return cut;
}
