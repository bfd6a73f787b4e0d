#include "DestinationClaims.h"

bool CDestinationClaims::Claim(const CFileId& id, const std::string& path, uint64_t owner) {
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
