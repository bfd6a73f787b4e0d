// SPDX-License-Identifier: GPL-3.0-or-later
#include "win/CommandLineText.h"

std::wstring_view ArgumentsOfCommandLine(std::wstring_view line) {
  size_t at = 0;
  if (line.starts_with(L'"')) {
    const size_t close = line.find(L'"', 1);
    at = close == std::wstring_view::npos ? line.size() : close + 1;
  } else {
    at = line.find_first_of(L" \t");
    if (at == std::wstring_view::npos) at = line.size();
  }
  while (at < line.size() && (line[at] == L' ' || line[at] == L'\t')) ++at;
  return line.substr(at);
}
