// SPDX-License-Identifier: GPL-3.0-or-later
// An in-memory file system for tests: a tree the test builds, byte streams over it, call counters and
// scripted faults (opens, listings, reads and writes that fail, bytes that differ between re-reads, a full
// disk). Mount it with MountFileSystem (or CMountGuard) so that the engine reaches it through the platform
// functions.
//
// Paths are absolute texts that begin with the root given to the constructor (the mount prefix), with the
// separators of the engine's platform: '/' on POSIX; on Windows '\' and '/' alike, kept as '\' (the
// paths the inspection and fault methods take are normalised the same way). Repeated separators and a
// trailing one are ignored; "." and ".." components are not resolved. A path outside the root does not
// exist.
//
// Every method may be called from any thread: one mutex guards all state. Hooks are called without it.
// The file system outlives its streams.
//
// The clock in use is read (TimeNow) only when a file is created or emptied, a folder is created, or an
// Open meets a FailOpensUntil fault, so that a clock advancing on each reading moves predictably.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileServices.h"

class CMemFileSystem : public CFileSystem {
public:
  // Time stamp (calendar seconds) of entries built without one, and of folders created on the way.
  static constexpr int64_t kDefaultTime = 1600000000;
  // Device number every entry reports; inode numbers are unique, 1 for the root.
  static constexpr uint64_t kDev = 0x4d454d;
  // Repetition count of a fault that never heals.
  static constexpr int kForever = -1;
  // Capacity of a disk without limit.
  static constexpr uint64_t kUnlimited = std::numeric_limits<uint64_t>::max();

  struct CByteRange {
    int64_t offset = 0;
    int64_t length = 0;
    bool operator==(const CByteRange&) const = default;
  };
  // Called before each Read of a stream: the file's path, the stream's position and the count asked for.
  using CReadHook = std::function<void(const std::string& path, uint64_t offset, size_t count)>;
  // Called at the start of each Open, before counters and faults apply.
  using COpenHook = std::function<void(const std::string& path, OpenMode mode)>;

  // Creates the file system with its root folder (time kDefaultTime). Throws std::invalid_argument when
  // root is not an absolute path.
  explicit CMemFileSystem(std::string root = "/mem");
  ~CMemFileSystem() override;
  CMemFileSystem(const CMemFileSystem&) = delete;
  CMemFileSystem& operator=(const CMemFileSystem&) = delete;

  // Returns the root folder's path as normalised.
  const std::string& Root() const { return m_root; }

  // ---- Building. Missing parent folders are created (time kDefaultTime). These throw
  // std::invalid_argument for a path outside the root and std::logic_error when an entry of another kind
  // is in the way (a file where a folder should be, a folder where a file should be).

  // Creates the folder, or sets the time of the folder that exists.
  void AddFolder(const std::string& path, int64_t mtime = kDefaultTime);
  // Creates the file with bytes as its content, or replaces the content of the file that exists (the same
  // entry: open streams see the new content). Access and write time become mtime.
  void AddFile(const std::string& path, std::string_view bytes, int64_t mtime = kDefaultTime);
  // Like AddFile for the file name in folder, name taken as one component even where it holds a separator
  // of this system: what a server may list, though no local file system could hold it. The file's path
  // is folder, a separator and name as it is, so a path made by joining name to folder opens it.
  void AddFileNamed(const std::string& folder, const std::string& name, std::string_view bytes);
  // Like AddFile, for a file of size bytes whose byte at offset i is PatternByte(seed, i). The content is
  // computed on reading and never stored, so any size costs nothing and does not count towards the
  // capacity. Appending to such a file stores only the appended bytes after the synthetic ones; opening it
  // with kWrite empties it into an ordinary file.
  void AddPatternFile(const std::string& path, uint64_t size, uint32_t seed, int64_t mtime = kDefaultTime);
  // Makes link a second name of the file at target (a hard link): both paths open the same content and
  // list the same inode. Throws std::logic_error when target is no file or something is at link.
  void AddHardLink(const std::string& link, const std::string& target);
  // Creates an entry that is neither a file nor a folder: listed with kAttribSpecial and size 0, every
  // Open of it fails with EINVAL. Sets the time of such an entry that exists.
  void AddSpecial(const std::string& path, int64_t mtime = kDefaultTime);

