// SPDX-License-Identifier: GPL-3.0-or-later
// A temporary folder of its own for each test, removed with everything in it.
#pragma once

#include <string>

class CTempDir {
public:
  // Creates a new, empty folder under $TMPDIR (or /tmp); on Windows under
  // the user's folder for temporary files. Throws when none can be made.
  CTempDir();
  ~CTempDir();
  CTempDir(const CTempDir&) = delete;
  CTempDir& operator=(const CTempDir&) = delete;

  // The folder's full path, without a trailing separator.
  const std::string& Path() const { return m_path; }
  // Returns Path() + the platform's separator + relative.
  std::string operator/(const std::string& relative) const {
#ifdef _WIN32
    return m_path + "\\" + relative;
#else
    return m_path + "/" + relative;
#endif
  }

private:
  std::string m_path;
};
