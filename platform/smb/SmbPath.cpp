// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/smb/SmbPath.h"

#include <cerrno>
#include <cstddef>
#include <mutex>
#include <utility>

namespace {

constexpr std::string_view kScheme = "smb://";

}  // namespace

bool HasSmbScheme(std::string_view path) {
  if (path.size() < kScheme.size()) return false;
  for (size_t i = 0; i < kScheme.size(); ++i) {
    char c = path[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) return false;
  }
  return true;
}

namespace {

// Returns what follows the leading "smb://" or the two separators of the SMB
// path path (the server and everything after it).
std::string_view AfterPrefix(std::string_view path) {
  return HasSmbScheme(path) ? path.substr(kScheme.size()) : path.substr(2);
}

// The user part and the server part of an authority, "user@server:port".
struct CAuthority {
  std::string_view userinfo;  // before the last '@'; empty when there is none
  std::string_view hostport;  // after it
};

// Splits authority at its last '@' (a server name holds none, a user name
// may).
CAuthority SplitAuthority(std::string_view authority) {
  const size_t at = authority.rfind('@');
  if (at == std::string_view::npos) return {std::string_view(), authority};
  return {authority.substr(0, at), authority.substr(at + 1)};
}

// Returns the authority of the SMB path path: its text up to the first
// separator after the prefix.
std::string_view AuthorityOf(std::string_view path) {
  std::string_view rest = AfterPrefix(path);
  size_t end = 0;
  while (end < rest.size() && !IsSmbSeparator(rest[end])) ++end;
  return rest.substr(0, end);
}

// Returns true when c goes into a URL as it is.
bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

// Appends text to url, percent-encoding every byte that is not unreserved.
void AppendEncoded(std::string& url, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsUnreserved(c)) {
      url.push_back(ch);
    } else {
      url.push_back('%');
      url.push_back(kHex[c >> 4]);
      url.push_back(kHex[c & 0x0f]);
    }
  }
}

// Parses the decimal port text into port. Returns false unless it is a number
// from 1 to 65535.
bool ParsePort(std::string_view text, uint16_t& port) {
  if (text.empty() || text.size() > 5) return false;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

// Returns the value of the hexadecimal digit c, or -1.
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string PercentDecoded(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      bytes.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      bytes.push_back(text[i]);
    }
  }
  return bytes;
}

