// SPDX-License-Identifier: GPL-3.0-or-later
// The --log file: every message of a run appended as one line of its own,
// after the local time as "YYYY-MM-DD HH:MM:SS ". Inside the message each
// carriage return is written as the two characters \r, each line feed as \n
// and each backslash as \\, so every message stays on one line and can be
// restored exactly. As in the window's log, bytes after a zero byte are left
// out. The file is opened for appending and never emptied.
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "cli/OutputBuffer.h"

class CLogFile {
public:
  // Opens (or creates) the file at path for appending. Returns nullptr with
  // the reason in error when it does not open.
  static std::unique_ptr<CLogFile> Open(const std::string& path, std::string& error);
  // Closes the file as Close does, unless that was done already.
  ~CLogFile();
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;

  // Adds message as one line stamped with the current local time; the line
  // reaches the file with the next flush that is due.
  void Append(std::string_view message, CSteadyTime now);

  // Writes pending lines when the last write lies kOutputFlushInterval back.
  void FlushIfDue(CSteadyTime now) { m_out.FlushIfDue(now); }

  // Writes every pending line now.
  void Flush() { m_out.Flush(); }

  // Writes every pending line and closes the file; a failing close(2) counts
  // as a failed write. Lines appended afterwards are dropped.
  void Close();

  // Returns the errno value of the first failure to write the file or to
  // close it, or 0 while there was none.
  int Error() const { return m_out.Error(); }

  // Returns the path the file was opened at.
  const std::string& Path() const { return m_path; }

private:
  CLogFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)), m_out(fd) {}

  int m_fd;
  std::string m_path;
  COutputBuffer m_out;
  std::string m_line;
  time_t m_stampSecond = -1;
  char m_stamp[32] = {};
};
