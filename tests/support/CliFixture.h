// SPDX-License-Identifier: GPL-3.0-or-later
// What the end-to-end tests of ferrox-cli share: a reader of the JSON
// lines of --json, the log file's form of a message, and the fixture that
// makes a small tree to copy.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/CliRunner.h"
#include "tests/support/TempDir.h"

namespace ferrox_test {

namespace fs = std::filesystem;

inline constexpr int64_t kOldTime = 981173045;  // 2001-02-03, far from any copy's own time

// A value of a flat JSON object: a string (as bytes), a number or a boolean.
struct CJsonValue {
  char kind = '?';  // 's', 'n' or 'b'
  std::string text;
  int64_t number = 0;
};

using CJsonObject = std::map<std::string, CJsonValue>;

// Appends code point code to out as UTF-8.
inline void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// A strict reader of the one-line flat objects that --json writes. Strings
// decode to bytes: the escapes \udc80 to \udcff give back the byte they
// stand for.
class CJsonReader {
public:
  explicit CJsonReader(const std::string& line) : m_text(line) {}

  // Returns true with the object in object when the whole line is one.
  bool ReadObject(CJsonObject& object) {
    if (!Take('{')) return false;
    for (bool first = true; !Take('}'); first = false) {
      if (!first && !Take(',')) return false;
      std::string key;
      if (!ReadString(key) || !Take(':')) return false;
      CJsonValue value;
      if (m_pos < m_text.size() && m_text[m_pos] == '"') {
        value.kind = 's';
        if (!ReadString(value.text)) return false;
      } else if (m_text.compare(m_pos, 4, "true") == 0 || m_text.compare(m_pos, 5, "false") == 0) {
        value.kind = 'b';
        value.number = m_text[m_pos] == 't';
        m_pos += value.number ? 4 : 5;
      } else {
        value.kind = 'n';
        const size_t start = m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == '-') ++m_pos;
        while (m_pos < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
        if (m_pos == start) return false;
        value.number = std::stoll(m_text.substr(start, m_pos - start));
      }
      object[key] = value;
    }
    return m_pos == m_text.size();
  }

private:
  // Returns true and steps over c when it comes next.
  bool Take(char c) {
    if (m_pos >= m_text.size() || m_text[m_pos] != c) return false;
    ++m_pos;
    return true;
  }

  // Returns true with the value of the next four hex digits in unit.
  bool ReadHex4(uint32_t& unit) {
    if (m_pos + 4 > m_text.size()) return false;
    const std::string digits = m_text.substr(m_pos, 4);
    for (const char c : digits)
      if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    unit = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
    m_pos += 4;
    return true;
  }

  // Returns true with the decoded bytes of the string that comes next
  // appended to out; false for a string JSON does not allow.
  bool ReadString(std::string& out) {
    if (!Take('"')) return false;
    while (m_pos < m_text.size() && m_text[m_pos] != '"') {
      const auto c = static_cast<unsigned char>(m_text[m_pos++]);
      if (c < 0x20) return false;  // control characters must be escaped
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (m_pos >= m_text.size()) return false;
      const char escape = m_text[m_pos++];
      const std::string simple = "\"\\/bfnrt";
      const std::string meaning = "\"\\/\b\f\n\r\t";
      if (const size_t at = simple.find(escape); at != std::string::npos) {
        out += meaning[at];
      } else if (escape == 'u') {
        uint32_t unit = 0;
        if (!ReadHex4(unit)) return false;
        if (unit >= 0xDC80 && unit <= 0xDCFF) {
          out += static_cast<char>(unit - 0xDC00);
        } else if (unit >= 0xD800 && unit <= 0xDBFF) {
          uint32_t low = 0;
          if (!Take('\\') || !Take('u') || !ReadHex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
          AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else {
          AppendUtf8(out, unit);
        }
      } else {
        return false;
      }
    }
    return Take('"');
  }

  const std::string& m_text;
  size_t m_pos = 0;
};

// Returns true when bytes are valid UTF-8.
inline bool IsValidUtf8(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const size_t length = lead < 0x80                    ? 1
                          : lead >= 0xC2 && lead <= 0xDF ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || i + length > bytes.size()) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

// Returns the JSON objects of output, one per line; fails the test for a
// line that is not one.
inline std::vector<CJsonObject> ParseJsonLines(const std::string& output) {
  std::vector<CJsonObject> objects;
  for (const std::string& line : SplitLines(output)) {
    CJsonObject object;
    EXPECT_TRUE(IsValidUtf8(line)) << line;
    EXPECT_TRUE(CJsonReader(line).ReadObject(object)) << line;
    objects.push_back(object);
  }
  return objects;
}

// Returns message written as the log file writes it.
inline std::string LogFileText(const std::string& message) {
  std::string text;
  for (const char c : message) {
    if (c == '\r')
      text += "\\r";
    else if (c == '\n')
      text += "\\n";
    else if (c == '\\')
      text += "\\\\";
    else
      text += c;
  }
  return text;
}

class CliTest : public ::testing::Test {
protected:
  // Makes src with sub/c.txt, a.dat and b.dat (copied in that order), each
  // with an old modification time, and an empty dst.
  void MakeTree() {
    fs::create_directories(dir / "src/sub");
    fs::create_directories(dir / "dst");
    files = {{"sub/c.txt", "third\n"}, {"a.dat", PatternBytes(200000, 1)}, {"b.dat", PatternBytes(5000, 2)}};
    for (const auto& [name, bytes] : files) {
      WriteFile(dir / ("src/" + name), bytes);
      SetModificationTime(dir / ("src/" + name), kOldTime);
    }
  }

  // Returns the CRC-32 of the tree's bytes in the order they are copied.
  uint32_t TreeCrc() const {
    std::string all;
    for (const auto& [name, bytes] : files) all += bytes;
    return Crc32(all);
  }

  CTempDir dir;
  std::vector<std::pair<std::string, std::string>> files;
};

}  // namespace ferrox_test
