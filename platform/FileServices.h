// SPDX-License-Identifier: GPL-3.0-or-later
// The file services the copy engine uses instead of the C runtime: byte
// streams, directory listing, folders, time stamps, the clock, a seeded
// pseudo-random generator and sleeping.
//
// One interface, one implementation per backend. A backend is chosen per path
// at run time (see MountFileSystem), so the engine never knows whether it
// reads a local file, a mounted share or a test's in-memory tree.
//
// Positions, sizes and times are 64-bit. Failures are reported as values and
// through errno, never by exceptions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Attribute bits of a listing record.
inline constexpr uint32_t kAttribSubdir = 0x10;  // the entry is a folder
// The entry is neither a regular file nor a folder (socket, FIFO, device, a
// link that leads nowhere): it is listed so that it can be reported, but it is
// never opened for reading.
inline constexpr uint32_t kAttribSpecial = 0x40;

// One directory-listing record.
struct CFindData {
  uint32_t attrib = 0;
  int64_t time_create = -1;  // calendar seconds, -1 when the file system has none
  int64_t time_access = -1;
  int64_t time_write = -1;
  uint64_t size = 0;
  std::string name;  // the entry's own name, no folder part; bytes as stored
  // Identity of the entry on its file system (device and inode on POSIX);
  // both 0 when unknown. Used to recognise a folder reached twice.
  uint64_t dev = 0;
  uint64_t ino = 0;
};

// Identity of a file on its file system (device and inode on POSIX): two
// paths, or two open streams, name one file exactly when their identities
// are equal and known.
struct CFileId {
  uint64_t dev = 0;
  uint64_t ino = 0;
  // Returns true when the identity says anything (not both 0).
  bool Known() const { return dev != 0 || ino != 0; }
  // Returns true when a file server gave the identity: its device's high
  // bytes spell "SMB" and ino is the server's file ID, which names the file
  // whatever name or address the server was reached by (a server on this
  // machine gives the local file's inode number).
  bool FromServer() const { return (dev >> 40) == 0x534D42; }
  bool operator==(const CFileId&) const = default;
};

enum class OpenMode {
  kRead,    // "rb": an existing file, read from its start
  kAppend,  // "ab": created when missing; every write goes to its end
  kWrite,   // "wb": created, or emptied when it exists
  // An existing file (never created, never emptied), opened for writing at
  // the stream's position, which starts at 0: Seek, then Write, overwrites
  // bytes inside the file or adds to its end.
  kUpdate,
};

enum class SeekOrigin { kSet, kCur, kEnd };

// Readings of one open file at positions of their own, several in flight
// together, each a request of its own that reaches the device or the server:
// never served from a cache on this machine, never through a stream's shared
// position. A reading lands in scratch memory the caller owns: at least
// kReadingScratchBytes, aligned to kReadingScratchAlign, holding a window of
// at most kReadingWindowMax bytes.
//
// Used by one thread at a time; the backend may read on threads of its own.
inline constexpr size_t kReadingWindowMax = 6144;
inline constexpr size_t kReadingScratchBytes = 16384;
inline constexpr size_t kReadingScratchAlign = 4096;

class CReadQueue {
public:
  CReadQueue() = default;
  CReadQueue(const CReadQueue&) = delete;
  CReadQueue& operator=(const CReadQueue&) = delete;
  // Waits for every reading still in flight.
  virtual ~CReadQueue();

  // Returns how many readings may be in flight together (at least 1); slots
  // are numbered from 0 to one less.
  virtual uint32_t Depth() const = 0;

  // Starts the reading of count bytes (at most kReadingWindowMax) at
  // position into scratch, as slot; no other reading of that slot may be in
  // flight.
  virtual void Start(uint32_t slot, int64_t position, uint32_t count, uint8_t* scratch) = 0;

  // Waits for the reading of slot to end. Returns a pointer into its scratch
  // to the bytes read, with got set to their number (count, or fewer when
  // the file ended there), or nullptr with errno set when the reading
  // failed.
  virtual const uint8_t* Finish(uint32_t slot, uint32_t& got) = 0;
};

// A byte stream with the C runtime's separate end-of-file and error
// indicators. Streams are used by one thread at a time.
class CStream {
public:
  CStream() = default;
  CStream(const CStream&) = delete;
  CStream& operator=(const CStream&) = delete;
  virtual ~CStream();

  // Reads up to count bytes into buffer and returns how many were read. Fewer
  // than count only at end of file (end-of-file indicator set) or after a
  // failure (error indicator set, errno tells why).
  virtual size_t Read(void* buffer, size_t count) = 0;

