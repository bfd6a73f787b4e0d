// SPDX-License-Identifier: GPL-3.0-or-later
// The SMB backend: files and folders on SMB shares, reached through
// libsmbclient without mounting anything. FileSystemFor hands it every path
// that IsSmbPath accepts, in any of the three forms of SmbPath.h.
//
// Every request is bounded in time (SetSmbTimeoutMs in SmbTimeout.h); the
// identity connections log on with is set by SetSmbCredentials
// (SmbCredentials.h), guest access by default.
//
// How failures show. Open and FindFirst (and MakeDir and SetFileTimes,
// which reach the server the same way) fail with these errno values, so
// that a caller can tell the causes apart (SmbErrors.h tells them apart
// where libsmbclient reports them alike):
// - EACCES when, and only when, the server refused the logon itself: a
//   wrong user name or password, an empty password, a user the share does
//   not admit, a guest where the share wants a user. Another logon could
//   help; another try with this one cannot.
// - EPERM when the logon was admitted and the server refused that file or
//   folder (access denied on the entry, or a socket or device it will not
//   open).
// - ENOENT when the server answered that the share, the folder or the file
//   does not exist; also for a path without a share ("smb://nas", "//nas"),
//   which names nothing.
// - EILSEQ when a name cannot be put on the share: a name that is not valid
//   UTF-8 (refused before anything is sent), one holding a character SMB
//   names cannot hold (" * : < > ? | or a control character) that the
//   server refused, or, from FindFirst, a folder holding a name with a
//   separator, which libsmbclient will not list at all.
// - A connection errno when the server could not be reached or stopped
//   answering: ECONNREFUSED while nothing listens, EHOSTUNREACH for a
//   server whose name does not resolve, ETIMEDOUT while the server does not
//   answer, ECONNABORTED, ECONNRESET or ENETRESET when the connection broke
//   (IsSmbConnectionError tells them). A connection that breaks or a server
//   that stops answering shows as a Read that sets the stream's error
//   indicator (ECONNABORTED or ENETRESET when the connection broke,
//   ETIMEDOUT when no answer came in time) and as a listing that fails. A
//   dead connection is dropped, so the first call after the server is back
//   connects anew. Closing a stream whose server stopped answering takes up
//   to twice the time limit: libsmbclient waits for its close request, then
//   for the end of the session.
// - EINVAL for a path that cannot be taken (a password in it, a port that
//   is not a number from 1 to 65535: see SmbAddressFault), and from Open
//   for a folder.
#pragma once

#include "platform/FileServices.h"

// Returns the process-wide SMB backend.
CFileSystem& SmbFileSystem();
