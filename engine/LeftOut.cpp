// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/LeftOut.h"

#include "engine/LogPrintf.h"
#include "engine/PathHelpers.h"
#include "engine/ResultFlags.h"
#include "engine/RunState.h"

namespace {

// Written after a folder's path, as the walk logs folders.
constexpr char kFolderMark[] = {kPathSeparator, '\0'};

}  // namespace

void NoteFailureCause(const std::string& cause) { g_RunState.failureCause = cause; }

void NoteLeftOut(const std::string& path, const std::string& cause, bool folder) {
  g_RunState.leftOut.push_back(CLeftOutEntry{path, cause, folder});
}

void NoteFileLeftOut(const std::string& path, uint32_t result) {
  RunState& run = g_RunState;
  // A file the user skipped is counted on its own.
  if (!run.runFlag || run.sourceLost || result == kResultSkipped) return;
  std::string cause = run.failureCause;
  if (cause.empty()) cause = (result & kResultWriteFailure) != 0 ? "write error" : "read error";
  NoteLeftOut(path, cause, false);
  run.failureCause.clear();
}

void LogLeftOut() {
  const std::vector<CLeftOutEntry>& entries = g_RunState.leftOut;
  if (entries.empty()) return;
  size_t folders = 0;
  for (const CLeftOutEntry& entry : entries) folders += entry.folder ? 1 : 0;
  const size_t files = entries.size() - folders;
  LogPrintf("\r\nleft out : %d file%s, %d folder%s\r\n", static_cast<int>(files), files == 1 ? "" : "s",
            static_cast<int>(folders), folders == 1 ? "" : "s");
  for (size_t i = 0; i < entries.size() && i < kLeftOutNamed; ++i)
    LogPrintf("%s%s : %s\r\n", entries[i].path.c_str(), entries[i].folder ? kFolderMark : "",
              entries[i].cause.c_str());
  if (entries.size() > kLeftOutNamed)
    LogPrintf("and %d more\r\n", static_cast<int>(entries.size() - kLeftOutNamed));
}
