// SPDX-License-Identifier: GPL-3.0-or-later
// A share whose server refuses the logon of the run: the source ends at
// once instead of being tried again until the reconnect limit, unless the
// front end asks the user for another user name and password.
#pragma once

#include <string>

// Returns true when error, the errno of a failed open or listing of path,
// says that the server of path's share refused the logon of the run: EACCES
// on a share path. A local file that cannot be read is never such a case.
bool LogonRefused(const std::string& path, int error);

// Returns the share of the share path path as the user wrote it, server and
// share name ("smb://nas/films" of "smb://nas/films/2024/a.mkv"); the whole
// path when it names no share.
std::string ShareOfPath(const std::string& path);

// Asks the front end for another logon to the share of path (the worker
// waits for the answer; seconds spent waiting are returned in waited) and
// makes it the run's logon. Returns true when one was given, so that the
// refused call may be made again; false when the front end gave none (after
// logging that the share refused the logon) or the run was stopped (nothing
// logged: the run ends as stopped).
bool LogonAgain(const std::string& path, int64_t& waited);
