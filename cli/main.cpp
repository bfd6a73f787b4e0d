// ferrox-cli: copies files and folder trees without a window.
#include <cstdio>
#include <memory>
#include <string>

#include "CliOptions.h"
#include "ExitStatus.h"
#include "HelpText.h"
#include "LogFile.h"
#include "RunCopy.h"

// Returns 0 after --help or --version, 1 for a usage error or a log file
// that does not open, and otherwise the exit status of the run.
int main(int argc, char** argv) {
  CCliOptions options;
  std::string error;
  switch (ParseCommandLine(argc, argv, options, error)) {
    case CliCommand::kHelp:
      std::fputs(HelpText(), stdout);
      return kExitSuccess;
    case CliCommand::kVersion:
      std::printf("%s\n", kVersionText);
      return kExitSuccess;
    case CliCommand::kUsageError:
      std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgramName, error.c_str(),
                   kProgramName);
      return kExitUsage;
    case CliCommand::kRun:
      break;
  }

  std::unique_ptr<CLogFile> logFile;
  if (options.logPath) {
    logFile = CLogFile::Open(*options.logPath, error);
    if (!logFile) {
      std::fprintf(stderr, "%s: --log: cannot open \"%s\": %s\n", kProgramName, options.logPath->c_str(),
                   error.c_str());
      return kExitUsage;
    }
  }
  return RunCopy(options, logFile.get());
}