  // Returns the next count bytes of the stream without copying them, when
  // the stream holds them already (read ahead), and moves the position past
  // them. They stay valid until the next call on the stream other than Tell,
  // Eof, Error and a Seek to the current position. Returns nullptr, with
  // nothing moved and neither indicator changed, when the stream does not
  // hold all count bytes (the default): Read then reads them.
  virtual const uint8_t* Lend(size_t count);

  // Writes count bytes and returns count, or sets the error indicator (and
  // errno) and returns how many bytes reached the file before the failure.
  virtual size_t Write(const void* buffer, size_t count) = 0;

  // Moves the position. Returns 0 and clears the end-of-file indicator, or -1
  // with errno set (the position is then unchanged).
  virtual int Seek(int64_t offset, SeekOrigin origin) = 0;

  // Returns the current position, or -1 with errno set.
  virtual int64_t Tell() = 0;

  // Writes out buffered output; on an input stream discards buffered input.
  // Returns 0, or -1 with the error indicator and errno set.
  virtual int Flush() = 0;

  // Closes the stream: writes out what is buffered and releases the file.
  // Returns 0, or -1 with the error indicator and errno set (a network file
  // system may report a failed write only here). Later calls fail. Destroying
  // an open stream closes it.
  virtual int Close() = 0;

  // Asks the backend to forget what it holds cached of [offset, offset +
  // length) so that the next read of that range comes from the source itself.
  // A backend without a cache does nothing.
  virtual void DropCache(int64_t offset, int64_t length);

  // Tells the stream where its reader means to stop reading: end is the
  // position past the last byte it expects to read (the length the file was
  // listed with, say). A backend that reads ahead reads nothing at or past
  // end for it, so that a file of the expected length costs no request that
  // only finds its end. Nothing else changes: a Read that asks for bytes at
  // or past end reads them from the file as though nothing had been said
  // (a file that grew is read on, and its end is found by a read that comes
  // back short), and a file that ends before end ends there as ever. The
  // default does nothing.
  virtual void ExpectEnd(uint64_t end);

  // Fills id with the identity of the open file and returns true, or
  // returns false when the backend cannot tell (id is then left unknown).
  virtual bool Identify(CFileId& id);

  // Takes an exclusive lock on the open file for as long as this stream
  // stays open; streams of other runs or other processes that ask for one
  // meanwhile are refused. Returns 0 when the lock is held, -1 with errno
  // EWOULDBLOCK when another stream holds it, or -1 with another errno when
  // the file system offers no such lock (the default: ENOTSUP).
  virtual int LockExclusive();

  // Cuts the file to length bytes (a stream opened for writing); the
  // stream's position is not moved. Returns 0, or -1 with errno set (the
  // default: ENOTSUP).
  virtual int Truncate(int64_t length);

  // Returns the readings of this stream's file for verification, made on
  // first use and kept while the stream lives: the backend's own (see
  // OpenReadings) or, when it has none, readings one at a time through this
  // stream itself, each after a DropCache of its window. The stream's
  // position and indicators are undefined after readings through it.
  CReadQueue& Readings();

  bool Eof() const { return m_eof; }
  bool Error() const { return m_error; }
  // Clears both indicators.
  void ClearErr() {
    m_eof = false;
    m_error = false;
  }

protected:
  void SetEof() { m_eof = true; }
  void SetError() { m_error = true; }

  // Returns the backend's readings of the open file, or nullptr when it
  // offers none (the default) or cannot make them now; Readings then reads
  // through the stream.
  virtual std::unique_ptr<CReadQueue> OpenReadings();

private:
  bool m_eof = false;
  bool m_error = false;
  std::unique_ptr<CReadQueue> m_readings;
};

// An open directory search. Destroying it closes the search and leaves errno
// as it was.
class CFindHandle {
public:
  CFindHandle() = default;
  CFindHandle(const CFindHandle&) = delete;
  CFindHandle& operator=(const CFindHandle&) = delete;
  virtual ~CFindHandle();

  // Fills data with the next entry and returns true. Returns false with errno
  // ENOENT when the listing has no more entries, or false with another errno
  // when the listing failed.
  virtual bool FindNext(CFindData& data) = 0;
};

// A file system backend: everything that depends on the path.
class CFileSystem {
public:
  virtual ~CFileSystem();

  // Opens the file at path. Returns nullptr with errno set when it does not
  // open. Only regular files are opened; anything else fails with EINVAL.
  // On a share path (SmbFileSystem.h) the errno tells the cause: EACCES
  // only when the server refused the logon itself, EPERM when it admitted
  // the logon and refused this file or folder, ENOENT when it answered that
  // the share or the path does not exist, EILSEQ when a name cannot be put
  // on the share, a connection errno (ETIMEDOUT, ECONNREFUSED, ECONNRESET,
  // EHOSTUNREACH, ...) when the server could not be reached.
  virtual std::unique_ptr<CStream> Open(const std::string& path, OpenMode mode) = 0;

