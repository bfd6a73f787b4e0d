// SPDX-License-Identifier: GPL-3.0-or-later
// Win32 error codes as the errno values the engine and its messages know.
#pragma once

#include <cstdint>
#include <string>

// Returns the errno value for the Win32 error code error (GetLastError()):
// ENOENT for a missing file or path, EACCES for a refused access or a
// sharing violation, ENOSPC for a full disk, EEXIST, ENOTEMPTY, EINVAL...
// and the network failures of a share as the SMB backend reports them
// (ERROR_NETNAME_DELETED and ERROR_UNEXP_NET_ERR: ECONNABORTED;
// ERROR_BAD_NETPATH, ERROR_BAD_NET_NAME: ENOENT for the share is not there;
// ERROR_SEM_TIMEOUT: ETIMEDOUT; ERROR_NETWORK_UNREACHABLE: ENETUNREACH).
// Anything else is EIO.
int ErrnoFromWin32(uint32_t error);

// Sets errno from GetLastError() and returns it.
int SetErrnoFromLastError();

// Returns ErrnoFromWin32(error) as the callers of a share path read it,
// where EACCES means that the logon itself was refused (another logon could
// help) and EPERM that the logon was admitted and the server refused the
// file or folder: for a path on a share ("\\server\..." or "\\?\UNC\..."),
// ERROR_ACCESS_DENIED and ERROR_NETWORK_ACCESS_DENIED give EPERM, and the
// refused logons (ERROR_LOGON_FAILURE, a wrong or expired password, a
// disabled, expired, locked or restricted account) give EACCES. Local paths
// get ErrnoFromWin32(error).
int ErrnoFromWin32For(uint32_t error, const std::wstring& widePath);

// Sets errno from GetLastError() for the path widePath, as
// ErrnoFromWin32For, and returns it.
int SetErrnoFromLastErrorFor(const std::wstring& widePath);
