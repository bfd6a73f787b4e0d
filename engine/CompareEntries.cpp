// SPDX-License-Identifier: GPL-3.0-or-later
#include <string_view>

#include "engine/FileNode.h"
#include "engine/PathHelpers.h"

namespace {

// Returns the extension of name, from its last '.' on, or the empty text.
std::string_view Extension(std::string_view name) { return name.substr(FindLast(name, '.')); }

int Sign(int value) { return (value > 0) - (value < 0); }

}  // namespace

int CompareEntries(const CFileNode& a, const CFileNode& b) {
  const bool aFolder = a.IsFolder();
  const bool bFolder = b.IsFolder();
  if (aFolder && !bFolder) return -1;
  if (bFolder && !aFolder) return 1;
  // std::char_traits<char> compares bytes as unsigned values.
  if (int byExtension = Extension(a.m_data.name).compare(Extension(b.m_data.name))) return Sign(byExtension);
  return Sign(std::string_view(a.m_data.name).compare(b.m_data.name));
}
