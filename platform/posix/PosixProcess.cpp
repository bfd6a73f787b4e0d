// SPDX-License-Identifier: GPL-3.0-or-later
// Process-wide services of the POSIX platform.
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "platform/FileServices.h"

std::string CurrentDirectory() {
  std::string path(PATH_MAX, '\0');
  for (;;) {
    if (getcwd(path.data(), path.size()) != nullptr) {
      path.resize(std::char_traits<char>::length(path.c_str()));
      return path;
    }
    if (errno != ERANGE) return std::string();
    path.resize(path.size() * 2);
  }
}

std::string ErrorText(int error) {
  char buffer[256] = {};
  // The GNU variant may return a static text instead of filling buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return text ? std::string(text) : "error " + std::to_string(error);
}
