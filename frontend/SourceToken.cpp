// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/SourceToken.h"

#include "frontend/SourceList.h"

namespace {

// Returns true when candidate, followed by a blank and another token, reads
// back as path and that token.
bool ReadsBackAs(const std::string& candidate, std::string_view path) {
  const std::vector<std::string> sources = SplitSourceText(candidate + " x");
  return sources.size() == 2 && sources[0] == path && sources[1] == "x";
}

}  // namespace

std::optional<std::string> SourceToken(std::string_view path) {
  std::string quoted = "\"";
  quoted.append(path).append("\"");
  if (ReadsBackAs(quoted, path)) return quoted;
  std::string plain(path);
  if (ReadsBackAs(plain, path)) return plain;
  return std::nullopt;
}

CSourceText BuildSourceText(const std::vector<std::string>& paths) {
  CSourceText result;
  for (const std::string& path : paths) {
    if (std::optional<std::string> token = SourceToken(path))
      result.text += *token + " ";
    else
      result.leftOut.push_back(path);
  }
  return result;
}

std::string CombineSourceText(const std::string& source, const std::string& added, bool append) {
  return append ? source + " " + added : added;
}
