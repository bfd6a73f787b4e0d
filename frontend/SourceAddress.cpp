// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/SourceAddress.h"

#include <algorithm>

#include "frontend/Utf8Text.h"
#include "platform/smb/SmbPath.h"

namespace {

// The kinds of URL a source can come from.
enum class UrlKind { kOther, kFile, kSmb };

// Returns c as a lower-case letter when it is an upper-case one.
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Returns true when text begins with prefix, letters in any case.
bool BeginsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  return true;
}

// Returns which kind of URL url is.
UrlKind KindOf(std::string_view url) {
  if (BeginsWithNoCase(url, "smb://")) return UrlKind::kSmb;
  if (BeginsWithNoCase(url, "file:")) return UrlKind::kFile;
  return UrlKind::kOther;
}

// Returns the local path of the file URL url, undecoded, or false when it
// names none on this machine.
bool FileUrlPath(std::string_view url, std::string_view& path) {
  std::string_view rest = url.substr(5);  // after "file:"
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return false;
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !(host.size() == 9 && BeginsWithNoCase(host, "localhost"))) return false;
    rest.remove_prefix(slash);
  }
  if (!rest.starts_with('/')) return false;
  path = rest;
  return true;
}

// Completes source with the checks every source passes: no zero byte, and
// valid UTF-8.
CAddressSource& Checked(CAddressSource& source) {
  if (!source.reason.empty()) return source;
  if (source.path.find('\0') != std::string::npos)
    source.reason = kReasonZeroByte;
  else if (!IsValidUtf8(source.path))
    source.reason = kReasonEncoding;
  if (!source.reason.empty()) source.path.clear();
  return source;
}

}  // namespace

std::string WithoutPassword(std::string_view path) {
  if (!IsSmbPath(path)) return std::string(path);
  const size_t start = BeginsWithNoCase(path, "smb://") ? 6 : 2;
  size_t end = start;
  while (end < path.size() && !IsSmbSeparator(path[end])) ++end;
  const std::string_view authority = path.substr(start, end - start);
  const size_t at = authority.rfind('@');
  if (at == std::string_view::npos) return std::string(path);
  const std::string_view userinfo = authority.substr(0, at);
  size_t colon = userinfo.find(':');
  for (size_t i = 0; i + 2 < userinfo.size() && i < colon; ++i)
    if (userinfo[i] == '%' && userinfo[i + 1] == '3' && Lower(userinfo[i + 2]) == 'a') colon = i;
  if (colon == std::string_view::npos) return std::string(path);
  return std::string(path.substr(0, start + colon)) + ":***" + std::string(path.substr(start + at));
}

bool LooksLikeUrl(std::string_view text) {
  if (BeginsWithNoCase(text, "file:/")) return true;
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (text.empty() || !letter(text[0])) return false;
  size_t i = 1;
  while (i < text.size() && (letter(text[i]) || (text[i] >= '0' && text[i] <= '9') || text[i] == '+' ||
                             text[i] == '-' || text[i] == '.'))
    ++i;
  return text.substr(i).starts_with("://");
}

CAddressSource SourceOfUrl(std::string_view url) {
  CAddressSource source;
  source.shown = WithoutPassword(url);
  switch (KindOf(url)) {
    case UrlKind::kFile: {
      std::string_view path;
      if (!FileUrlPath(url, path)) {
        source.reason = kReasonNotSource;
        break;
      }
      // A local path names the same file with one leading slash as with
      // several, and with one only it does not read as a share path.
      source.path = PercentDecoded(path);
      source.path.erase(0, std::min(source.path.find_first_not_of('/'), source.path.size()) - 1);
      if (IsSmbPath(source.path)) {
        source.path.clear();
        source.reason = kReasonLikeShare;
      }
      break;
    }
    case UrlKind::kSmb: {
      // Before decoding too: an escaped separator could hide the password
      // from the decoded path's user part.
      std::string path = PercentDecoded(url);
      if (SmbPathHasPassword(url) || SmbPathHasPassword(path))
        source.reason = kReasonPassword;
      else
        source.path = std::move(path);
      break;
    }
    case UrlKind::kOther:
      source.reason = kReasonNotSource;
      break;
  }
  return Checked(source);
}

CAddressSource SourceOfArgument(std::string_view argument) {
  if (LooksLikeUrl(argument)) return SourceOfUrl(argument);
  CAddressSource source;
  source.shown = WithoutPassword(argument);
  if (SmbPathHasPassword(argument))
    source.reason = kReasonPassword;
  else
    source.path = std::string(argument);
  return Checked(source);
}

std::vector<std::string> UriListEntries(std::string_view list) {
  std::vector<std::string> entries;
  while (!list.empty()) {
    const size_t end = list.find('\n');
    std::string_view line = list.substr(0, end);
    list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    entries.emplace_back(line);
  }
  return entries;
}

CDroppedSources TakeDroppedUrls(std::string_view list) {
  CDroppedSources dropped;
  for (const std::string& url : UriListEntries(list)) {
    dropped.addressed = dropped.addressed || KindOf(url) != UrlKind::kOther;
    CAddressSource source = SourceOfUrl(url);
    if (source.reason.empty())
      dropped.paths.push_back(std::move(source.path));
    else
      dropped.leftOut.push_back({std::move(source.shown), std::move(source.reason)});
  }
  return dropped;
}
