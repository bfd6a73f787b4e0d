#include "PathHelpers.h"

void AddBackslash(std::string& path) {
  if (path.empty() || path.back() != kPathSeparator) path.push_back(kPathSeparator);
}

std::string WithBackslash(std::string_view path) {
  std::string result(path);
  AddBackslash(result);
  return result;
}

void StripBackslash(std::string& path) {
  if (path.size() > 1 && path.back() == kPathSeparator) path.pop_back();
}

size_t FindLast(std::string_view text, char c) {
  size_t pos = text.rfind(c);
  return pos == std::string_view::npos ? text.size() : pos;
}

bool IsShareRoot(std::string_view path, std::string* shareName) {
  // The separators of the path's form: "smb://" and "//" paths use '/'; in a
  // path typed in the Windows form, \\server\share, either one is.
  std::string_view rest;
  std::string_view separators = "/";
  if (path.starts_with("smb://")) {
    rest = path.substr(6);
  } else if (path.size() > 2 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\' && path[2] != '/') {
    rest = path.substr(2);
    separators = "/\\";
  } else if (path.size() > 2 && path[0] == '/' && path[1] == '/' && path[2] != '/') {
    rest = path.substr(2);
  } else {
    return false;
  }
  if (rest.size() > 1 && separators.find(rest.back()) != std::string_view::npos) rest.remove_suffix(1);
  const size_t slash = rest.find_first_of(separators);
  if (slash == 0 || slash == std::string_view::npos) return false;
  const std::string_view share = rest.substr(slash + 1);
  if (share.empty() || share.find_first_of(separators) != std::string_view::npos) return false;
  if (shareName) *shareName = std::string(share);
  return true;
}

bool IsSafeEntryName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find(kPathSeparator) == std::string_view::npos && name.find('\0') == std::string_view::npos;
}
