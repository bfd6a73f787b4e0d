// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows backend: its streams (WinStream), its listings (WinListing),
// folders and time stamps, with every error reported through errno.
#include "platform/windows/WinFileSystem.h"

#include "platform/windows/WindowsApi.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ErrnoGuard.h"
#include "platform/windows/WinErrors.h"
#include "platform/windows/WinListing.h"
#include "platform/windows/WinPath.h"
#include "platform/windows/WinRecords.h"
#include "platform/windows/WinStream.h"

namespace {

class CWinFileSystem final : public CFileSystem {
public:
  // Returns the open stream, or nullptr with errno set, as OpenWinStream.
  std::unique_ptr<CStream> Open(const std::string& path, OpenMode mode) override {
    return OpenWinStream(path, mode);
  }

  // Returns the search with its first entry in data, or nullptr with errno
  // set, as FindFirstWin.
  std::unique_ptr<CFindHandle> FindFirst(const std::string& pattern, CFindData& data) override {
    return FindFirstWin(pattern, data);
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
    SetErrnoFromLastErrorFor(wide);
    return -1;
  }

  // Returns true for a share path (UNC) and for a path on a drive letter
  // mapped to a share; errno is kept.
  bool IsRemote(const std::string& path) override {
    const CErrnoGuard keep;
    const std::wstring wide = Win32Path(path);
    if (wide.rfind(L"\\\\?\\UNC\\", 0) == 0) return true;
    const size_t drive = wide.rfind(L"\\\\?\\", 0) == 0 ? 4 : 0;
    if (wide.size() < drive + 2 || wide[drive + 1] != L':') return wide.rfind(L"\\\\", 0) == 0;
    const std::wstring root = wide.substr(drive, 2) + L"\\";
    return GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
  }

  // Returns 0 after removing the file at path, or -1 with errno set.
  int RemoveFile(const std::string& path) override {
    const std::wstring wide = Win32Path(path);
    if (wide.empty()) {
      errno = ENOENT;
      return -1;
    }
    if (DeleteFileW(wide.c_str())) return 0;
    SetErrnoFromLastErrorFor(wide);
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
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      SetErrnoFromLastErrorFor(wide);
      return -1;
    }
    if (!SetFileTime(handle, nullptr, &access, &write)) {
      SetErrnoFromLastErrorFor(wide);
      CloseQuietly(handle);
      return -1;
    }
    if (!CloseHandle(handle)) {
      SetErrnoFromLastErrorFor(wide);
      return -1;
    }
    return 0;
  }
};

}  // namespace

// Returns the process-wide Windows backend, created on first use.
CFileSystem& WinFileSystem() {
  static CWinFileSystem fs;
  return fs;
}
