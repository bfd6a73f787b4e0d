// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX backend: streams over raw file descriptors and listings through
// opendir/readdir, with every error reported through errno.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "platform/posix/PosixFileSystem.h"
#include "platform/ErrnoGuard.h"
#include "platform/FindPatterns.h"
#include "platform/posix/PosixLongPath.h"
#include "platform/posix/PosixReadings.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

static_assert(sizeof(off_t) >= 8, "the POSIX backend needs 64-bit file offsets");

namespace {

// The largest count handed to one read(2) or write(2) call. Linux transfers at
// most about 2 GiB per call anyway; staying below SSIZE_MAX keeps the count
// well defined everywhere.
constexpr size_t kMaxTransfer = size_t{1} << 30;

// Linux's default readahead window: a file no longer than this is read in
// by the first read of it whatever hint it is given.
constexpr off_t kReadaheadWindow = 128 * 1024;

// Closes fd without changing errno.
void CloseQuietly(int fd) {
  CErrnoGuard guard;
  close(fd);
}

// Returns the lseek(2) origin for origin.
int Whence(SeekOrigin origin) {
  switch (origin) {
    case SeekOrigin::kSet:
      return SEEK_SET;
    case SeekOrigin::kCur:
      return SEEK_CUR;
    case SeekOrigin::kEnd:
      return SEEK_END;
  }
  return SEEK_SET;
}

// A stream over a file descriptor of a regular file. Nothing is buffered in
// user space: every Read and Write goes straight to the kernel. The stream
// keeps the file position it knows (the kernel's, without asking it), so
// Tell and a Seek to where the stream already stands cost no system call;
// only a write in append mode, which the kernel places at the file's end
// whoever wrote there, leaves the position to be asked for once.
//
// A read that follows DropCache is a re-read of a few pages: the kernel reads
// exactly what it asks for, without readahead, until the next read that
// follows no DropCache, which brings back the readahead of the open.
class CPosixStream final : public CStream {
public:
  // Takes over fd, whose position is 0; append tells that fd was opened with
  // O_APPEND, advice is the posix_fadvise(2) advice given at the open
  // (POSIX_FADV_NORMAL when none was).
  CPosixStream(int fd, bool append, int advice) : m_fd(fd), m_append(append), m_advice(advice) {}

  // Closes the descriptor if it is still open; errno is left as it was.
  ~CPosixStream() override {
    if (m_fd >= 0) CloseQuietly(m_fd);
  }

  // Returns the number of bytes read into buffer: count, or fewer when the
  // file ended (end-of-file indicator set) or read(2) failed (error indicator
  // set, errno from read). A count of 0 returns 0 and sets nothing.
  size_t Read(void* buffer, size_t count) override {
    if (count == 0) return 0;
    if (m_fd < 0) {
      errno = EBADF;
      SetError();
      return 0;
    }
    if (m_readaheadOff && !m_afterDrop) {
      CErrnoGuard guard;
      posix_fadvise(m_fd, 0, 0, m_advice);
      m_readaheadOff = false;
    }
    m_afterDrop = false;
    char* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
      size_t chunk = count - done < kMaxTransfer ? count - done : kMaxTransfer;
      ssize_t got = read(m_fd, out + done, chunk);
      if (got > 0) {
        done += static_cast<size_t>(got);
        m_position += got;
      } else if (got == 0) {
        SetEof();
        break;
      } else if (errno != EINTR) {
        SetError();
        break;
      }
    }
    return done;
  }