  // Returns the byte at offset of the pattern of seed.
  static uint8_t PatternByte(uint32_t seed, uint64_t offset);
  // Fills buffer with count bytes of the pattern of seed, starting at offset.
  static void FillPattern(uint32_t seed, uint64_t offset, void* buffer, size_t count);
  // Returns count bytes of the pattern of seed, starting at offset.
  static std::string PatternBytes(uint32_t seed, uint64_t offset, size_t count);

  // Turns the "." and ".." records at the start of every folder listing on (the default) or off. Off
  // imitates a file system that lacks them, against the platform contract: an empty folder then
  // cannot be listed.
  void SetDotEntries(bool on);

  // ---- Inspection. Paths are normalised as for the file system calls.

  // Returns true when an entry of any kind exists at path.
  bool Exists(const std::string& path) const;
  // Returns true when path is a folder.
  bool IsFolder(const std::string& path) const;
  // Returns true when path is a regular file.
  bool IsFile(const std::string& path) const;
  // Returns the whole content of the file at path (pattern bytes computed), or an empty text when path is
  // no file.
  std::string FileBytes(const std::string& path) const;
  // Returns the size of the file at path, or 0 when path is no file.
  uint64_t FileSize(const std::string& path) const;
  // Return the write and the access time of the entry at path, or -1 when nothing is there.
  int64_t TimeWrite(const std::string& path) const;
  int64_t TimeAccess(const std::string& path) const;
  // Returns the names in the folder at path in the order they were created (empty when path is no folder).
  std::vector<std::string> ListNames(const std::string& path) const;
  // Returns the number of stored content bytes of all files (pattern bytes excluded).
  uint64_t StoredBytes() const;
  // Returns the number of streams opened and not yet closed.
  int OpenStreams() const;

  // ---- Call counters, per normalised path; every call counts, failed ones included.

  // Return the number of Open calls of path, and how many of them failed.
  int OpenCount(const std::string& path) const;
  int OpenFailCount(const std::string& path) const;
  // Return the number of Read calls on streams of path, and the number of bytes they delivered.
  int ReadCount(const std::string& path) const;
  // Returns the number of Lend calls on streams of path that lent their bytes.
  int LendCount(const std::string& path) const;
  uint64_t BytesRead(const std::string& path) const;
  // Return the number of Write calls on streams of path, and the number of bytes they stored.
  int WriteCount(const std::string& path) const;
  uint64_t BytesWritten(const std::string& path) const;
  // Returns the number of Flush calls on streams of path.
  int FlushCount(const std::string& path) const;
  // Returns the number of Close calls on streams of path (a stream destroyed while open closes itself).
  int CloseCount(const std::string& path) const;
  // Return the number of DropCache calls on streams of path, and their ranges in call order.
  int DropCacheCount(const std::string& path) const;
  std::vector<CByteRange> DropCacheRanges(const std::string& path) const;
  // Returns the number of FindFirst calls with pattern, e.g. "/mem/src/*.*" for the listings of /mem/src.
  int FindFirstCount(const std::string& pattern) const;
  // Returns the number of MakeDir calls of path.
  int MakeDirCount(const std::string& path) const;
  // Sets every counter back to 0. Faults keep their state.
  void ResetCounters();

  // ---- Scripted faults. Each is kept per normalised path; a repetition count of kForever never runs
  // out. Once a fault has run out the path behaves normally. Setting a fault again replaces the earlier
  // one of the same kind (and, for a read fault or a glitch, of the same offset).

