#include "SmbPath.h"

#include <cerrno>
#include <cstddef>

namespace {

constexpr std::string_view kScheme = "smb://";

// Returns true when c separates names in an SMB path.
bool IsSeparator(char c) { return c == '/' || c == '\\'; }

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
  while (end < rest.size() && !IsSeparator(rest[end])) ++end;
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

}  // namespace

bool IsSmbPath(std::string_view path) {
  if (HasSmbScheme(path)) return true;
  return path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
}

bool SmbPathHasPassword(std::string_view path) {
  if (!IsSmbPath(path)) return false;
  return SplitAuthority(AuthorityOf(path)).userinfo.find(':') != std::string_view::npos;
}

bool ParseSmbPath(std::string_view path, CSmbLocation& location) {
  location = CSmbLocation();
  if (!IsSmbPath(path) || SmbPathHasPassword(path)) {
    errno = EINVAL;
    return false;
  }
  const std::string_view authority = AuthorityOf(path);
  const CAuthority parts = SplitAuthority(authority);

  std::string_view user = parts.userinfo;
  const size_t semicolon = user.find(';');
  if (semicolon != std::string_view::npos) {
    location.domain = std::string(user.substr(0, semicolon));
    user.remove_prefix(semicolon + 1);
  }
  location.user = std::string(user);

  std::string_view host = parts.hostport;
  const size_t colon = host.rfind(':');
  if (colon != std::string_view::npos) {
    if (!ParsePort(host.substr(colon + 1), location.port)) {
      location = CSmbLocation();
      errno = EINVAL;
      return false;
    }
    host = host.substr(0, colon);
    // A second colon is an IPv6 address, which libsmbclient's URLs cannot carry.
    if (host.find(':') != std::string_view::npos) {
      location = CSmbLocation();
      errno = EINVAL;
      return false;
    }
  }
  location.server = std::string(host);

  // The share and the names below it, separated by any run of separators.
  std::string_view rest = AfterPrefix(path).substr(authority.size());
  bool first = true;
  while (!rest.empty()) {
    size_t start = 0;
    while (start < rest.size() && IsSeparator(rest[start])) ++start;
    size_t end = start;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    if (end > start) {
      std::string name(rest.substr(start, end - start));
      if (first)
        location.share = std::move(name);
      else
        location.components.push_back(std::move(name));
      first = false;
    }
    rest.remove_prefix(end);
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
  if (location.port != 0) url += ":" + std::to_string(location.port);
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
