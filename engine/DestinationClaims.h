// The destination files a run has taken so far: each belongs to the one file
// copy that wrote it (or found it complete), so that another source of the
// same run landing on the same file is never appended to it or skipped as
// its copy.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "FileServices.h"

class CDestinationClaims {
public:
  // Takes the destination file for the copy numbered owner: by its identity
  // when id is known, by path otherwise. Returns true when the file was free
  // or already the owner's, false when another copy of this run took it.
  bool Claim(const CFileId& id, const std::string& path, uint64_t owner);

  // Forgets every destination.
  void Clear();

private:
  std::map<std::pair<uint64_t, uint64_t>, uint64_t> m_byId;
  std::map<std::string, uint64_t> m_byPath;
};
