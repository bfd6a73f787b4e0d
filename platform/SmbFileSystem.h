// The SMB backend: files and folders on SMB shares, reached through
// libsmbclient without mounting anything. FileSystemFor hands it every path
// that IsSmbPath accepts, in any of the three forms of SmbPath.h.
//
// Every request is bounded in time (SetSmbTimeoutMs in SmbContext.h); the
// identity connections log on with is set by SetSmbCredentials
// (SmbCredentials.h), guest access by default.
//
// How failures show:
// - A server that refuses the identity, at logon or at the share (a wrong
//   password, a user the share does not admit, guest access to a share that
//   wants a user), makes Open and FindFirst fail with errno EACCES, and only
//   that: when the server refuses one file or folder while the share itself
//   admits the identity, the errno is EPERM instead. (libsmbclient reports
//   both as EACCES; only the first happens while a connection is made.)
// - A connection that breaks or a server that stops answering shows as a
//   Read that sets the stream's error indicator (errno ECONNABORTED or
//   ENETRESET when the connection broke, ETIMEDOUT when no answer came in
//   time), as an Open or FindFirst that fails (ECONNREFUSED while nothing
//   listens, ETIMEDOUT while the server does not answer), and as a listing
//   that fails. A dead connection is dropped, so the first call after the
//   server is back connects anew. Closing a stream whose server stopped
//   answering takes up to twice the time limit: libsmbclient waits for its
//   close request, then for the end of the session.
// - A path without a share ("smb://nas", "//nas") names nothing: ENOENT. A
//   path that carries a password is refused with EINVAL.
#pragma once

#include "FileServices.h"

// Returns the process-wide SMB backend.
CFileSystem& SmbFileSystem();
