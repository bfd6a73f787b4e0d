// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>

#include "engine/CopyProgress.h"
#include "engine/FileNode.h"
#include "engine/LeftOut.h"
#include "engine/LogPrintf.h"
#include "engine/MainForm.h"
#include "engine/PathHelpers.h"
#include "engine/RunState.h"

ResultFlags CFileNode::CopyFolder(const std::string& source, const std::string& destFolder) {
  RunState& run = g_RunState;
  // A folder that exists already is simply filled; one that cannot be made
  // is named with the cause and passed, with what it holds, as a write
  // failure: the walk goes on with the folder's next sibling.
  const std::string folderDestination = DestinationPath(destFolder, m_data.name);
  if (MakeDir(folderDestination) != 0) {
    const int error = errno;
    CFindData existing;
    if (!FindFirst(folderDestination, existing) || (existing.attrib & kAttribSubdir) == 0) {
      LogPrintf("\r\ncannot create folder %s : %s\r\n", folderDestination.c_str(), ErrorText(error).c_str());
      NoteLeftOut(source, "cannot create folder " + folderDestination + " : " + ErrorText(error), true);
      return kResultWriteFailure;
    }
  }

  const std::string prefix = WithBackslash(source);
  ResultFlags result = kResultOk;
  // An entry that fails on its own is named with its cause and passed; the
  // walk ends only when the source as a whole stops answering.
  for (std::unique_ptr<CFileNode>& child : m_children) {
    if (!run.runFlag || run.sourceLost) break;
#if defined(_WIN32)
    // A name Windows cannot hold would land on another file, or nowhere: it
    // is named and left out, and the source shows a failed write.
    if (const char* why = NameWindowsCannotHold(child->m_data.name)) {
      LogPrintf("\r\n%s : %s, not copied\r\n", DestinationPath(folderDestination, child->m_data.name).c_str(),
                why);
      NoteLeftOut(prefix + child->m_data.name, why, child->IsFolder());
      result |= kResultWriteFailure;
      if (!child->IsFolder()) ++run.currentFileNumber;
      continue;
    }
#endif
    const std::string childSource = prefix + child->m_data.name;
    if (child->IsFolder()) {
      LogPrintf("%s%c\r\n", child->m_data.name.c_str(), kPathSeparator);
      result |= child->CopyFolder(childSource, folderDestination);
    } else {
      ++run.currentFileNumber;
      if (run.fetchAhead) run.fetchAhead->Reached(childSource);
      run.failureCause.clear();
      CMainForm* form = run.mainForm.load();
      const ResultFlags copied = form && form->CopyByParts()
                                     ? child->CopyFilePart(childSource, folderDestination)
                                     : child->CopyWholeFile(childSource, folderDestination);
      if (copied != kResultOk) NoteFileLeftOut(childSource, copied);
      result |= copied;
    }
  }
  return result;
}
