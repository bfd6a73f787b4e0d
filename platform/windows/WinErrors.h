// SPDX-License-Identifier: GPL-3.0-or-later
// Win32 error codes as the errno values the engine and its messages know.
#pragma once

#include <cstdint>

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
