// The Windows backend: streams over Win32 file handles and listings through
// FindFirstFileExW, with every error reported through errno.
#include "WinFileSystem.h"

#include "WindowsApi.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ErrnoGuard.h"
#include "WinErrors.h"
#include "WinPath.h"
#include "WinReadings.h"

namespace {

// The largest count handed to one ReadFile or WriteFile call.
constexpr DWORD kMaxTransfer = DWORD{1} << 30;

// FILETIME ticks (100 ns since 1601) at the start of 1970, and per second.
constexpr int64_t kEpochTicks = 116444736000000000;
constexpr int64_t kTicksPerSecond = 10000000;

// The byte LockExclusive locks: far past the end of any file, so that the
// lock excludes the locks of other streams without barring anybody's reads
// and writes of the data (Windows byte-range locks are mandatory).
constexpr uint64_t kLockOffset = 0x7FFFFFFFFFFFFFF0;

// Returns time as calendar seconds since 1970 (rounded down), or -1 when the
// file system keeps no such time (a zero FILETIME).
int64_t SecondsFromFileTime(const FILETIME& time) {
  const uint64_t ticks = (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
  if (ticks == 0) return -1;
  const int64_t since = static_cast<int64_t>(ticks) - kEpochTicks;
  int64_t seconds = since / kTicksPerSecond;
  if (since % kTicksPerSecond < 0) --seconds;
  return seconds;
}

// Stores in time the FILETIME of seconds since 1970 and returns true, or
// returns false when seconds falls before 1601 or beyond what FILETIME holds.
bool FileTimeFromSeconds(int64_t seconds, FILETIME& time) {
  constexpr int64_t kLowest = -kEpochTicks / kTicksPerSecond;
  constexpr int64_t kHighest = (INT64_MAX - kEpochTicks) / kTicksPerSecond;
  if (seconds < kLowest || seconds > kHighest) return false;
  const auto ticks = static_cast<uint64_t>(seconds * kTicksPerSecond + kEpochTicks);
  time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return true;
}

// Returns the 64-bit value of the high and low halves.
uint64_t Join(DWORD high, DWORD low) { return (uint64_t{high} << 32) | low; }

// Fills data's attributes, size and times from what the system reports of
// an entry (any of its records: all carry these fields under these names),
// the attributes already worked out as attrib; the identity is left unknown.
template <typename Record>
void FillCommon(uint32_t attrib, const Record& found, CFindData& data) {
  data.attrib = attrib;
  data.size = attrib == 0 ? Join(found.nFileSizeHigh, found.nFileSizeLow) : 0;
  data.time_create = SecondsFromFileTime(found.ftCreationTime);
  data.time_access = SecondsFromFileTime(found.ftLastAccessTime);
  data.time_write = SecondsFromFileTime(found.ftLastWriteTime);
  data.dev = 0;
  data.ino = 0;
}

// Fills data (all but the name and the identity) from the listing record
// found.
void FillFromFind(const WIN32_FIND_DATAW& found, CFindData& data) {
  FillCommon(AttribFromWin32(found.dwFileAttributes, found.dwReserved0), found, data);
}

// Fills data (all but the name) from the attributes of an entry that was
// not opened; the identity is unknown.
void FillFromAttributes(const WIN32_FILE_ATTRIBUTE_DATA& found, CFindData& data) {
  // A reparse point's tag is unknown here: one that could not be opened (a
  // link leading nowhere) is special.
  FillCommon(AttribFromWin32(found.dwFileAttributes, 0), found, data);
}

// Fills data (all but the name) from the information of a handle opened
// through links: a reparse point that is left there stands for its own data.
void FillFromHandle(const BY_HANDLE_FILE_INFORMATION& info, CFindData& data) {
  FillCommon(AttribFromWin32(info.dwFileAttributes & ~DWORD{FILE_ATTRIBUTE_REPARSE_POINT}, 0), info, data);
  data.dev = info.dwVolumeSerialNumber;
  data.ino = Join(info.nFileIndexHigh, info.nFileIndexLow);
}

// Closes handle without changing errno.
void CloseQuietly(HANDLE handle) {
  CErrnoGuard guard;
  CloseHandle(handle);
}

// Returns the SetFilePointerEx method for origin.
DWORD MoveMethod(SeekOrigin origin) {
  switch (origin) {
    case SeekOrigin::kSet:
      return FILE_BEGIN;
    case SeekOrigin::kCur:
      return FILE_CURRENT;
    case SeekOrigin::kEnd:
      return FILE_END;
  }
  return FILE_BEGIN;
}

// A stream over a Win32 handle of a regular file, opened for synchronous
// I/O. Nothing is buffered here: every Read and Write is one system call or
// more. A stream reads or writes, never both, as its mode says; the wrong
// one fails with EBADF as on a descriptor opened for the other.
class CWinStream final : public CStream {
public:
  // Takes over handle, whose position is 0; mode is the mode it was opened
  // with; widePath is its Win32Path, for the readings' own handle.
  CWinStream(HANDLE handle, OpenMode mode, std::wstring widePath)
      : m_handle(handle), m_mode(mode), m_widePath(std::move(widePath)) {}

  // Closes the handle if it is still open; errno is left as it was.
  ~CWinStream() override {
    if (m_handle != INVALID_HANDLE_VALUE) CloseQuietly(m_handle);
  }

  // Returns the number of bytes read into buffer: count, or fewer when the
  // file ended (end-of-file indicator set) or ReadFile failed (error
  // indicator set, errno from the Win32 error; EBADF on a stream opened for
  // writing or closed). A count of 0 returns 0 and sets nothing.
  size_t Read(void* buffer, size_t count) override {
    if (count == 0) return 0;
    if (m_handle == INVALID_HANDLE_VALUE || m_mode != OpenMode::kRead) {
      errno = EBADF;
      SetError();
      return 0;
    }
    char* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
      const DWORD chunk = count - done < kMaxTransfer ? static_cast<DWORD>(count - done) : kMaxTransfer;
      DWORD got = 0;
      if (!ReadFile(m_handle, out + done, chunk, &got, nullptr)) {
        if (GetLastError() == ERROR_HANDLE_EOF) {
          SetEof();
        } else {
          SetErrnoFromLastError();
          SetError();
        }
        break;
      }
      if (got == 0) {
        SetEof();
        break;
      }
      done += got;
    }
    return done;
  }

  // Returns count when every byte was written, or the number of bytes that
  // reached the file before WriteFile failed, with the error indicator and
  // errno set (EBADF on a stream opened for reading or closed). In append
  // mode every write goes to the end of the file, wherever that is then.
  size_t Write(const void* buffer, size_t count) override {
    if (count == 0) return 0;
    if (m_handle == INVALID_HANDLE_VALUE || m_mode == OpenMode::kRead) {
      errno = EBADF;
      SetError();
      return 0;
    }
    const char* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
      const DWORD chunk = count - done < kMaxTransfer ? static_cast<DWORD>(count - done) : kMaxTransfer;
      DWORD put = 0;
      BOOL written = FALSE;
      if (m_mode == OpenMode::kAppend) {
        // Both offset halves all ones: the write goes to the end of the file,
        // as with a handle opened for appending only.
        OVERLAPPED atEnd{};
        atEnd.Offset = 0xFFFFFFFFu;
        atEnd.OffsetHigh = 0xFFFFFFFFu;
        written = WriteFile(m_handle, in + done, chunk, &put, &atEnd);
      } else {
        written = WriteFile(m_handle, in + done, chunk, &put, nullptr);
      }
      if (!written) {
        SetErrnoFromLastError();
        SetError();
        break;
      }
      if (put == 0) {
        // Nothing accepted without an error: report it as full rather than
        // loop for ever.
        errno = ENOSPC;
        SetError();
        break;
      }
      done += put;
    }
    return done;
  }

