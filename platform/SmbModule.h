// SPDX-License-Identifier: GPL-3.0-or-later
// The SMB backend as a module of its own, loaded when the program first
// meets a share path. Samba's client library brings a hundred-odd shared
// libraries with it; a program that links it pays for loading them at every
// start, even for --version or a copy of local files. So the backend of
// platform/smb is built as the module ferrox-smb.so, which links
// libsmbclient, and the programs link neither: FileSystemFor hands share
// paths to SmbModuleFileSystem, which loads the module then.
//
// Where the module is: in the folder FERROX_SMB_MODULE_DIR (set by
// platform/CMakeLists.txt: "../lib/x86_64-linux-gnu/ferrox" on Debian's
// amd64, say) from the folder of the running program (/proc/self/exe). The
// build tree lays the programs and the module out as an install does (bin/
// and lib/... under one folder), so one path serves both. The environment
// variable FERROX_SMB_MODULE, when set and not empty, names the module's
// file instead (tests).
//
// What the module uses of the program: the interface and base classes of
// FileServices.h, the address forms (SmbPath.h), the credentials
// (SmbCredentials.h), the request time limit (SmbTimeout.h), the share
// device numbers (SmbShareDevice.h), the worker pool and the readings frame.
// These are the program's own state, one copy of each: the module does not
// carry them, it leaves those symbols undefined and the dynamic loader binds
// them to the program's, which exports its symbols (CMake's ENABLE_EXPORTS,
// top-level CMakeLists.txt) and holds all of ferrox_platform (linked whole,
// engine/CMakeLists.txt). Handing
// each of them over through the entry point instead would mean a table of
// functions kept in step with every one the backend calls; binding by name
// needs none, and a missing one shows as a load failure, never as a wrong
// call.
//
// Not on Windows, whose backend reaches shares through the system.
#pragma once

#include <cerrno>
#include <string>

#include "platform/FileServices.h"

// The errno of every call on a share path while the module cannot be
// loaded: ENOPKG, "package not installed". The engine names the cause with
// SmbModuleFault (engine/FailureCause.h).
inline constexpr int kSmbModuleMissing = ENOPKG;

// The module's file name.
inline constexpr char kSmbModuleName[] = "ferrox-smb.so";

// The name of the module's one entry point, a C function without arguments
// that returns the module's CFileSystem (a pointer, never nullptr).
inline constexpr char kSmbModuleEntry[] = "FerroxSmbFileSystem";

// Returns the SMB backend. The first call loads the module (once for the
// process: calls on other threads meanwhile wait for it). When the module or
// Samba's client library cannot be loaded, returns a backend whose every call
// fails with errno kSmbModuleMissing, and SmbModuleFault tells why; the
// process does not try again.
CFileSystem& SmbModuleFileSystem();

// Returns why the module could not be loaded: "Samba's client library could
// not be loaded (install the package libsmbclient): " and the dynamic
// loader's own words. Empty while the module has not been tried or was
// loaded.
std::string SmbModuleFault();

// Returns the file the module is loaded from: FERROX_SMB_MODULE when it is
// set and not empty, otherwise kSmbModuleName in FERROX_SMB_MODULE_DIR from
// the folder of the running program. Returns an empty text when the program's own path cannot
// be read.
std::string SmbModulePath();