  // The listings of folder that open (FindFirst of folder + "/*.*" not failed by FailListingOpen) follow
  // the script: listing n yields the dot entries (when on) and then only the first entriesPerAttempt[n]
  // entries of the folder (fewer when it has fewer), after which FindNext fails with err. The dot entries
  // do not count. When nothing at all is to be yielded, FindFirst itself fails with err. A negative value
  // makes that listing complete; listings after the script are complete.
  void BreakListing(const std::string& folder, std::vector<int> entriesPerAttempt, int err = EIO);
  // The next times listings of folder fail in FindFirst: nullptr, errno err.
  void FailListingOpen(const std::string& folder, int times, int err = EIO);
  // The next times Open calls of path (any mode) fail: nullptr, errno err.
  void FailOpens(const std::string& path, int times, int err = EIO);
  // Open calls of path fail with err while TimeNow() < clockSecond.
  void FailOpensUntil(const std::string& path, int64_t clockSecond, int err = EIO);
  // A Read of path whose delivered range covers offset delivers only the bytes before offset, then sets
  // the error indicator and errno err and returns that short count; times such reads fail.
  void FailReadAt(const std::string& path, uint64_t offset, int times = 1, int err = EIO);
  // As FailReadAt, for the readings of verification alone (SetReadingsDepth): reads through the stream
  // itself deliver the byte at offset.
  void FailReadingsAt(const std::string& path, uint64_t offset, int times = 1, int err = EIO);
  // Bytes that change between re-reads. The Read calls of path that deliver the byte at offset are
  // numbered from 0; read k delivers values[k] there when k < values.size() and values[k] >= 0, and the
  // true byte otherwise. Each value is taken modulo 256.
  void Glitch(const std::string& path, uint64_t offset, std::vector<int> values);
  // Limits the stored content bytes of all files. A write that would pass the limit stores what fits,
  // then sets the error indicator and errno ENOSPC. Builders are not limited but their bytes count.
  void SetCapacity(uint64_t bytes);
  // The next times Write calls on streams of path fail before storing anything: error indicator, errno err.
  void FailWrites(const std::string& path, int times, int err = EIO);
  // The next times Close calls on streams of path fail: -1, error indicator, errno err (the stream is
  // closed all the same).
  void FailClose(const std::string& path, int times = 1, int err = EIO);
  // The next times MakeDir calls of path fail: -1, errno err.
  void FailMakeDir(const std::string& path, int times, int err = ENOSPC);
  // Removes every scripted fault (the capacity included) and every glitch's read numbering.
  void ClearFaults();

  // Makes the streams opened for reading from now on offer readings for verification with depth in
  // flight together, done on threads: each reading is one Read call as counted, hooked and faulted, its
  // bytes taken in the order the readings start and handed over by a worker thread. 0 (the default):
  // streams offer none, so verification reads through the stream itself.
  void SetReadingsDepth(uint32_t depth);

  // Makes the streams opened for reading from now on lend their bytes (CStream::Lend) wherever no read
  // fault, glitch or read hook could change them and the whole count lies in the file: a lend is then
  // counted as a read of its bytes, and LendCount counts it too. What a stream lent is overwritten with
  // 0xEE at its next Read, Lend, Seek elsewhere or Close, so a caller that keeps it too long sees wrong
  // bytes. Off by default.
  void SetLending(bool on);

  // Installs the hooks (an empty function removes one). Each is called without the lock held, so it may
  // call any method of this file system; it runs on the thread of the call it precedes.
  void SetOnRead(CReadHook hook);
  void SetOnOpen(COpenHook hook);

  // ---- CFileSystem. The behaviour follows the contract in FileServices.h:
  // Open: kRead of a missing path fails with ENOENT, of a folder or a special entry with EINVAL. kAppend
  // and kWrite create a missing file (ENOENT when the parent folder is missing, ENOTDIR when it is no
  // folder, EISDIR when a folder is in the way, EINVAL for a special entry); kWrite empties a file that
  // exists; kUpdate opens an existing file (ENOENT when missing) for writing at the stream's position,
  // from 0, without emptying it. A created or emptied file takes TimeNow() as its write time (and, when
  // created, access time). Writes leave the times alone. A kRead stream cannot write and a kAppend or kWrite
  // stream cannot read (EBADF, as with the C runtime's modes). A kAppend stream starts at the end of the file
  // and every write moves it to the new end. Streams of one file share its content.
  std::unique_ptr<CStream> Open(const std::string& path, OpenMode mode) override;
  // A listing is a snapshot taken by FindFirst: "." and ".." (unless turned off; ".." of the root is the
  // root itself), then the entries in the order they were created. Records carry time_create -1 and size
  // 0 for folders and special entries. A missing folder fails with ENOENT, a path that is no folder with
  // ENOTDIR; a folder without records to yield fails with ENOENT. A plain path yields its entry alone.
  std::unique_ptr<CFindHandle> FindFirst(const std::string& pattern, CFindData& data) override;
  // Creates the folder (times TimeNow()). Fails with EEXIST when anything is at path, ENOENT when the
  // parent is missing, ENOTDIR when the parent is no folder.
  int MakeDir(const std::string& path) override;
  // Sets both times of the entry at path; fails with ENOENT when nothing is there.
  int SetFileTimes(const std::string& path, int64_t accessTime, int64_t writeTime) override;
  // Removes the file at path (open streams keep its content); fails with ENOENT when nothing is there,
  // EISDIR for a folder.
  int RemoveFile(const std::string& path) override;

