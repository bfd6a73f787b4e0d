// SPDX-License-Identifier: GPL-3.0-or-later
// The destination files a run has taken so far: each belongs to the source
// file that was copied into it (or found complete there), so that another
// file of the same run landing on the same destination is never appended to
// it or skipped as its copy. The same source given twice is the same owner.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "platform/FileServices.h"

class CDestinationClaims {
public:
  // Takes the destination file for the source file owner (see OwnerOf): by
  // its identity when id is known, by path otherwise. Returns true when the
  // file was free or already the owner's, false when another source file of
  // this run took it.
  bool Claim(const CFileId& id, const std::string& path, const std::string& owner);

  // Returns the owner key of the source file listed as source at path: its
  // identity when the listing knows it, its path otherwise.
  static std::string OwnerOf(const CFindData& source, const std::string& path);

  // Forgets every destination.
  void Clear();

private:
  std::map<std::pair<uint64_t, uint64_t>, std::string> m_byId;
  std::map<std::string, std::string> m_byPath;
};
