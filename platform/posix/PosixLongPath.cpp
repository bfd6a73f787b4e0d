// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PosixLongPath.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/ErrnoGuard.h"

CPathAt::CPathAt(const std::string& path) : m_folder(AT_FDCWD), m_name(path.c_str()) {
  const size_t length = path.size();
  if (length < PATH_MAX) return;
  // Cuts are made only before the last name, so that what is left after a
  // cut always begins with a name and never with a separator.
  const size_t lastName = path.find_last_not_of('/');
  if (lastName == std::string::npos || lastName == 0) {
    errno = ENAMETOOLONG;
    m_ready = false;
    return;
  }
  size_t start = 0;
  while (length - start >= PATH_MAX) {
    // The stretch runs from start through a separator, at most PATH_MAX - 1
    // bytes, and ends before the last name.
    size_t limit = start + PATH_MAX - 2;
    if (limit >= lastName) limit = lastName - 1;
    const size_t cut = path.rfind('/', limit);
    if (cut == std::string::npos || cut < start) {
      errno = ENAMETOOLONG;
      m_ready = false;
      return;
    }
    const std::string stretch = path.substr(start, cut + 1 - start);
    const int next = openat(m_folder, stretch.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (next < 0) {
      m_ready = false;
      return;
    }
    if (m_folder != AT_FDCWD) close(m_folder);
    m_folder = next;
    start = cut + 1;
    while (path[start] == '/') ++start;
  }
  m_name = path.c_str() + start;
}

CPathAt::~CPathAt() {
  if (m_folder != AT_FDCWD) {
    CErrnoGuard guard;
    close(m_folder);
  }
}
