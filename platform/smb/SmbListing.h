// SPDX-License-Identifier: GPL-3.0-or-later
// Listings of folders on SMB shares, through libsmbclient.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/FileServices.h"
#include "platform/smb/SmbContext.h"

// Starts the listing of the folder at folderUrl (an smb:// URL of a share or
// a folder below one) through call's context; device is the share's device
// number, which every record carries. Returns the search with its first
// record in data, or nullptr with libsmbclient's errno (ENOENT for a missing
// folder or share, ENOTDIR for a file, EACCES or EPERM when the server
// refuses, EINVAL when the server sends a name holding '/' or '\', which
// libsmbclient refuses to list, a connection errno when the server cannot be
// reached or does not answer in time).
//
// The records are ".", "..", then every entry in the server's order. The
// server's own "." and ".." are used when it sends them ahead of the other
// entries, as servers do; missing ones are made up (a folder without times
// or identity) and a copy that comes later is no entry of its own.
// Folders carry kAttribSubdir, entries the server marks as devices
// kAttribSpecial, files their size; all carry their modification and access
// times, their creation time (-1 when the server gives none) and the share's
// device with the server's file number. Names are passed on exactly as libsmbclient gives
// them, an empty one included. What a server shows is what is listed: Samba
// shows FIFOs and sockets as empty files and leaves out links that
// lead nowhere; a link on a Windows server is listed as the file or folder
// its attributes name.
//
// libsmbclient reads the whole listing from the server before the first
// record is returned, so a connection that breaks while a folder is being
// listed fails this call; once it has returned, the records are all here and
// FindNext fails only on a record libsmbclient cannot hand out (errno other
// than ENOENT, never ENOENT itself, which means the end).
std::unique_ptr<CFindHandle> OpenSmbListing(CSmbCall& call, const std::string& folderUrl, uint64_t device,
                                            CFindData& data);
