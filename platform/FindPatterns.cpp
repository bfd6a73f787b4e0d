// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FindPatterns.h"

#include <cerrno>

bool IsFolderPattern(const std::string& pattern, std::string& folder, std::string_view separators) {
  constexpr std::string_view kAll = "*.*";
  if (!std::string_view(pattern).ends_with(kAll)) return false;
  const size_t prefix = pattern.size() - kAll.size();
  if (prefix > 0 && separators.find(pattern[prefix - 1]) == std::string_view::npos) return false;
  folder = prefix == 0 ? std::string(".") : pattern.substr(0, prefix);
  return true;
}

std::string LastComponent(const std::string& path, std::string_view separators) {
  const size_t end = path.find_last_not_of(separators);
  if (end == std::string::npos) return std::string();
  const size_t slash = path.find_last_of(separators, end);
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(start, end + 1 - start);
}

bool CSingleEntryHandle::FindNext(CFindData& /*data*/) {
  errno = ENOENT;
  return false;
}
