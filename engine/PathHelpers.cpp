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
  if (path.size() > 2 && path.back() == kPathSeparator) path.remove_suffix(1);
  if (path.size() < 2 || path[0] != kPathSeparator || path[1] != kPathSeparator) return false;
  std::string_view rest = path.substr(2);
  size_t slash = rest.find(kPathSeparator);
  if (slash == 0 || slash == std::string_view::npos) return false;
  std::string_view share = rest.substr(slash + 1);
  if (share.empty() || share.find(kPathSeparator) != std::string_view::npos) return false;
  if (shareName) *shareName = std::string(share);
  return true;
}

bool IsSafeEntryName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find(kPathSeparator) == std::string_view::npos && name.find('\0') == std::string_view::npos;
}
