// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cerrno>
#include <cinttypes>

#include "engine/FailureCause.h"
#include "engine/FileNode.h"
#include "engine/LeftOut.h"
#include "engine/LogPrintf.h"
#include "engine/PathHelpers.h"
#include "engine/RunState.h"
#include "engine/ShareLogon.h"
#include "platform/smb/SmbPath.h"

namespace {

constexpr int kScanTries = 3;
constexpr uint32_t kScanPauseMs = 500;

// Entries of one listing attempt that are not stored as children.
struct CLeftOut {
  std::vector<std::string> special;  // neither a regular file nor a folder
  std::vector<std::string> loops;    // folders that lead back to a folder being scanned
  std::vector<std::string> unsafe;   // names that cannot be joined to a path
};

}  // namespace

ResultFlags CFileNode::ScanFolder(const std::string& path, uint64_t* total, int32_t* files,
                                  int32_t* folders) {
  return ScanFolderBelow(path, total, files, folders, nullptr);
}

ResultFlags CFileNode::ScanFolderBelow(const std::string& path, uint64_t* total, int32_t* files,
                                       int32_t* folders, const CAncestor* above) {
  LogPrintf("scanning folder %s", path.c_str());
  const std::string prefix = WithBackslash(path);
  const std::string pattern = prefix + "*.*";
  const CAncestor self{m_data.dev, m_data.ino, above, above != nullptr ? above->depth + 1 : 0};
  const bool onShare = IsSmbPath(path);

  auto isAncestor = [&self](const CFindData& entry) {
    if (entry.dev == 0 && entry.ino == 0) return false;
    for (const CAncestor* a = &self; a; a = a->parent) {
      if (a->dev == entry.dev && a->ino == entry.ino) return true;
    }
    return false;
  };

  int tries = kScanTries;
  int32_t best = 0;
  int64_t deadline = TimeNow() + static_cast<int64_t>(g_RunState.reconnectLimit);
  bool succeeded = false;
  bool unlistable = false;  // the listing can never be had
  int lastErrno = 0;        // why the last attempt failed
  CLeftOut leftOut;

  for (;;) {
    const int64_t now = TimeNow();
    FreeChildren();
    leftOut = CLeftOut();

    bool failed = false;
    bool stopped = false;
    int listingErrno = 0;
    CFindData entry;
    std::unique_ptr<CFindHandle> search = FindFirst(pattern, entry);
    if (!search && LogonRefused(path, errno)) {
      // Another logon is tried at once; without one the listing ends here.
      int64_t waited = 0;
      if (LogonAgain(path, waited)) {
        deadline += waited;
        continue;
      }
      lastErrno = EACCES;
      break;
    }
    if (!search && errno == EILSEQ) {
      // The listing holds a name the backend will never hand out (a server
      // that sent a separator in a name): no later attempt can list it.
      unlistable = true;
      break;
    }
    if (!search) {
      failed = true;
      listingErrno = errno;
      // Waiting mends nothing here: access denied, a name refused, a
      // folder gone while its parent answers.
      if (CannotHeal(path, listingErrno, true)) {
        lastErrno = listingErrno;
        break;
      }
    } else {
      for (;;) {
        if (!g_RunState.runFlag) {
          failed = stopped = true;
          break;
        }
        if (entry.name == "." || entry.name == "..") {
          // The folder itself and its parent are never part of the tree.
        } else if (!IsSafeEntryName(entry.name, onShare)) {
          leftOut.unsafe.push_back(entry.name);
        } else if ((entry.attrib & kAttribSpecial) != 0) {
          leftOut.special.push_back(prefix + entry.name);
        } else if ((entry.attrib & kAttribSubdir) != 0 && isAncestor(entry)) {
          leftOut.loops.push_back(prefix + entry.name);
        } else {
          m_children.push_back(std::make_unique<CFileNode>(entry));
        }
        if (!search->FindNext(entry)) {
          if (errno != ENOENT) {
            failed = true;
            listingErrno = errno;
          }
          break;
        }
      }
    }

    // An attempt stopped by the run flag is incomplete, but nobody waits
    // for a retry of it.
    if (failed && !stopped) {
      if (ChildCount() > best) {
        best = ChildCount();
        --tries;
      }
      SleepMs(kScanPauseMs);
      LogPrintf("try limit : %d, errno = %d, left % " PRId64 " sec", tries, listingErrno, deadline - now);
    }
    search.reset();
    if (failed) lastErrno = listingErrno;

    succeeded = !failed;
    if (!g_RunState.runFlag || tries == 0 || succeeded || now >= deadline) break;
  }

  RunState& run = g_RunState;
  if (unlistable) {
    LogPrintf("\r\nskipped %s : it holds an unsafe name, its listing cannot be read\r\n", path.c_str());
    NoteLeftOut(path, "it holds an unsafe name, its listing cannot be read", true);
  } else if (!succeeded && run.runFlag) {
    // A folder that cannot be listed is named and passed, unless the source
    // as a whole stopped answering (or refused the logon), which ends the scan.
    if (LogonRefused(path, lastErrno) || IsConnectionLevel(lastErrno)) {
      run.sourceLost = true;
    } else {
      const std::string cause = CauseText(path, lastErrno);
      LogPrintf("\r\ncannot list folder %s : %s\r\n", path.c_str(), cause.c_str());
      NoteLeftOut(path, (ChildCount() > 0 ? "listing incomplete, " : "cannot be listed, ") + cause, true);
    }
  }
  for (const std::string& name : leftOut.special)
    LogPrintf("\r\nskipped %s : not a regular file\r\n", name.c_str());
  for (const std::string& name : leftOut.loops)
    LogPrintf("\r\nskipped %s : link to a folder that contains it\r\n", name.c_str());
  for (const std::string& name : leftOut.unsafe) {
    LogPrintf("\r\nskipped an entry of %s : unsafe name \"%s\"\r\n", path.c_str(), name.c_str());
    NoteLeftOut(prefix + name, "unsafe name", false);
  }

  ResultFlags result = succeeded ? kResultOk : kResultListingIncomplete;

  std::sort(m_children.begin(), m_children.end(),
            [](const std::unique_ptr<CFileNode>& a, const std::unique_ptr<CFileNode>& b) {
              return CompareEntries(*a, *b) < 0;
            });

  // What was listed is scanned on, and a subfolder that fails is passed:
  // only a source that stopped answering ends the scan.
  for (std::unique_ptr<CFileNode>& child : m_children) {
    if (!run.runFlag || run.sourceLost) break;
    if (child->IsFolder()) {
      const std::string childPath = prefix + child->m_data.name;
      if (self.depth >= kMaxFolderDepth) {
        LogPrintf("\r\nskipped %s : folders nested more than %d deep\r\n", childPath.c_str(),
                  kMaxFolderDepth);
        NoteLeftOut(childPath, "nested more than " + std::to_string(kMaxFolderDepth) + " deep", true);
        result |= kResultListingIncomplete;
      } else {
        result |= child->ScanFolderBelow(childPath, total, files, folders, &self);
      }
      if (folders) ++*folders;
    } else {
      if (total) *total += child->m_data.size;
      if (files) ++*files;
    }
  }

  // A name that could not be used means files are missing from the copy.
  if (!leftOut.unsafe.empty()) result |= kResultListingIncomplete;
  return result;
}
