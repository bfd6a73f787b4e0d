// SPDX-License-Identifier: GPL-3.0-or-later
// What the backends' searches share: the "*.*" pattern that lists a folder,
// the name a plain path is found under, and the search of a plain path.
#pragma once

#include <string>
#include <string_view>

#include "platform/FileServices.h"

// Returns true when the last component of pattern is exactly "*.*", and then
// stores in folder the folder before it ("." when the pattern has none).
// Any character of separators ends a component.
bool IsFolderPattern(const std::string& pattern, std::string& folder, std::string_view separators);

// Returns the last component of path without trailing separators (any
// character of separators): "/a/b/" gives "b", "/" gives "", and with '\\'
// among the separators "C:\a\b\" gives "b" and "C:\" gives "C:".
std::string LastComponent(const std::string& path, std::string_view separators);

// The search of a plain path: its one entry is returned by FindFirst.
class CSingleEntryHandle final : public CFindHandle {
public:
  // Returns false with errno ENOENT: there is no entry after the first.
  bool FindNext(CFindData& data) override;
};