  // Returns count when every byte was written, or the number of bytes that
  // reached the file before write(2) failed, with the error indicator and
  // errno set.
  size_t Write(const void* buffer, size_t count) override {
    if (count == 0) return 0;
    if (m_fd < 0) {
      errno = EBADF;
      SetError();
      return 0;
    }
    const char* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
      size_t chunk = count - done < kMaxTransfer ? count - done : kMaxTransfer;
      ssize_t put = write(m_fd, in + done, chunk);
      if (put > 0) {
        done += static_cast<size_t>(put);
        // In append mode the kernel wrote at the end of the file, wherever
        // that was: the position is known again at the next Tell.
        if (m_append)
          m_positionKnown = false;
        else
          m_position += put;
      } else if (put == 0) {
        // A regular file accepting nothing without an error: report it as full
        // rather than loop for ever.
        errno = ENOSPC;
        SetError();
        break;
      } else if (errno != EINTR) {
        SetError();
        break;
      }
    }
    return done;
  }

  // Returns 0 after moving the position and clearing the end-of-file
  // indicator (the error indicator stays), or -1 with errno set (EINVAL for a
  // negative resulting position, EBADF on a closed stream); the position is
  // then unchanged. A seek to the position the stream knows it stands at
  // (kSet to it, or kCur by 0) asks nothing of the kernel: lseek(2) would
  // succeed and change nothing.
  int Seek(int64_t offset, SeekOrigin origin) override {
    if (m_fd < 0) {
      errno = EBADF;
      return -1;
    }
    const bool stays = m_positionKnown && ((origin == SeekOrigin::kSet && offset == m_position) ||
                                           (origin == SeekOrigin::kCur && offset == 0));
    if (!stays) {
      const off_t position = lseek(m_fd, static_cast<off_t>(offset), Whence(origin));
      if (position < 0) return -1;
      m_position = static_cast<int64_t>(position);
      m_positionKnown = true;
    }
    bool hadError = Error();
    ClearErr();
    if (hadError) SetError();
    return 0;
  }

  // Returns the current position, or -1 with errno set. Asks the kernel only
  // after a write in append mode.
  int64_t Tell() override {
    if (m_fd < 0) {
      errno = EBADF;
      return -1;
    }
    if (!m_positionKnown) {
      const off_t position = lseek(m_fd, 0, SEEK_CUR);
      if (position < 0) return -1;
      m_position = static_cast<int64_t>(position);
      m_positionKnown = true;
    }
    return m_position;
  }

  // Returns 0 (nothing is buffered in user space), or -1 with the error
  // indicator set and errno EBADF on a closed stream.
  int Flush() override {
    if (m_fd < 0) {
      errno = EBADF;
      SetError();
      return -1;
    }
    return 0;
  }

  // Returns 0 after closing the descriptor, or -1 with the error indicator
  // and errno set when close(2) reports an error (the descriptor is released
  // either way) or when the stream was already closed (EBADF).
  int Close() override {
    if (m_fd < 0) {
      errno = EBADF;
      SetError();
      return -1;
    }
    int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0) {
      SetError();
      return -1;
    }
    return 0;
  }

  // Asks the kernel to drop its cached pages of the range; failures are
  // ignored and errno is left as it was. Pages not yet written back stay
  // cached. The reads that follow go without readahead (see the class): a
  // window of a page or two read back through the readahead of a long file
  // makes the kernel look over its whole readahead range for every page.
  void DropCache(int64_t offset, int64_t length) override {
    if (m_fd < 0) return;
    CErrnoGuard guard;
    // The kernel drops only whole pages inside the range, so widen it to the
    // pages that hold its first and last bytes.
    static const int64_t page = sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096;
    const int64_t start = offset < 0 ? 0 : offset / page * page;
    const int64_t end = (offset + length + page - 1) / page * page;
    if (end <= start) return;
    posix_fadvise(m_fd, static_cast<off_t>(start), static_cast<off_t>(end - start), POSIX_FADV_DONTNEED);
    m_afterDrop = true;
    if (!m_readaheadOff) {
      posix_fadvise(m_fd, 0, 0, POSIX_FADV_RANDOM);
      m_readaheadOff = true;
    }
  }

  // Returns true with the device and inode of the open file, or false when
  // fstat(2) fails.
  bool Identify(CFileId& id) override {
    id = CFileId();
    struct stat st {};
    if (m_fd < 0 || fstat(m_fd, &st) != 0) return false;
    id.dev = static_cast<uint64_t>(st.st_dev);
    id.ino = static_cast<uint64_t>(st.st_ino);
    return true;
  }

  // Takes an open file description lock over the whole file: it conflicts
  // with every other open of the file, in this process or another, and goes
  // with the descriptor when it closes. Returns 0, -1 with errno
  // EWOULDBLOCK while another description holds a conflicting lock, or -1
  // with fcntl's errno when the file system cannot lock.
  int LockExclusive() override {
    if (m_fd < 0) {
      errno = EBADF;
      return -1;
    }
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    if (fcntl(m_fd, F_OFD_SETLK, &lock) == 0) return 0;
    if (errno == EAGAIN || errno == EACCES) errno = EWOULDBLOCK;
    return -1;
  }

  // Returns 0 after cutting the file to length bytes, or -1 with
  // ftruncate's errno. The position stays where it was, as ftruncate(2)
  // leaves the descriptor's offset alone.
  int Truncate(int64_t length) override {
    if (m_fd < 0) {
      errno = EBADF;
      return -1;
    }
    return ftruncate(m_fd, static_cast<off_t>(length)) == 0 ? 0 : -1;
  }

protected:
  // Returns direct readings of the open file, or nullptr when the file
  // system takes no direct reads: the readings then go through this stream,
  // each after a DropCache.
  std::unique_ptr<CReadQueue> OpenReadings() override { return m_fd < 0 ? nullptr : OpenPosixReadings(m_fd); }