  // Returns 0 after moving the position and clearing the end-of-file
  // indicator (the error indicator stays), or -1 with errno set (EINVAL for
  // a negative resulting position, EBADF on a closed stream); the position
  // is then unchanged.
  int Seek(int64_t offset, SeekOrigin origin) override {
    if (m_handle == INVALID_HANDLE_VALUE) {
      errno = EBADF;
      return -1;
    }
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    if (!SetFilePointerEx(m_handle, distance, nullptr, MoveMethod(origin))) {
      SetErrnoFromLastError();
      return -1;
    }
    const bool hadError = Error();
    ClearErr();
    if (hadError) SetError();
    return 0;
  }

  // Returns the current position, or -1 with errno set.
  int64_t Tell() override {
    if (m_handle == INVALID_HANDLE_VALUE) {
      errno = EBADF;
      return -1;
    }
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(m_handle, LARGE_INTEGER{}, &position, FILE_CURRENT)) {
      SetErrnoFromLastError();
      return -1;
    }
    return position.QuadPart;
  }

  // Returns 0 (nothing is buffered here), or -1 with the error indicator set
  // and errno EBADF on a closed stream.
  int Flush() override {
    if (m_handle == INVALID_HANDLE_VALUE) {
      errno = EBADF;
      SetError();
      return -1;
    }
    return 0;
  }

  // Returns 0 after closing the handle, or -1 with the error indicator and
  // errno set when CloseHandle fails (the handle is released either way) or
  // when the stream was already closed (EBADF).
  int Close() override {
    if (m_handle == INVALID_HANDLE_VALUE) {
      errno = EBADF;
      SetError();
      return -1;
    }
    HANDLE handle = m_handle;
    m_handle = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle)) {
      SetErrnoFromLastError();
      SetError();
      return -1;
    }
    return 0;
  }

  // Returns true with the volume serial number as dev and the file index as
  // ino, or false when GetFileInformationByHandle fails.
  bool Identify(CFileId& id) override {
    id = CFileId();
    BY_HANDLE_FILE_INFORMATION info{};
    if (m_handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(m_handle, &info)) return false;
    id.dev = info.dwVolumeSerialNumber;
    id.ino = Join(info.nFileIndexHigh, info.nFileIndexLow);
    return true;
  }

  // Locks one byte far past the data (kLockOffset) for this handle: every
  // other handle of the file, in this process or another, is refused that
  // lock until this one closes. Returns 0, -1 with errno EWOULDBLOCK while
  // another handle holds it, or -1 with the Win32 error's errno when the
  // file system cannot lock.
  int LockExclusive() override {
    if (m_handle == INVALID_HANDLE_VALUE) {
      errno = EBADF;
      return -1;
    }
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(kLockOffset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(kLockOffset >> 32);
    if (LockFileEx(m_handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return 0;
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
      errno = EWOULDBLOCK;
    } else {
      errno = ErrnoFromWin32(error);
    }
    return -1;
  }

  // Returns 0 after cutting (or extending) the file to length bytes, or -1
  // with errno set. The position is not moved.
  int Truncate(int64_t length) override {
    if (m_handle == INVALID_HANDLE_VALUE) {
      errno = EBADF;
      return -1;
    }
    if (length < 0) {
      errno = EINVAL;
      return -1;
    }
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = length;
    if (!SetFileInformationByHandle(m_handle, FileEndOfFileInfo, &end, sizeof end)) {
      SetErrnoFromLastError();
      return -1;
    }
    return 0;
  }

protected:
  // Returns readings through a handle of the file's own without the system
  // cache, or nullptr when it does not open so: the readings then go
  // through this stream.
  std::unique_ptr<CReadQueue> OpenReadings() override {
    return m_handle == INVALID_HANDLE_VALUE ? nullptr : OpenWinReadings(m_widePath);
  }

private:
  HANDLE m_handle;
  const OpenMode m_mode;
  const std::wstring m_widePath;
};

// Returns the last component of path without trailing separators ('/' or
// '\\'): "C:\a\b\" gives "b", "C:\" gives "C:".
std::string LastComponent(const std::string& path) {
  const size_t end = path.find_last_not_of("/\\");
  if (end == std::string::npos) return std::string();
  const size_t slash = path.find_last_of("/\\", end);
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(start, end + 1 - start);
}

// Returns true when the last component of pattern is exactly "*.*", and then
// stores in folder the folder before it ("." when the pattern has none).
bool IsFolderPattern(const std::string& pattern, std::string& folder) {
  constexpr std::string_view kAll = "*.*";
  if (!std::string_view(pattern).ends_with(kAll)) return false;
  const size_t prefix = pattern.size() - kAll.size();
  if (prefix > 0 && pattern[prefix - 1] != '/' && pattern[prefix - 1] != '\\') return false;
  folder = prefix == 0 ? std::string(".") : pattern.substr(0, prefix);
  return true;
}

// Returns the folder that holds the entry at widePath (a Win32Path), or
// widePath itself when it is a root.
std::wstring ParentOf(const std::wstring& widePath) {
  const size_t slash = widePath.find_last_of(L'\\');
  if (slash == std::wstring::npos) return widePath;
  std::wstring parent = widePath.substr(0, slash);
  // "\\?\C:" and "\\?\UNC\server\share" are no folders to describe; a
  // drive's root keeps its separator.
  if (parent.size() >= 2 && parent.back() == L':') return parent + L'\\';
  if (parent.starts_with(L"\\\\?\\UNC\\") && parent.find(L'\\', 8) == std::wstring::npos) return widePath;
  if (parent == L"\\\\?") return widePath;
  return parent;
}

// Fills data with the record of the folder at widePath under the name name
// and returns true, or returns false with errno set (ENOTDIR when widePath
// is no folder).
bool DescribeFolder(const std::wstring& widePath, const char* name, CFindData& data) {
  WIN32_FILE_ATTRIBUTE_DATA found{};
  if (!GetFileAttributesExW(widePath.c_str(), GetFileExInfoStandard, &found)) {
    SetErrnoFromLastError();
    return false;
  }
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    errno = ENOTDIR;
    return false;
  }
  FillFromAttributes(found, data);
  data.attrib = kAttribSubdir;
  data.size = 0;
  data.name = name;
  return true;
}

