#include "SmbErrors.h"

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "SmbCredentials.h"

namespace {

// Returns true when text is valid UTF-8: no stray continuation byte, no
// truncated sequence, no overlong form, no surrogate, nothing above
// U+10FFFF.
bool IsUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t length = 0;
    uint32_t value = 0;
    uint32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      value = lead & 0x1Fu;
      least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      value = lead & 0x0Fu;
      least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      value = lead & 0x07u;
      least = 0x10000;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3Fu);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

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
  if (!IsUtf8(location.server) || !IsUtf8(location.user) || !IsUtf8(location.domain) ||
      !IsUtf8(location.share))
    return true;
  for (const std::string& name : location.components) {
    if (!IsUtf8(name)) return true;
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
