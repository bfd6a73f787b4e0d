// SPDX-License-Identifier: GPL-3.0-or-later
// One entry of a listed folder tree: its listing record and, for a folder,
// its sorted children. The scan and copy operations are its members.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/ResultFlags.h"
#include "platform/FileServices.h"

// How deep a scan goes below its root: a folder nested deeper is named in
// the log and not listed (the scan counts as incomplete). No real tree comes
// near it; it bounds the scan's and the copy's recursion, so that a server
// sending folders without end cannot exhaust the worker's stack.
inline constexpr int32_t kMaxFolderDepth = 1024;

class CFileNode {
public:
  CFileNode() = default;
  explicit CFileNode(const CFindData& data) : m_data(data) {}
  CFileNode(const CFileNode&) = delete;
  CFileNode& operator=(const CFileNode&) = delete;
  ~CFileNode();

  // Returns true when the listing record has the folder bit.
  bool IsFolder() const { return (m_data.attrib & kAttribSubdir) != 0; }

  // Returns the number of children the last listing stored.
  int32_t ChildCount() const { return static_cast<int32_t>(m_children.size()); }

  // Lists the folder at path into this node's children, sorts them with
  // CompareEntries and scans every subfolder in turn. Each listing is retried
  // while it breaks off, within three tries and the reconnect limit. The
  // sizes, files and subfolders found are added to total, files and folders
  // when they are given. Entries that cannot be copied (special files, links
  // back to a folder being scanned, unsafe names) are left out and named in
  // the log. Returns 0 when every listing ran to its end, 8 when one did not
  // (or was stopped by the run flag, or an entry had an unsafe name, or a
  // folder lay more than kMaxFolderDepth below path). The
  // node's own listing record is not changed.
  ResultFlags ScanFolder(const std::string& path, uint64_t* total = nullptr, int32_t* files = nullptr,
                         int32_t* folders = nullptr);

  // Releases the node's whole subtree.
  void FreeChildren();

  // Recreates this listed folder, named as the node, inside destFolder and
  // copies its children in order, files with CopyWholeFile (or CopyFilePart
  // while the form's copy by parts is set). Returns 0; 4 when the folder
  // cannot be created (named in the log with the cause); or the first
  // non-zero result of a child, which ends the walk.
  ResultFlags CopyFolder(const std::string& source, const std::string& destFolder);

  // Copies the file at source to the file of the node's name in destFolder:
  // skips it when a destination at least as long exists, else appends what
  // the destination lacks, reconnecting after read failures while the run
  // flag stays set. Returns 0; 2 when the reconnect limit ran out, also
  // when failing passes have not grown the destination for longer than it;
  // 4 when the destination does not open or must not be written (it is the
  // source itself, another copy holds it, or another file copy of this run
  // took it); 64 when the user skipped it (Skip File; the partial copy
  // stays); otherwise the failing block's flags. A pause holds it before
  // each read (see PauseGate.h).
  ResultFlags CopyWholeFile(const std::string& source, const std::string& destFolder);

  // Writes the source's header followed by part N of the form's part size to
  // the file of the node's name in destFolder, resuming under ReGet or after
  // a read failure. Returns as CopyWholeFile does.
  ResultFlags CopyFilePart(const std::string& source, const std::string& destFolder);

  // Moves one block of at most maximum bytes (never more than the buffer
  // size, never past the listed size) from source through the copy buffer
  // to destination, verifying it first when check after copy is on. Sets
  // bytesRead on every path. Returns 0; 2 after a failed read (bytesRead 0,
  // nothing written); with 4 added when the destination reports an error.
  // When the run flag is found clear, or a skip asked for, the block is read
  // but not written.
  // data is set to where the block's bytes are: the copy buffer, or, when
  // the source holds them already and no check after copy changes them,
  // the source's own bytes (valid until the next call on the source other
  // than Tell, Eof and Error).
  ResultFlags TransferBlock(CStream& source, CStream& destination, uint32_t maximum, uint32_t& bytesRead,
                            const uint8_t*& data);

  // Re-reads every 4096-byte page of the block just read (bytesRead bytes
  // from blockStart, in the copy buffer) and settles each by majority,
  // leaving the winners in the copy buffer; a pause holds it between
  // sweeps, and a cleared run flag or a skip ends it early. Returns 0, or 2
  // when a reading failed (bytesRead is then 0 and the source's indicators
  // are cleared).
  ResultFlags VerifyBlock(CStream& source, int64_t blockStart, uint32_t& bytesRead);

  CFindData m_data;
  std::vector<std::unique_ptr<CFileNode>> m_children;

private:
  // A folder on the way from the scan's root down to the folder being listed.
  struct CAncestor {
    uint64_t dev;
    uint64_t ino;
    const CAncestor* parent;
    int32_t depth;  // 0 for the scan's root, 1 for its subfolders, ...
  };

  ResultFlags ScanFolderBelow(const std::string& path, uint64_t* total, int32_t* files, int32_t* folders,
                              const CAncestor* above);
};

// Returns the order of two children: -1 when a comes first, 1 when b does, 0
// for equal names. Folders come before files; within each group names
// without an extension come first, then by extension, then by whole name,
// both compared bytewise on unsigned byte values.
int CompareEntries(const CFileNode& a, const CFileNode& b);
