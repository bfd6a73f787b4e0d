#include "CommandLine.h"

#include <optional>

#include "SourceToken.h"
#include "Utf8Text.h"

CCommandLineSources TakeCommandLine(const std::vector<std::string>& arguments) {
  CCommandLineSources result;
  for (const std::string& argument : arguments) {
    if (!IsValidUtf8(argument)) {
      result.leftOut.push_back({argument, kReasonEncoding});
      continue;
    }
    const std::optional<std::string> token = SourceToken(argument);
    if (!token) {
      result.leftOut.push_back({argument, kReasonQuote});
      continue;
    }
    if (!result.sourceText.empty()) result.sourceText += ' ';
    result.sourceText += *token;
  }
  return result;
}
