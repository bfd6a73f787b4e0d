// SPDX-License-Identifier: GPL-3.0-or-later
// The log file of each run of a window: the run's whole log, written as its
// lines become final, into a file named by the time the run started, in the
// user's state folder. The folder keeps the newest 50 such files.
#pragma once

#include <ctime>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>

inline constexpr size_t kRunLogsKept = 50;

// Returns the folder of the run logs, UTF-8: on Windows %LOCALAPPDATA%\Ferrox;
// elsewhere $XDG_STATE_HOME/ferrox, or $HOME/.local/state/ferrox when
// XDG_STATE_HOME is unset or not an absolute path. Returns an empty text
// when none of these variables is set.
std::string RunLogFolder();

// Returns the name of the log of a run started at the local time local:
// "ferrox-YYYY-MM-DD_HH-MM-SS.log".
std::string RunLogFileName(const std::tm& local);

// Deletes the oldest run logs in folder (names of the form above, in the
// order of their names, which is the order of their times) so that at most
// keep remain; other files are left alone.
void PruneRunLogs(const std::string& folder, size_t keep);

class CRunLogFile {
public:
  // Closes a file still open (see Close) and creates a new one in folder,
  // creating the folder first: named for the local time now, with "-2",
  // "-3"... before ".log" when the name is taken. Then prunes the folder to
  // the newest 50 logs. Returns false with a description in error when the
  // folder or the file cannot be made; no file is open then.
  bool Open(const std::string& folder, std::string& error);

  // Keeps piece for the next Flush while a file is open; ignores it
  // otherwise. From any thread; never waits for the disk.
  void Append(std::string_view piece);

  // Writes what Append kept into the file, each "\r\n" as the system's
  // line end. From one thread at a time (the window's).
  void Flush();

  // Flushes, writes lastLine (the log's open last line, when it holds one)
  // with a line end, and closes the file. Nothing happens while no file is
  // open.
  void Close(std::string_view lastLine);

  // Returns whether a file is open.
  bool IsOpen() const;
  // Returns the open file's path, UTF-8, or the last one's after Close;
  // empty before the first Open.
  const std::string& Path() const { return m_path; }

private:
  mutable std::mutex m_lock;
  std::string m_pending;  // under m_lock
  bool m_open = false;    // under m_lock
  std::ofstream m_file;   // the flushing thread's
  std::string m_path;
};
