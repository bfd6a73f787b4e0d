// SPDX-License-Identifier: GPL-3.0-or-later
// Win32 error codes as errno values.
#include "platform/windows/WinErrors.h"

#include "platform/windows/WindowsApi.h"

#include <cerrno>

// A code of no failure (ERROR_SUCCESS) is EIO as well: a call that failed
// without saying why must not leave errno 0.
int ErrnoFromWin32(uint32_t error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_NOT_READY:
      return ENOENT;
    // A file another program holds open is busy, not forbidden: it is
    // tried again until the reconnect limit, as a dropped connection.
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EBUSY;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE:
    case ERROR_CURRENT_DIRECTORY:
      return EACCES;
    case ERROR_LOGON_FAILURE:
    case ERROR_PRIVILEGE_NOT_HELD:
      return EPERM;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_NAME:
    case ERROR_NEGATIVE_SEEK:
    case ERROR_INVALID_FUNCTION:
      return EINVAL;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_NOT_SUPPORTED:
      return ENOTSUP;
    case ERROR_BROKEN_PIPE:
      return EPIPE;
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
      return ECONNABORTED;
    case ERROR_SEM_TIMEOUT:
      return ETIMEDOUT;
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_HOST_UNREACHABLE:
      return ENETUNREACH;
    case ERROR_CONNECTION_REFUSED:
      return ECONNREFUSED;
    case ERROR_CONNECTION_ABORTED:
      return ECONNABORTED;
    default:
      return EIO;
  }
}

int SetErrnoFromLastError() {
  const int value = ErrnoFromWin32(GetLastError());
  errno = value;
  return value;
}

// Returns true when widePath names something on a share: "\\?\UNC\..." or
// "\\server\...", not a device path ("\\.\...") or a long local one
// ("\\?\C:\...").
static bool IsShareWidePath(const std::wstring& widePath) {
  if (widePath.rfind(L"\\\\?\\UNC\\", 0) == 0) return true;
  return widePath.size() > 2 && widePath[0] == L'\\' && widePath[1] == L'\\' && widePath[2] != L'?' &&
         widePath[2] != L'.';
}

int ErrnoFromWin32For(uint32_t error, const std::wstring& widePath) {
  const bool share = IsShareWidePath(widePath);
  if (!share) return ErrnoFromWin32(error);
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
      return EPERM;
    case ERROR_LOGON_FAILURE:
    case ERROR_INVALID_PASSWORD:
    case ERROR_PASSWORD_EXPIRED:
    case ERROR_ACCOUNT_RESTRICTION:
    case ERROR_ACCOUNT_DISABLED:
    case ERROR_ACCOUNT_EXPIRED:
    case ERROR_ACCOUNT_LOCKED_OUT:
      return EACCES;
    default:
      return ErrnoFromWin32(error);
  }
}

int SetErrnoFromLastErrorFor(const std::wstring& widePath) {
  const int value = ErrnoFromWin32For(GetLastError(), widePath);
  errno = value;
  return value;
}
