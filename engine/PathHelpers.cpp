#include "PathHelpers.h"

#include "SmbPath.h"

bool IsAbsolutePath(std::string_view path) {
  if (!path.empty() && IsPathSeparator(path[0])) return true;
#if defined(_WIN32)
  const char drive = static_cast<char>(path.empty() ? 0 : path[0] | 0x20);
  if (path.size() >= 2 && drive >= 'a' && drive <= 'z' && path[1] == ':') return true;
#endif
  return false;
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
  // On a share '/' and '\\' both separate names, in every form of the path.
  constexpr std::string_view kSeparators = "/\\";
  auto separator = [&](size_t at) { return at < path.size() && kSeparators.find(path[at]) != std::string_view::npos; };
  std::string_view rest;
  auto urlForm = [&] {
    if (path.size() <= 6 || path.substr(3, 3) != "://") return false;
    for (size_t i = 0; i < 3; ++i)
      if ((path[i] | 0x20) != "smb"[i]) return false;
    return true;
  };
  if (urlForm()) {
    rest = path.substr(6);
  } else if (separator(0) && separator(1) && path.size() > 2 && !separator(2)) {
    rest = path.substr(2);
  } else {
    return false;
  }
  if (rest.size() > 1 && kSeparators.find(rest.back()) != std::string_view::npos) rest.remove_suffix(1);
  const size_t slash = rest.find_first_of(kSeparators);
  if (slash == 0 || slash == std::string_view::npos) return false;
  const std::string_view share = rest.substr(slash + 1);
  if (share.empty() || share.find_first_of(kSeparators) != std::string_view::npos) return false;
  if (shareName) {
    // The share's own name, escapes of an address as written decoded.
    CSmbLocation location;
    *shareName = ParseSmbPath(path, location) && !location.share.empty() ? location.share : std::string(share);
  }
  return true;
}

bool IsSafeEntryName(std::string_view name, bool onShare) {
  return !name.empty() && name != "." && name != ".." &&
         name.find(kPathSeparator) == std::string_view::npos && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos &&
         (!onShare || name.find('\\') == std::string_view::npos);
}

const char* NameWindowsCannotHold(std::string_view name) {
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
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
