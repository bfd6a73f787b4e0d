// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/CommandLine.h"

#include <optional>

#include "frontend/SourceToken.h"

CCommandLineSources TakeCommandLine(const std::vector<std::string>& arguments) {
  CCommandLineSources result;
  for (const std::string& argument : arguments) {
    CAddressSource source = SourceOfArgument(argument);
    if (!source.reason.empty()) {
      result.leftOut.push_back({std::move(source.shown), std::move(source.reason)});
      continue;
    }
    const std::optional<std::string> token = SourceToken(source.path);
    if (!token) {
      result.leftOut.push_back({std::move(source.shown), kReasonQuote});
      continue;
    }
    if (!result.sourceText.empty()) result.sourceText += ' ';
    result.sourceText += *token;
  }
  return result;
}
