// SPDX-License-Identifier: GPL-3.0-or-later
// The causes of failed calls on shares, told apart from what libsmbclient
// reports alike, so that a caller can tell a refused logon from a refused
// file, a missing share from a server out of reach, and a name the share
// cannot hold from a lack of memory.
#pragma once

#include "platform/smb/SmbContext.h"
#include "platform/smb/SmbPath.h"

// Returns true when location holds a name (server, user, domain, share or a
// name below the share) that libsmbclient cannot pass on: one that is not
// valid UTF-8 (overlong forms, surrogates and values above U+10FFFF
// included), which it cannot convert to the UTF-16 of SMB.
bool SmbNameUnrepresentable(const CSmbLocation& location);

// Returns the errno to report for a call on location through call that
// failed with err (libsmbclient's), by the contract of SmbFileSystem.h:
// - EACCES or EPERM: EACCES when the call tried a new connection and none
//   came of it (the server refused the logon or the share), EPERM when the
//   call went through a connection it admitted (the server refused that
//   file or folder).
// - EINVAL or EILSEQ from a new connection that failed: EACCES while a
//   user with an empty password is set (libsmbclient cannot log on with
//   one and says nothing to the point), EHOSTUNREACH when the server's name
//   does not resolve, EINVAL otherwise.
// - EINVAL through a connection that was admitted, when the last name holds
//   a character SMB names cannot hold (" * : < > ? | or a control
//   character): EILSEQ, the server refused the name.
// Any other err is returned as it is.
int ShareErrno(const CSmbCall& call, const CSmbLocation& location, int err);
