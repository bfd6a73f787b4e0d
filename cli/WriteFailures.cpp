// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/WriteFailures.h"

#include <cstdio>
#include <cstring>

#include "cli/CliOptions.h"

void ReportStandardOutputFailure(int error) {
  std::fprintf(stderr, "%s: cannot write standard output: %s\n", kProgramName, std::strerror(error));
}

void ReportLogFileFailure(const std::string& path, int error) {
  std::fprintf(stderr, "%s: --log: cannot write \"%s\": %s\n", kProgramName, path.c_str(),
               std::strerror(error));
}

void CWriteFailures::NoteStandardOutput(int error) {
  if (error == 0 || m_standardOutput) return;
  m_standardOutput = true;
  ReportStandardOutputFailure(error);
}

void CWriteFailures::NoteLogFile(const std::string& path, int error) {
  if (error == 0 || m_logFile) return;
  m_logFile = true;
  ReportLogFileFailure(path, error);
}
