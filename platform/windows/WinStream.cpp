// SPDX-License-Identifier: GPL-3.0-or-later
// Streams over Win32 file handles, with every error reported through errno.
#include "platform/windows/WinStream.h"

#include "platform/windows/WindowsApi.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ErrnoGuard.h"
#include "platform/windows/WinErrors.h"
#include "platform/windows/WinPath.h"
#include "platform/windows/WinReadings.h"
#include "platform/windows/WinRecords.h"

namespace {

// The largest count handed to one ReadFile or WriteFile call.
constexpr DWORD kMaxTransfer = DWORD{1} << 30;

// The byte LockExclusive locks: far past the end of any file, so that the
// lock excludes the locks of other streams without barring anybody's reads
// and writes of the data (Windows byte-range locks are mandatory).
constexpr uint64_t kLockOffset = 0x7FFFFFFFFFFFFFF0;

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

}  // namespace

// Returns the open stream, or nullptr with errno set: the Win32 error's
// errno (ENOENT for a missing file or folder on its path), or EINVAL when
// path is not a regular file (a folder, a device). kWrite empties the file
// only after it is known to be a regular file. Every open shares reading,
// writing and deleting with other opens: exclusion between copies is
// LockExclusive's.
std::unique_ptr<CStream> OpenWinStream(const std::string& path, OpenMode mode) {
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
    disposition = mode == OpenMode::kUpdate ? OPEN_EXISTING : OPEN_ALWAYS;
  }
  HANDLE handle = CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = ErrnoFromWin32For(error, wide);
    // A folder does not open as a file: the system says access denied.
    if (error == ERROR_ACCESS_DENIED) {
      const DWORD attributes = GetFileAttributesW(wide.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        errno = EINVAL;
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