  // Starts a search. A pattern whose last component is "*.*" lists every
  // entry of the folder before it, "." and ".." included: a backend whose
  // file system lacks them yields them all the same, so that an empty folder
  // is never mistaken for one that cannot be listed. Any other pattern is a
  // plain path and yields that entry itself.
  // Returns the open search with its first entry in data, or nullptr with
  // errno set (ENOENT when nothing matches; EILSEQ when the folder holds a
  // name the backend cannot hand out and refuses the whole listing for, so
  // that no later attempt will list it either, or when a name of the
  // pattern cannot be put on a share; on a share path the other causes as
  // for Open: EACCES for a refused logon only, EPERM for a refused folder).
  virtual std::unique_ptr<CFindHandle> FindFirst(const std::string& pattern, CFindData& data) = 0;

  // Creates the folder. Returns 0, or -1 with errno set.
  virtual int MakeDir(const std::string& path) = 0;

  // Sets the access and modification times. Returns 0, or -1 with errno set.
  virtual int SetFileTimes(const std::string& path, int64_t accessTime, int64_t writeTime) = 0;

  // Removes the regular file at path. Returns 0, or -1 with errno set
  // (ENOTSUP from a backend that cannot remove files: the default).
  virtual int RemoveFile(const std::string& path);

  // Returns true when path lies on a file system reached over a network (a
  // share, an NFS or kernel SMB mount, a FUSE file system), where every open
  // and first read waits for a round trip; false for a local disk, and when
  // it cannot be told (the default).
  virtual bool IsRemote(const std::string& path);

  // Reads the file at path as an open, a seek to start and a read of count
  // bytes would, the reader meaning to stop at end (CStream::ExpectEnd), and
  // closes it. Returns true with data holding the bytes read (fewer than
  // count only where the file ended), or false with errno set when the file
  // does not open, seek or read. The default does just that here; a backend
  // that reaches a server may serve it elsewhere (the SMB backend in a
  // helper process), so that reads of several threads go out together.
  virtual bool ReadFileAt(const std::string& path, uint64_t start, size_t count, uint64_t end,
                          std::vector<uint8_t>& data);
};

// The clock and the pause. Every pause of the engine goes through Sleep, so a
// test clock can advance time instead of waiting.
class CClock {
public:
  virtual ~CClock();
  // Returns the calendar time in seconds.
  virtual int64_t Now() = 0;
  // Pauses the calling thread for ms milliseconds.
  virtual void Sleep(uint32_t ms) = 0;
};

// Makes fs serve every path that begins with prefix as whole components
// ("/mem" serves "/mem" and "/mem/a", not "/memory"); the longest matching
// prefix wins, and paths that match none go to the POSIX backend. The caller
// keeps fs alive until it is unmounted. Mount before a run starts.
void MountFileSystem(const std::string& prefix, CFileSystem* fs);
void UnmountFileSystem(const std::string& prefix);

// Returns the backend that serves path.
CFileSystem& FileSystemFor(std::string_view path);

// Replaces the clock (nullptr restores the system clock). Set it before a run
// starts.
void SetClock(CClock* clock);

// The operations the engine calls. Each dispatches to the backend of its path.
std::unique_ptr<CStream> FileOpen(const std::string& path, OpenMode mode);
std::unique_ptr<CFindHandle> FindFirst(const std::string& pattern, CFindData& data);
int MakeDir(const std::string& path);
int SetFileTimes(const std::string& path, int64_t accessTime, int64_t writeTime);
int RemoveFile(const std::string& path);
bool IsRemotePath(const std::string& path);
bool ReadFileAt(const std::string& path, uint64_t start, size_t count, uint64_t end,
                std::vector<uint8_t>& data);

// Returns the full path of the process's current directory, or an empty text
// when it cannot be determined.
std::string CurrentDirectory();

// Returns the system's description of the error number error, such as "No
// space left on device".
std::string ErrorText(int error);

// Returns the calendar time in seconds, from the clock in use.
int64_t TimeNow();

// Pauses for ms milliseconds through the clock in use.
void SleepMs(uint32_t ms);

// Seeds the calling thread's pseudo-random generator.
void SeedRandom(uint32_t seed);

// Returns the next number of the calling thread's generator, 0 to 32767.
int Random();

// Returns the state of the calling thread's generator: SeedRandom with it
// makes the generator go on exactly from here.
uint32_t RandomState();
