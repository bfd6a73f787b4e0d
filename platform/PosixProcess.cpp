// Process-wide services of the POSIX platform.
#include <cerrno>
#include <climits>
#include <string>
#include <unistd.h>

#include "FileServices.h"

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
