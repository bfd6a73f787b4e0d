// SPDX-License-Identifier: GPL-3.0-or-later
// What a failure says about the source: whether it belongs to one entry, so
// that the walk names it and goes on, or to the source as a whole; and
// whether waiting can mend it.
#pragma once

#include <string>

// Returns true when error, from a failed open or listing of path, says that
// the server or the file system stopped answering: a connection that broke,
// timed out or was refused, a network or host that cannot be reached.
bool IsConnectionLevel(int error);

// Returns true when error, from a failed open or listing of path, cannot
// heal by waiting: access denied after a good logon, a name the server or
// file system refuses, a path that is a folder or runs through a file,
// "not found" while the place around it answers (a share path, whose server
// said so; or, when listed is true, a local entry the scan found whose
// folder still lists), and a share path while Samba's client library cannot
// be loaded (platform/SmbModule.h). A local path not found that was never
// listed may still appear (a drive or mount that comes later) and heals.
bool CannotHeal(const std::string& path, int error, bool listed);

// Returns true when the folder holding path (a file or folder of a local
// tree or of a share) can be listed.
bool FolderAnswers(const std::string& path);

// Returns true when the source being worked on still answers after an
// entry at path failed: the source path of the run lists (the folder holding
// path, when no run is going on).
bool SourceAnswers(const std::string& path);

// Returns the words the log gives error for path: "access denied", "not
// found", "a name the share cannot hold" (a share path), why Samba's client
// library could not be loaded (a share path, see platform/SmbModule.h) or
// the system's description of the error.
std::string CauseText(const std::string& path, int error);

// Returns the words the log gives error when the source path could not be
// reached at all ("connection failed"): the system's description of the
// error, or for a share path while Samba's client library cannot be loaded,
// why (as CauseText).
std::string UnreachedText(const std::string& path, int error);
