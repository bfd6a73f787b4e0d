// SPDX-License-Identifier: GPL-3.0-or-later
// Output that could not be written: standard output and the --log file. The
// first failure of each is named once on standard error, with its cause; the
// copy goes on, and the exit status carries kExitOutputFailed.
#pragma once

#include <string>

// Writes "ferrox-cli: cannot write standard output: CAUSE" to standard
// error, CAUSE being the text of the errno value error.
void ReportStandardOutputFailure(int error);

// Writes "ferrox-cli: --log: cannot write "PATH": CAUSE" to standard error.
void ReportLogFileFailure(const std::string& path, int error);

class CWriteFailures {
public:
  // Reports the failure of standard output the first time error (an errno
  // value, 0 for none) names one; does nothing after that.
  void NoteStandardOutput(int error);

  // As NoteStandardOutput, for the log file at path.
  void NoteLogFile(const std::string& path, int error);

  // Returns true once a failure of either output was noted.
  bool Any() const { return m_standardOutput || m_logFile; }

private:
  bool m_standardOutput = false;
  bool m_logFile = false;
};