// A listing of one folder through FindFirstFileExW: "." and ".." first,
// made here, then every other entry as the system finds it ("." and ".."
// among them are skipped).
class CWinFindHandle final : public CFindHandle {
public:
  // Takes over search (INVALID_HANDLE_VALUE when the folder has no entry
  // the system lists) with first holding its first record; dot and dotDot
  // are the records yielded first.
  CWinFindHandle(HANDLE search, const WIN32_FIND_DATAW& first, CFindData dot, CFindData dotDot)
      : m_search(search), m_found(first), m_haveFound(search != INVALID_HANDLE_VALUE) {
    m_dots[0] = std::move(dot);
    m_dots[1] = std::move(dotDot);
  }

  // Closes the search; errno is left as it was.
  ~CWinFindHandle() override {
    if (m_search != INVALID_HANDLE_VALUE) {
      CErrnoGuard guard;
      FindClose(m_search);
    }
  }

  // Returns true with the next entry in data, false with errno ENOENT at the
  // end of the listing, or false with the Win32 error's errno when it
  // failed. errno is left as it was when true is returned.
  bool FindNext(CFindData& data) override {
    if (m_dotsGiven < 2) {
      data = m_dots[m_dotsGiven++];
      return true;
    }
    for (;;) {
      if (!m_haveFound) {
        if (m_search == INVALID_HANDLE_VALUE || m_ended) {
          errno = ENOENT;
          return false;
        }
        if (!FindNextFileW(m_search, &m_found)) {
          const DWORD error = GetLastError();
          if (error == ERROR_NO_MORE_FILES) {
            m_ended = true;
            errno = ENOENT;
          } else {
            errno = ErrnoFromWin32(error);
            // A failure that says "no more" in another way is still a failure.
            if (errno == ENOENT) errno = EIO;
          }
          return false;
        }
      }
      m_haveFound = false;
      const std::wstring_view name(m_found.cFileName);
      if (name == L"." || name == L"..") continue;
      FillFromFind(m_found, data);
      data.name = Utf8FromWide(name);
      return true;
    }
  }

private:
  HANDLE m_search;
  WIN32_FIND_DATAW m_found;  // the record not yet yielded, while m_haveFound
  bool m_haveFound;
  bool m_ended = false;
  CFindData m_dots[2];
  int m_dotsGiven = 0;
};

