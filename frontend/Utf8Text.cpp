// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/Utf8Text.h"

#include <cstdint>

namespace {

// Returns true for a byte that continues a UTF-8 sequence.
bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

size_t Utf8CutPosition(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text.size();
  size_t cut = limit;
  while (cut > 0 && IsContinuation(static_cast<unsigned char>(text[cut]))) --cut;
  return cut;
}
