// Command-line intake: the shell hands the program its arguments one by one
// (a file manager passes each chosen file or folder as one argument), and
// they become the initial Source text, so that the Source field's syntax
// gives back exactly those paths.
#pragma once

#include <string>
#include <vector>

struct CLeftOutArgument {
  std::string argument;
  std::string reason;
};

struct CCommandLineSources {
  std::string sourceText;                 // the initial Source text
  std::vector<CLeftOutArgument> leftOut;  // arguments that could not be written into it
};

inline constexpr char kReasonQuote[] = "a double quote the Source field cannot carry";
inline constexpr char kReasonEncoding[] = "not valid UTF-8";

// Builds the Source text from arguments (the program's own path not
// included): each argument as its SourceToken (in double quotes unless it
// holds one), separated by one blank. An argument that is not valid UTF-8
// (the Source field holds UTF-8 text), or that holds a double quote which
// neither quoting nor leaving it unquoted can carry, is left out and listed
// with the reason.
CCommandLineSources TakeCommandLine(const std::vector<std::string>& arguments);
