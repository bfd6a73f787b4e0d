// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/smb/SmbErrors.h"

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "platform/Utf8.h"
#include "platform/smb/SmbCredentials.h"

namespace {

// Returns true when name holds a character that SMB names cannot hold.
bool HoldsForbiddenCharacter(std::string_view name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return true;
    if (std::string_view("\"*:<>?|").find(c) != std::string_view::npos) return true;
  }
  return false;
}

// Returns true when the server name resolves to an address here.
bool Resolves(const std::string& server) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(server.c_str(), nullptr, &hints, &found);
  if (found != nullptr) freeaddrinfo(found);
  return result == 0;
}

}  // namespace

bool SmbNameUnrepresentable(const CSmbLocation& location) {
  if (!IsValidUtf8(location.server) || !IsValidUtf8(location.user) || !IsValidUtf8(location.domain) ||
      !IsValidUtf8(location.share))
    return true;
  for (const std::string& name : location.components) {
    if (!IsValidUtf8(name)) return true;
  }
  return false;
}

int ShareErrno(const CSmbCall& call, const CSmbLocation& location, int err) {
  const bool newConnectionFailed = call.NewConnectionFailed();
  switch (err) {
    case EACCES:
    case EPERM:
      return newConnectionFailed ? EACCES : EPERM;
    case EINVAL:
    case EILSEQ: {
      // No name of a listing was refused when no connection came about.
      if (newConnectionFailed) {
        if (SmbCredentialsHaveUser() && !SmbCredentialsHavePassword()) return EACCES;
        return Resolves(location.server) ? EINVAL : EHOSTUNREACH;
      }
      const std::string_view last = location.components.empty() ? location.share : location.components.back();
      return err == EINVAL && HoldsForbiddenCharacter(last) ? EILSEQ : err;
    }
    default:
      return err;
  }
}