// The search of a plain path: its one entry is returned by FindFirst.
class CSingleEntryHandle final : public CFindHandle {
public:
  // Returns false with errno ENOENT: there is no entry after the first.
  bool FindNext(CFindData& /*data*/) override {
    errno = ENOENT;
    return false;
  }
};

class CWinFileSystem final : public CFileSystem {
public:
  // Returns the open stream, or nullptr with errno set: the Win32 error's
  // errno (ENOENT for a missing file or folder on its path), or EINVAL when
  // path is not a regular file (a folder, a device). kWrite empties the file
  // only after it is known to be a regular file. Every open shares reading,
  // writing and deleting with other opens: exclusion between copies is
  // LockExclusive's.
  std::unique_ptr<CStream> Open(const std::string& path, OpenMode mode) override {
    const std::wstring wide = Win32Path(path);
    if (wide.empty()) {
      errno = ENOENT;
      return nullptr;
    }
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    if (mode == OpenMode::kRead) {
      flags |= FILE_FLAG_SEQUENTIAL_SCAN;
    } else {
      access = GENERIC_WRITE;
      disposition = OPEN_ALWAYS;
    }
    HANDLE handle = CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      errno = ErrnoFromWin32(error);
      // A folder does not open as a file: the system says access denied.
      if (error == ERROR_ACCESS_DENIED) {
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) errno = EINVAL;
      }
      return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK) {
      CloseQuietly(handle);
      errno = EINVAL;
      return nullptr;
    }
    if (!GetFileInformationByHandle(handle, &info)) {
      SetErrnoFromLastError();
      CloseQuietly(handle);
      return nullptr;
    }
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
      CloseQuietly(handle);
      errno = EINVAL;
      return nullptr;
    }
    if (mode == OpenMode::kWrite) {
      FILE_END_OF_FILE_INFO end{};
      if (!SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end)) {
        SetErrnoFromLastError();
        CloseQuietly(handle);
        return nullptr;
      }
    }
    return std::make_unique<CWinStream>(handle, mode, wide);
  }

  // Returns the search with its first entry in data, or nullptr with errno
  // set: ENOENT for a missing folder or path (and for a name no Windows file
  // can have), ENOTDIR for a folder pattern below a file, or the Win32
  // error's errno.
  std::unique_ptr<CFindHandle> FindFirst(const std::string& pattern, CFindData& data) override {
    std::string folder;
    if (IsFolderPattern(pattern, folder)) return ListFolder(folder, data);
    const std::wstring wide = Win32Path(pattern);
    if (wide.empty()) {
      errno = ENOENT;
      return nullptr;
    }
    // Opened to be described, links followed: what a link leads to is
    // listed, as on POSIX; a link leading nowhere is described by its own
    // attributes, as special.
    HANDLE handle = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info)) {
      CloseQuietly(handle);
      FillFromHandle(info, data);
    } else {
      if (handle != INVALID_HANDLE_VALUE) CloseQuietly(handle);
      WIN32_FILE_ATTRIBUTE_DATA found{};
      if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &found)) {
        const DWORD error = GetLastError();
        errno = error == ERROR_INVALID_NAME ? ENOENT : ErrnoFromWin32(error);
        return nullptr;
      }
      FillFromAttributes(found, data);
    }
    data.name = LastComponent(pattern);
    return std::make_unique<CSingleEntryHandle>();
  }

  // Returns 0 after creating the folder, or -1 with errno set (EEXIST when
  // something of that name exists).
  int MakeDir(const std::string& path) override {
    const std::wstring wide = Win32Path(path);
    if (wide.empty()) {
      errno = ENOENT;
      return -1;
    }
    if (CreateDirectoryW(wide.c_str(), nullptr)) return 0;
    SetErrnoFromLastError();
    return -1;
  }

  // Returns 0 after setting the access and modification times of path, a
  // file or a folder (links are followed), or -1 with errno set (EINVAL for
  // a time FILETIME cannot hold).
  int SetFileTimes(const std::string& path, int64_t accessTime, int64_t writeTime) override {
    FILETIME access{};
    FILETIME write{};
    if (!FileTimeFromSeconds(accessTime, access) || !FileTimeFromSeconds(writeTime, write)) {
      errno = EINVAL;
      return -1;
    }
    const std::wstring wide = Win32Path(path);
    if (wide.empty()) {
      errno = ENOENT;
      return -1;
    }
    HANDLE handle = CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      SetErrnoFromLastError();
      return -1;
    }
    if (!SetFileTime(handle, nullptr, &access, &write)) {
      SetErrnoFromLastError();
      CloseQuietly(handle);
      return -1;
    }
    if (!CloseHandle(handle)) {
      SetErrnoFromLastError();
      return -1;
    }
    return 0;
  }

