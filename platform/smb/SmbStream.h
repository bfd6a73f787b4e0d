// SPDX-License-Identifier: GPL-3.0-or-later
// Byte streams over files on SMB shares, through libsmbclient.
#pragma once

#include <memory>
#include <string>

#include "platform/FileServices.h"
#include "platform/smb/SmbContext.h"

// Opens the file at url (an smb:// URL of a file below a share) in mode,
// through call's context; device is the share's device number (see
// SmbShareDevice), which the stream's identity carries. Returns the stream,
// or nullptr with libsmbclient's errno: ENOENT for a missing file or share,
// EINVAL for a folder, EACCES or EPERM when the server refuses, EBUSY when
// another open of the file denies this one (a held LockExclusive), a
// connection errno (ECONNREFUSED, ECONNABORTED, ETIMEDOUT, ...) when the
// server cannot be reached or does not answer in time.
//
// kRead opens an existing file; kAppend creates a missing file and writes
// every block at the file's end, wherever another writer left it; kWrite
// creates the file or empties it. A kRead stream cannot write and a kAppend
// or kWrite stream cannot read (EBADF), as with the C runtime's modes.
std::unique_ptr<CStream> OpenSmbStream(CSmbCall& call, const std::string& url, OpenMode mode,
                                       uint64_t device);
