// SPDX-License-Identifier: GPL-3.0-or-later
// Paths of any length on POSIX: the kernel takes at most PATH_MAX bytes of a
// path in one call, so a longer path is reached through the folders on its
// way, each opened relative to the one before, and the call is then made
// relative to the last of them (openat, fstatat, mkdirat, utimensat, ...).
#pragma once

#include <string>

class CPathAt {
public:
  // Prepares path for one call of the *at family. A path shorter than
  // PATH_MAX is taken as it is, relative to the current directory
  // (Folder() is AT_FDCWD). A longer one is cut after separators into
  // stretches shorter than PATH_MAX; every stretch but the last names
  // folders, which are opened in turn, and the last is Name(). path must
  // outlive this object: Name() points into it.
  explicit CPathAt(const std::string& path);
  // Closes the folder opened on the way, if any; errno is left as it was.
  ~CPathAt();
  CPathAt(const CPathAt&) = delete;
  CPathAt& operator=(const CPathAt&) = delete;

  // Returns true when the call may be made; false with errno set when a
  // folder on the way did not open, or ENAMETOOLONG when one name of the
  // path is itself longer than PATH_MAX.
  bool Ready() const { return m_ready; }
  // Returns the folder that Name() is relative to: AT_FDCWD or an O_PATH
  // handle of the last folder on the way.
  int Folder() const { return m_folder; }
  // Returns the rest of the path, relative to Folder(); never empty and
  // never absolute for a path that was cut.
  const char* Name() const { return m_name; }

private:
  int m_folder;
  const char* m_name;
  bool m_ready = true;
};
