// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/DestinationClaims.h"

bool CDestinationClaims::Claim(const CFileId& id, const std::string& path, const std::string& owner) {
  if (id.Known()) {
    const auto [entry, inserted] = m_byId.try_emplace({id.dev, id.ino}, owner);
    return inserted || entry->second == owner;
  }
  const auto [entry, inserted] = m_byPath.try_emplace(path, owner);
  return inserted || entry->second == owner;
}

void CDestinationClaims::Clear() {
  m_byId.clear();
  m_byPath.clear();
}

std::string CDestinationClaims::OwnerOf(const CFindData& source, const std::string& path) {
  if (source.dev == 0 && source.ino == 0) return "path " + path;
  return "file " + std::to_string(source.dev) + ":" + std::to_string(source.ino);
}
