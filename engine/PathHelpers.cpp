// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/PathHelpers.h"

#include "platform/smb/SmbPath.h"

bool IsAbsolutePath(std::string_view path) {
  const bool rooted = !path.empty() && IsPathSeparator(path[0]);
#if defined(_WIN32)
  const char drive = static_cast<char>(path.empty() ? 0 : path[0] | 0x20);
  return rooted || (path.size() >= 2 && drive >= 'a' && drive <= 'z' && path[1] == ':');
#else
  return rooted;
#endif
}

void AddBackslash(std::string& path) {
  if (path.empty() || !IsPathSeparator(path.back())) path.push_back(kPathSeparator);
}

std::string WithBackslash(std::string_view path) {
  std::string result(path);
  AddBackslash(result);
  return result;
}

void StripBackslash(std::string& path) {
  if (path.size() <= 1 || !IsPathSeparator(path.back())) return;
#if defined(_WIN32)
  if (path.size() == 3 && path[1] == ':') return;
#endif
  path.pop_back();
}

size_t FindLast(std::string_view text, char c) {
  size_t pos = text.rfind(c);
  return pos == std::string_view::npos ? text.size() : pos;
}

bool IsShareRoot(std::string_view path, std::string* shareName) {
  CSmbLocation location;
  if (!ParseSmbPath(path, location) || location.share.empty() || !location.components.empty()) return false;
  // Exactly one separator between the server and the share, at most one
  // after it.
  const std::string_view server = path.substr(0, location.shareBegin - 1);
  if (server.empty() || IsSmbSeparator(server.back()) || path.size() - location.shareEnd > 1) return false;
  if (shareName) *shareName = location.share;  // escapes of an address as written decoded
  return true;
}

bool IsSafeEntryName(std::string_view name, bool onShare) {
  return !name.empty() && name != "." && name != ".." &&
         name.find(kPathSeparator) == std::string_view::npos && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos && (!onShare || name.find('\\') == std::string_view::npos);
}

const char* NameWindowsCannotHold(std::string_view name) {
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
      return "a character Windows does not allow in names";
  }
  if (!name.empty() && (name.back() == '.' || name.back() == ' ') && name != "." && name != "..")
    return "a name ending in a dot or blank, which Windows drops";
  // The device names count whatever follows a dot, in any case.
  std::string stem(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  const bool numbered = stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
                        stem[3] >= '1' && stem[3] <= '9';
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || numbered)
    return "a name Windows reserves for a device";
  return nullptr;
}
