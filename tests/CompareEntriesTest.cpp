// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/FileNode.h"

namespace {

std::vector<std::string> Sorted(const std::vector<std::pair<std::string, bool>>& entries) {
  std::vector<std::unique_ptr<CFileNode>> nodes;
  for (const auto& [name, folder] : entries) {
    CFindData data;
    data.name = name;
    data.attrib = folder ? kAttribSubdir : 0;
    nodes.push_back(std::make_unique<CFileNode>(data));
  }
  std::sort(nodes.begin(), nodes.end(),
            [](const auto& a, const auto& b) { return CompareEntries(*a, *b) < 0; });
  std::vector<std::string> names;
  for (const auto& node : nodes) names.push_back(node->m_data.name);
  return names;
}

TEST(CompareEntriesTest, FoldersFirstThenByExtensionThenByName) {
  EXPECT_EQ(Sorted({{"x.txt", false},
                    {"b", true},
                    {"Y.TXT", false},
                    {"a.z", true},
                    {"readme", false},
                    {"a.bat", false}}),
            (std::vector<std::string>{"b", "a.z", "readme", "Y.TXT", "a.bat", "x.txt"}));
}

TEST(CompareEntriesTest, TheLastDotStartsTheExtension) {
  EXPECT_EQ(Sorted({{"x.txt", false},
                    {"archive.tar.gz", false},
                    {"a.bat", false},
                    {"name.", false},
                    {"Y.TXT", false},
                    {"readme", false}}),
            (std::vector<std::string>{"readme", "name.", "Y.TXT", "a.bat", "archive.tar.gz", "x.txt"}));
}

TEST(CompareEntriesTest, BytesAboveAsciiSortAfterAsciiAndEqualNamesCompareEqual) {
  EXPECT_EQ(Sorted({{"\xc3\xa9t\xc3\xa9", false}, {"zeta", false}, {"Alpha", false}}),
            (std::vector<std::string>{"Alpha", "zeta", "\xc3\xa9t\xc3\xa9"}));
  CFindData data;
  data.name = "same.txt";
  CFileNode a(data), b(data);
  EXPECT_EQ(CompareEntries(a, b), 0);
}

}  // namespace
