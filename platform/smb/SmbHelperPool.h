// SPDX-License-Identifier: GPL-3.0-or-later
// SMB helper processes: each runs the program ferrox-smb-helper, which
// loads this backend with a libsmbclient of its own and keeps one
// connection to the server, and serves reads of whole stretches of files
// over a socket (SmbHelperProtocol.h).
//
// Why processes. libsmbclient keeps state for the whole process whatever the
// context (its configuration, talloc's stack frames, the character-set
// converters that logons and names go through), so this process makes its
// opens one at a time (SmbContext.h): files fetched ahead on several threads
// would still wait for each other's round trips. Helpers open and read
// together, each in its own process, and a fault of the library there
// costs that read alone: a helper that dies, answers nonsense or runs past
// its time limit is killed, its read fails, and the caller reads the file
// itself as it would have without helpers.
//
// How they start: the first helper loads the module and holds no connection;
// every other one is a copy of it (fork), which saves loading Samba's
// libraries again. Where that cannot be, each helper is a process of its
// own.
//
// Where the program is: FERROX_SMB_HELPER when set and not empty, otherwise
// ferrox-smb-helper beside the module (SmbModulePath). The helper loads the
// module the program loaded (its FERROX_SMB_MODULE is set to it). The
// credentials go to it over its socket, never on its command line or in its
// environment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The helper program's file name.
inline constexpr char kSmbHelperName[] = "ferrox-smb-helper";

// Returns true when reads may go to helpers: the user allows more than one
// connection (Connections.h) and the helper program is there to run.
bool SmbHelpersAvailable();

// Reads as CFileSystem::ReadFileAt does, path being a share path in any of
// the forms of SmbPath.h, in a helper: an idle one, or one started for it
// while fewer than Connections() - 1 (at most kSmbMostHelpers) run, or the
// first to become idle. Returns true
// with data as ReadFileAt; false with the helper's errno when the file did
// not open or read there, or with ECHILD when no helper could serve the
// read (it could not be started, died, broke the protocol or ran past
// its time limit), which the caller meets by reading the file itself.
bool ReadFileInSmbHelper(const std::string& path, uint64_t start, size_t count, uint64_t end,
                         std::vector<uint8_t>& data);

// The most helpers that run at once: as many as the files the copy fetches
// ahead at once (kFetchThreads of engine/FetchAhead.h), so that helpers
// started while a tree is listed (below) add none to them.
inline constexpr uint32_t kSmbMostHelpers = 15;

// Helpers started while a tree is listed, before its files are fetched: the
// listing waits a round trip per folder and leaves the processor idle, so
// their start and logon (tens of milliseconds of processor time on each
// side, and a few round trips) cost the copy nothing there, where the first
// reads would otherwise wait for them. One for every kSmbFilesPerWarmHelper
// files listed, so that a tree of a few files does not start many, and at
// most kSmbWarmHelpers; the rest start when reads need them. Through a relay
// at a 2 ms round trip, 1000 files of 16 KiB in 20 folders took 2.30 to
// 2.46 s with them, 2.29 to 2.64 s without.
inline constexpr uint32_t kSmbWarmHelpers = 8;
inline constexpr uint32_t kSmbFilesPerWarmHelper = 4;

// Counts a file that a listing of folder (a share path) found, and starts
// in the background the helpers that the files listed so far call for,
// each logged on to folder's server and share (fewer when Connections()
// allows fewer). Returns at once; does nothing when helpers are not
// available.
void NoteSmbFileListed(const std::string& folder);

// Returns the helper program's path, or an empty text when it cannot be
// told.
std::string SmbHelperPath();
