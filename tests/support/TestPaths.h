// SPDX-License-Identifier: GPL-3.0-or-later
// Paths in tests are written the POSIX way ("/mem/src/a.txt"); these turn
// them into the form of the system the tests are built for, so that one
// test states one expectation everywhere.
//
// On Windows the in-memory file systems look like local disks: a path rooted
// in one separator gets the drive C: ("/mem/src" is "C:\mem\src"), a path
// that begins with two separators stays a share ("//srv/share" is
// "\\srv\share"), and every '/' becomes '\', as the engine writes them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/PathHelpers.h"

// Returns path in this system's form: path itself on POSIX. On Windows each
// '/' becomes '\', and "C:" is put in front of a path that begins with
// exactly one '/'; relative paths ("sub/") and shares get no drive.
inline std::string NativePath(std::string_view path) {
  std::string result;
#if defined(_WIN32)
  if (!path.empty() && path[0] == '/' && (path.size() == 1 || path[1] != '/')) result = "C:";
#endif
  for (const char c : path) result.push_back(c == '/' ? kPathSeparator : c);
  return result;
}

// Returns path with every '\' turned into '/': how a user may type a path on
// Windows, where either separates. Unchanged on POSIX.
inline std::string SlashPath(std::string_view path) {
  std::string result(path);
#if defined(_WIN32)
  for (char& c : result)
    if (c == '\\') c = '/';
#endif
  return result;
}

// "/mem/src"_path is NativePath("/mem/src").
inline std::string operator""_path(const char* text, std::size_t size) { return NativePath({text, size}); }
