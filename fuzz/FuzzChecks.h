// SPDX-License-Identifier: GPL-3.0-or-later
// What the fuzz targets share: a check that stops the run, an input cut
// into texts, and the password a share path carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/smb/SmbPath.h"

// Stops the run with the failed condition named, so that libFuzzer keeps the
// input that broke it.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)

// Returns the texts of data between its zero bytes (one text when it holds
// none).
inline std::vector<std::string> SplitAtZeros(const uint8_t* data, size_t size) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      parts.emplace_back();
    else
      parts.back() += static_cast<char>(data[i]);
  }
  return parts;
}

// Returns true when text, as the log may show it, reveals no password: it
// is no share path that carries one (after the first ':' of the user part,
// which ends at the last '@' before the first separator), or only the mask.
inline bool ShowsNoPassword(std::string_view text) {
  if (!SmbPathHasPassword(text)) return true;
  std::string_view authority = text.substr(text[0] == '/' || text[0] == '\\' ? 2 : 6);
  authority = authority.substr(0, authority.find_first_of("/\\"));
  const std::string_view user = authority.substr(0, authority.rfind('@'));
  return user.substr(user.find(':') + 1) == "***";
}