namespace {

// Returns text, decoded when decode is set.
std::string Taken(std::string_view text, bool decode) {
  return decode ? PercentDecoded(text) : std::string(text);
}

// Returns true when name, a name taken from an address, can name something
// on a share: no separator and no zero byte (which only an escape brings).
bool IsNameOnShare(std::string_view name) {
  return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

// The addresses of the run as written (SetWrittenSmbAddresses): their
// smb:// ones, without trailing separators.
std::mutex g_writtenLock;
std::vector<std::string> g_written;  // guarded by g_writtenLock
uint64_t g_writtenGeneration = 0;    // guarded by g_writtenLock

// Returns how many bytes at the start of path were written as a URL: the
// length of the longest written address that path begins with, up to a
// separator or its end; 0 when none.
size_t WrittenLength(std::string_view path) {
  std::lock_guard lock(g_writtenLock);
  size_t longest = 0;
  for (const std::string& address : g_written) {
    if (address.size() <= longest || !path.starts_with(address)) continue;
    if (path.size() == address.size() || IsSmbSeparator(path[address.size()])) longest = address.size();
  }
  return longest;
}

// Why an address cannot be taken, as ParseAddress finds.
enum class CAddressFault { kNone, kNotSmb, kPassword, kPort, kIpv6, kName };

// Splits the SMB path path into location as ParseSmbPath describes, the
// escapes of its first written bytes decoded: the server, user and domain
// when written > 0, each component that ends within them. Returns what
// makes the path unusable (location then emptied), or kNone.
CAddressFault ParseAddress(std::string_view path, size_t written, CSmbLocation& location) {
  location = CSmbLocation();
  if (!IsSmbPath(path)) return CAddressFault::kNotSmb;
  if (SmbPathHasPassword(path)) return CAddressFault::kPassword;
  const bool decodeAuthority = written > 0;
  const std::string_view authority = AuthorityOf(path);
  const CAuthority parts = SplitAuthority(authority);

  std::string_view user = parts.userinfo;
  const size_t semicolon = user.find(';');
  if (semicolon != std::string_view::npos) {
    location.domain = Taken(user.substr(0, semicolon), decodeAuthority);
    user.remove_prefix(semicolon + 1);
  }
  location.user = Taken(user, decodeAuthority);

  std::string_view host = parts.hostport;
  const size_t colon = host.rfind(':');
  if (colon != std::string_view::npos) {
    if (!ParsePort(host.substr(colon + 1), location.port)) {
      location = CSmbLocation();
      return CAddressFault::kPort;
    }
    host = host.substr(0, colon);
  }
  location.server = Taken(host, decodeAuthority);
  // A colon left is an IPv6 address, which libsmbclient's URLs cannot carry.
  if (location.server.find(':') != std::string::npos) {
    location = CSmbLocation();
    return CAddressFault::kIpv6;
  }
  if (!IsNameOnShare(location.server) || !IsNameOnShare(location.domain) ||
      location.user.find('\0') != std::string::npos) {
    location = CSmbLocation();
    return CAddressFault::kName;
  }

  // The share and the names below it, separated by any run of separators.
  const size_t restStart = path.size() - AfterPrefix(path).size() + authority.size();
  size_t start = restStart;
  bool first = true;
  while (start < path.size()) {
    while (start < path.size() && IsSmbSeparator(path[start])) ++start;
    size_t end = start;
    while (end < path.size() && !IsSmbSeparator(path[end])) ++end;
    if (end > start) {
      std::string name = Taken(path.substr(start, end - start), end <= written);
      if (!IsNameOnShare(name)) {
        location = CSmbLocation();
        return CAddressFault::kName;
      }
      if (first) {
        location.share = std::move(name);
        location.shareBegin = start;
        location.shareEnd = end;
      } else {
        location.components.push_back(std::move(name));
      }
      first = false;
    }
    start = end;
  }
  return CAddressFault::kNone;
}

}  // namespace

bool IsSmbPath(std::string_view path) {
  if (HasSmbScheme(path)) return true;
  return path.size() > 2 && IsSmbSeparator(path[0]) && IsSmbSeparator(path[1]) && !IsSmbSeparator(path[2]);
}

bool SmbPathHasPassword(std::string_view path) {
  if (!IsSmbPath(path)) return false;
  const std::string_view userinfo = SplitAuthority(AuthorityOf(path)).userinfo;
  if (userinfo.find(':') != std::string_view::npos) return true;
  // A URL may carry the colon escaped.
  return HasSmbScheme(path) && PercentDecoded(userinfo).find(':') != std::string::npos;
}

void SetWrittenSmbAddresses(const std::vector<std::string>& addresses) {
  std::vector<std::string> written;
  for (const std::string& address : addresses) {
    if (!HasSmbScheme(address)) continue;
    std::string trimmed = address;
    while (trimmed.size() > kScheme.size() && IsSmbSeparator(trimmed.back())) trimmed.pop_back();
    if (trimmed.size() > kScheme.size()) written.push_back(std::move(trimmed));
  }
  std::lock_guard lock(g_writtenLock);
  g_written = std::move(written);
  ++g_writtenGeneration;
}

uint64_t WrittenSmbAddressesGeneration() {
  std::lock_guard lock(g_writtenLock);
  return g_writtenGeneration;
}

std::vector<std::string> WrittenSmbAddresses(uint64_t& generation) {
  std::lock_guard lock(g_writtenLock);
  generation = g_writtenGeneration;
  return g_written;
}

const char* SmbAddressFault(std::string_view address) {
  CSmbLocation location;
  switch (ParseAddress(address, HasSmbScheme(address) ? address.size() : 0, location)) {
    case CAddressFault::kNone:
    case CAddressFault::kNotSmb:
      return nullptr;
    case CAddressFault::kPassword:
      return "a password in a share address is refused";
    case CAddressFault::kPort:
      return "the port is not a number from 1 to 65535";
    case CAddressFault::kIpv6:
      return "an IPv6 address cannot be reached (give the server's name)";
    case CAddressFault::kName:
      return "an escape gives a separator or a zero byte, which no name on a share can hold";
  }
  return nullptr;
}

bool ParseSmbPath(std::string_view path, CSmbLocation& location) {
  const size_t written = HasSmbScheme(path) ? WrittenLength(path) : 0;
  if (ParseAddress(path, written, location) != CAddressFault::kNone) {
    errno = EINVAL;
    return false;
  }
  return true;
}

std::string SmbUrl(const CSmbLocation& location) {
  std::string url(kScheme);
  if (!location.user.empty()) {
    if (!location.domain.empty()) {
      AppendEncoded(url, location.domain);
      url.push_back(';');
    }
    AppendEncoded(url, location.user);
    url.push_back('@');
  }
  AppendEncoded(url, location.server);
  if (location.port != 0) {
    url.push_back(':');
    url += std::to_string(location.port);
  }
  if (!location.share.empty()) {
    url.push_back('/');
    AppendEncoded(url, location.share);
    for (const std::string& name : location.components) {
      url.push_back('/');
      AppendEncoded(url, name);
    }
  }
  return url;
}

bool SmbUrlFromPath(std::string_view path, std::string& url) {
  CSmbLocation location;
  if (!ParseSmbPath(path, location)) return false;
  url = SmbUrl(location);
  return true;
}