  // Returns what SetRemote set: true by default, as the engine's tests stand
  // the in-memory tree in for a share.
  bool IsRemote(const std::string& path) override;
  void SetRemote(bool remote);

private:
  enum class ENodeKind { kFolder, kFile, kSpecial };
  struct CNode;
  struct CCountdown {
    int times = 0;
    int err = 0;
    // Returns true (and uses up one repetition) when the fault is still active.
    bool Fire();
  };
  struct CReadFault {
    uint64_t offset = 0;
    CCountdown countdown;
    bool readingsOnly = false;
  };
  struct CGlitch {
    std::vector<int> values;
    size_t reads = 0;
  };
  struct CPathState {
    int opens = 0;
    int openFails = 0;
    int reads = 0;
    int lends = 0;
    uint64_t bytesRead = 0;
    int writes = 0;
    uint64_t bytesWritten = 0;
    int flushes = 0;
    int closes = 0;
    std::vector<CByteRange> dropCaches;
    int findFirsts = 0;
    int makeDirs = 0;

    CCountdown openFault;
    bool openUntilSet = false;
    int64_t openUntil = 0;
    int openUntilErr = 0;
    std::vector<CReadFault> readFaults;
    std::map<uint64_t, CGlitch> glitches;
    CCountdown writeFault;
    CCountdown closeFault;
    CCountdown makeDirFault;
    CCountdown listingOpenFault;
    std::vector<int> brokenListing;
    size_t brokenListingNext = 0;
    int brokenListingErr = 0;

    void ResetCounters();
    void ClearFaults();
  };
  class CMemStream;
  class CMemFind;
  class CMemReadings;

  bool UnderRoot(const std::string& path) const;
  CNode* FindNode(const std::string& path) const;
  std::shared_ptr<CNode> FindShared(const std::string& path) const;
  const CPathState* FindState(const std::string& path) const;
  template <class T>
  T Counter(const std::string& path, T CPathState::*field) const;
  CNode& CreateNode(const std::string& path, ENodeKind kind, int64_t mtime);
  CNode& BuildNode(const std::string& path, ENodeKind kind, int64_t mtime);
  void SetContent(CNode& node, std::string data, uint64_t patternSize, uint32_t seed);
  CFindData Record(const CNode& node, std::string name) const;
  int OpenLocked(const std::string& path, OpenMode mode, std::shared_ptr<CNode>& node, uint64_t& start);
  size_t StoreLocked(CNode& node, uint64_t position, const void* buffer, size_t count);
  // Reads as a stream of path at position would, faults and glitches applied (the faults of readings
  // too when reading is set): returns the bytes delivered, err set to the failure's errno or 0.
  size_t ReadLocked(const std::string& path, CNode& node, uint64_t position, void* buffer, size_t count,
                    int& err, bool reading = false);

  mutable std::mutex m_lock;
  std::string m_root;
  std::map<std::string, std::shared_ptr<CNode>> m_nodes;
  std::map<std::string, CPathState> m_paths;
  uint64_t m_nextIno = 1;
  uint64_t m_storedBytes = 0;
  uint64_t m_capacity = kUnlimited;
  bool m_dotEntries = true;
  uint32_t m_readingsDepth = 0;
  bool m_lending = false;
  int m_openStreams = 0;
  bool m_remote = true;
  CReadHook m_onRead;
  COpenHook m_onOpen;
};

// Mounts a file system for its lifetime: MountFileSystem(prefix, &fs) now, UnmountFileSystem(prefix) when
// destroyed (whatever was mounted at prefix before is not restored). On Windows the prefix is mounted a
// second time written with '/' for every '\', so that a path typed with slashes reaches fs as well.
class CMountGuard {
public:
  // Mounts fs at fs.Root().
  explicit CMountGuard(CMemFileSystem& fs);
  // Mounts fs at prefix.
  CMountGuard(const std::string& prefix, CFileSystem& fs);
  ~CMountGuard();
  CMountGuard(const CMountGuard&) = delete;
  CMountGuard& operator=(const CMountGuard&) = delete;

private:
  std::vector<std::string> m_prefixes;
};
