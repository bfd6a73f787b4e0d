// A temporary folder of its own for each test, removed with everything in it.
#pragma once

#include <string>

class CTempDir {
public:
  // Creates a new, empty folder under $TMPDIR (or /tmp).
  CTempDir();
  ~CTempDir();
  CTempDir(const CTempDir&) = delete;
  CTempDir& operator=(const CTempDir&) = delete;

  // The folder's full path, without a trailing separator.
  const std::string& Path() const { return m_path; }
  // Returns Path() + "/" + relative.
  std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

private:
  std::string m_path;
};
