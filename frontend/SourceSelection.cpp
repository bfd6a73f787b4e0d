// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/SourceSelection.h"

#include <optional>

#include "engine/LogPrintf.h"
#include "frontend/SourceToken.h"

void LogLeftOutOfSource(const char* what, const std::vector<std::string>& paths, const char* reason) {
  for (const std::string& path : paths)
    LogPrintf("\r\n%s left out of Source (%s): %s\r\n", what, reason, path.c_str());
}

bool PutSourceFolder(const std::string& folder, bool append, const std::string& fieldText,
                     std::string& source) {
  const std::optional<std::string> token = SourceToken(folder);
  if (!token) {
    LogLeftOutOfSource("folder", {folder});
    return false;
  }
  source = append ? fieldText + " " + *token : *token + " ";
  return true;
}

bool AddSourcePaths(const std::vector<std::string>& paths, const char* what, bool append,
                    std::string& source) {
  const CSourceText added = BuildSourceText(paths);
  LogLeftOutOfSource(what, added.leftOut);
  if (added.text.empty()) return false;
  source = CombineSourceText(source, added.text, append);
  return true;
}