private:
  int m_fd;
  const bool m_append;
  const int m_advice;
  int64_t m_position = 0;       // the descriptor's file position, while m_positionKnown
  bool m_positionKnown = true;  // false after a write in append mode, until the next Tell or Seek
  bool m_readaheadOff = false;  // POSIX_FADV_RANDOM is in force since a DropCache
  bool m_afterDrop = false;     // a DropCache came after the last read
};

// Fills data (all but the name) from st.
void FillFromStat(const struct stat& st, CFindData& data) {
  if (S_ISDIR(st.st_mode)) {
    data.attrib = kAttribSubdir;
    data.size = 0;
  } else if (S_ISREG(st.st_mode)) {
    data.attrib = 0;
    data.size = static_cast<uint64_t>(st.st_size);
  } else {
    data.attrib = kAttribSpecial;
    data.size = 0;
  }
  data.time_create = -1;
  data.time_access = static_cast<int64_t>(st.st_atim.tv_sec);
  data.time_write = static_cast<int64_t>(st.st_mtim.tv_sec);
  data.dev = static_cast<uint64_t>(st.st_dev);
  data.ino = static_cast<uint64_t>(st.st_ino);
}

// Fills data (all but the name) for an entry that could be stat'ed only
// without following a link (st), or not at all (st null): a special entry of
// size 0.
void FillSpecial(const struct stat* st, CFindData& data) {
  if (st) {
    FillFromStat(*st, data);
  } else {
    data.time_create = -1;
    data.time_access = -1;
    data.time_write = -1;
    data.dev = 0;
    data.ino = 0;
  }
  data.attrib = kAttribSpecial;
  data.size = 0;
}

// A listing of one folder through readdir.
class CPosixDirHandle final : public CFindHandle {
public:
  explicit CPosixDirHandle(DIR* dir) : m_dir(dir) {}

  // Closes the folder; errno is left as it was.
  ~CPosixDirHandle() override {
    CErrnoGuard guard;
    closedir(m_dir);
  }

  // Returns true with the next entry in data, false with errno ENOENT at the
  // end of the listing, or false with readdir's errno when it failed. Entries
  // are described as what they lead to (links are followed); one that cannot
  // be followed is special. errno is left as it was when true is returned.
  bool FindNext(CFindData& data) override {
    int saved = errno;
    errno = 0;
    const struct dirent* entry = readdir(m_dir);
    if (entry == nullptr) {
      if (errno == 0) errno = ENOENT;
      return false;
    }
    data.name = entry->d_name;
    int dirFd = dirfd(m_dir);
    struct stat st {};
    if (fstatat(dirFd, entry->d_name, &st, 0) == 0) {
      FillFromStat(st, data);
    } else if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      FillSpecial(&st, data);
    } else {
      FillSpecial(nullptr, data);
    }
    errno = saved;
    return true;
  }

private:
  DIR* m_dir;
};

class CPosixFileSystem final : public CFileSystem {
public:
  // Returns the open stream, or nullptr with errno set: open(2)'s errno, or
  // EINVAL when path is not a regular file (folder, FIFO, socket, device).
  // Opening never blocks on a FIFO. kWrite empties the file only after it is
  // known to be a regular file.
  std::unique_ptr<CStream> Open(const std::string& path, OpenMode mode) override {
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    switch (mode) {
      case OpenMode::kRead:
        flags |= O_RDONLY;
        break;
      case OpenMode::kAppend:
        flags |= O_WRONLY | O_CREAT | O_APPEND;
        break;
      case OpenMode::kWrite:
        flags |= O_WRONLY | O_CREAT;
        break;
      case OpenMode::kUpdate:
        flags |= O_WRONLY;
        break;
    }
    const CPathAt at(path);
    int fd = at.Ready() ? openat(at.Folder(), at.Name(), flags, 0666) : -1;
    if (fd < 0) {
      // Only entries that are not regular files give these: a folder opened
      // for writing, a socket, a FIFO without a reader, a device without a
      // driver.
      if (errno == EISDIR || errno == ENXIO) errno = EINVAL;
      return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
      CloseQuietly(fd);
      return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
      CloseQuietly(fd);
      errno = EINVAL;
      return nullptr;
    }
    if (mode == OpenMode::kWrite && ftruncate(fd, 0) != 0) {
      CloseQuietly(fd);
      return nullptr;
    }
    // F_SETFL changes only the status flags O_APPEND, O_ASYNC, O_DIRECT,
    // O_NOATIME and O_NONBLOCK, so setting those the stream was opened with,
    // less O_NONBLOCK, clears it without reading the flags first.
    const bool append = mode == OpenMode::kAppend;
    if (fcntl(fd, F_SETFL, append ? O_APPEND : 0) != 0) {
      CloseQuietly(fd);
      return nullptr;
    }
    // A file that one read of the default readahead window covers gains
    // nothing from the hint; a longer one is read ahead in larger steps.
    int advice = POSIX_FADV_NORMAL;
    if (mode == OpenMode::kRead && st.st_size > kReadaheadWindow) {
      advice = POSIX_FADV_SEQUENTIAL;
      posix_fadvise(fd, 0, 0, advice);
    }
    return std::make_unique<CPosixStream>(fd, append, advice);
  }

