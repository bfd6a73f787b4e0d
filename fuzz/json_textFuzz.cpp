// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON text writer on any bytes: the output is one JSON string in valid
// UTF-8, decoding it gives back the bytes, and the writer's UTF-8 rule agrees
// with the window's.
#include <string>
#include <string_view>

#include "cli/JsonText.h"
#include "frontend/Utf8Text.h"
#include "fuzz/FuzzChecks.h"

namespace {

// Returns the value of the hexadecimal digit c, or -1.
int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Decodes json, which must be exactly one JSON string, into bytes: \udc80
// to \udcff stand for the byte of their low half, \u0000 to \u007f and the
// short escapes for their character. Returns false for text that is no JSON
// string, and for escapes of other characters (valid JSON, but nothing the
// writer writes).
bool DecodeJsonString(std::string_view json, std::string& bytes) {
  if (json.size() < 2 || json.front() != '"' || json.back() != '"') return false;
  constexpr std::string_view kShort = "\"\\/bfnrt";
  const size_t end = json.size() - 1;
  for (size_t i = 1; i < end; ++i) {
    const auto c = static_cast<unsigned char>(json[i]);
    if (c == '"' || c < 0x20) return false;
    if (c != '\\') {
      bytes += static_cast<char>(c);
    } else if (i + 1 < end && kShort.find(json[i + 1]) != std::string_view::npos) {
      bytes += "\"\\/\b\f\n\r\t"[kShort.find(json[++i])];
    } else {
      if (i + 5 >= end || json[i + 1] != 'u') return false;
      int unit = 0;
      for (size_t k = i + 2; k < i + 6; ++k) unit = Hex(json[k]) < 0 ? 0x10000 : unit * 16 + Hex(json[k]);
      if (unit >= 0x80 && (unit < 0xDC80 || unit > 0xDCFF)) return false;
      bytes += static_cast<char>(unit & 0xFF);
      i += 5;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string json;
  AppendJsonString(json, bytes);
  std::string decoded;
  FUZZ_CHECK(IsValidUtf8(json) && DecodeJsonString(json, decoded) && decoded == bytes);

  size_t length = 1;  // of the UTF-8 sequence that bytes begin with
  while (length <= 4 && !IsValidUtf8(bytes.substr(0, length))) ++length;
  if (size > 0) FUZZ_CHECK(Utf8SequenceLength(bytes) == (length <= 4 ? length : 0));
  return 0;
}