private:
  // Returns the listing of the folder at folder with its first entry (".")
  // in data, or nullptr with errno set.
  static std::unique_ptr<CFindHandle> ListFolder(const std::string& folder, CFindData& data) {
    const std::wstring wide = Win32Path(folder);
    if (wide.empty()) {
      errno = ENOENT;
      return nullptr;
    }
    CFindData dot;
    if (!DescribeFolder(wide, ".", dot)) return nullptr;
    CFindData dotDot;
    if (!DescribeFolder(ParentOf(wide), "..", dotDot)) {
      dotDot = dot;
      dotDot.name = "..";
    }
    const std::wstring all = wide.back() == L'\\' ? wide + L"*" : wide + L"\\*";
    WIN32_FIND_DATAW first{};
    HANDLE search = FindFirstFileExW(all.c_str(), FindExInfoBasic, &first, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
      // A folder the system lists nothing of (an empty root) still has "."
      // and "..".
      if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        SetErrnoFromLastError();
        return nullptr;
      }
    }
    auto handle = std::make_unique<CWinFindHandle>(search, first, std::move(dot), std::move(dotDot));
    if (!handle->FindNext(data)) return nullptr;
    return handle;
  }
};

}  // namespace

uint32_t AttribFromWin32(uint32_t attributes, uint32_t tag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && (tag == 0 || IsReparseTagNameSurrogate(tag)))
    return kAttribSpecial;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return kAttribSpecial;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return kAttribSubdir;
  return 0;
}

// Returns the process-wide Windows backend, created on first use.
CFileSystem& WinFileSystem() {
  static CWinFileSystem fs;
  return fs;
}