  // Returns the search with its first entry in data, or nullptr with errno
  // set: opendir's or lstat's errno (ENOENT for a missing folder or path), or
  // ENOENT for a folder that yields no entry. Paths of any length are
  // reached (see CPathAt).
  std::unique_ptr<CFindHandle> FindFirst(const std::string& pattern, CFindData& data) override {
    std::string folder;
    if (IsFolderPattern(pattern, folder, "/")) {
      DIR* dir = OpenFolder(folder);
      if (dir == nullptr) return nullptr;
      auto handle = std::make_unique<CPosixDirHandle>(dir);
      if (!handle->FindNext(data)) return nullptr;  // the handle keeps errno
      return handle;
    }
    // lstat first: a missing path (the usual case for a destination) and
    // anything but a link cost one call. A path that lstat cannot reach
    // fails stat the same way, as both walk the same folders; only a link
    // is followed, and one that leads nowhere is special.
    const CPathAt at(pattern);
    struct stat st {};
    if (!at.Ready() || fstatat(at.Folder(), at.Name(), &st, AT_SYMLINK_NOFOLLOW) != 0) return nullptr;
    if (S_ISLNK(st.st_mode)) {
      struct stat target {};
      if (fstatat(at.Folder(), at.Name(), &target, 0) == 0)
        FillFromStat(target, data);
      else
        FillSpecial(&st, data);
    } else {
      FillFromStat(st, data);
    }
    data.name = LastComponent(pattern, "/");
    return std::make_unique<CSingleEntryHandle>();
  }

  // Returns 0 after creating the folder (mode 0777 less the umask), or -1
  // with mkdir's errno.
  int MakeDir(const std::string& path) override {
    const CPathAt at(path);
    return at.Ready() && mkdirat(at.Folder(), at.Name(), 0777) == 0 ? 0 : -1;
  }

  // Returns 0 after setting the access and modification times of path (links
  // are followed), or -1 with utimensat's errno.
  int SetFileTimes(const std::string& path, int64_t accessTime, int64_t writeTime) override {
    struct timespec times[2] = {};
    times[0].tv_sec = static_cast<time_t>(accessTime);
    times[1].tv_sec = static_cast<time_t>(writeTime);
    const CPathAt at(path);
    return at.Ready() && utimensat(at.Folder(), at.Name(), times, 0) == 0 ? 0 : -1;
  }

  // Returns 0 after removing the file at path, or -1 with unlinkat's errno.
  int RemoveFile(const std::string& path) override {
    const CPathAt at(path);
    return at.Ready() && unlinkat(at.Folder(), at.Name(), 0) == 0 ? 0 : -1;
  }

  // Returns true when the file system holding path (the entry itself, so
  // that a mount point counts as what is mounted there) is one reached over
  // a network: NFS, SMB (kernel cifs or smb3), FUSE, 9P, Ceph, AFS, Coda or
  // NCP, by statfs's type. errno is kept.
  bool IsRemote(const std::string& path) override {
    const CErrnoGuard keep;
    const CPathAt at(path);
    if (!at.Ready()) return false;
    const int fd = openat(at.Folder(), at.Name(), O_PATH | O_CLOEXEC);
    if (fd < 0) return false;
    struct statfs st {};
    const bool known = fstatfs(fd, &st) == 0;
    close(fd);
    if (!known) return false;
    switch (static_cast<uint32_t>(st.f_type)) {
      case 0x6969u:      // NFS
      case 0x517Bu:      // SMB
      case 0xFF534D42u:  // CIFS
      case 0xFE534D42u:  // SMB2
      case 0x65735546u:  // FUSE
      case 0x01021997u:  // 9P
      case 0x00C36400u:  // Ceph
      case 0x5346414Fu:  // AFS
      case 0x73757245u:  // Coda
      case 0x564Cu:      // NCP
        return true;
      default:
        return false;
    }
  }

private:
  // Returns the open listing of the folder at path (any length), or nullptr
  // with errno set as opendir(3) sets it.
  static DIR* OpenFolder(const std::string& path) {
    const CPathAt at(path);
    if (!at.Ready()) return nullptr;
    const int fd = openat(at.Folder(), at.Name(), O_RDONLY | O_NONBLOCK | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) CloseQuietly(fd);
    return dir;
  }
};

}  // namespace

// Returns the process-wide POSIX backend, created on first use.
CFileSystem& PosixFileSystem() {
  static CPosixFileSystem fs;
  return fs;
}
