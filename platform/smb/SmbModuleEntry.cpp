// SPDX-License-Identifier: GPL-3.0-or-later
// The entry point of the SMB module, the one function the program looks up
// in it (platform/SmbModule.h).
#include "platform/FileServices.h"
#include "platform/smb/SmbFileSystem.h"

// Returns the module's backend (SmbFileSystem.h); never nullptr. Its name is
// kSmbModuleEntry of platform/SmbModule.h.
extern "C" CFileSystem* FerroxSmbFileSystem() { return &SmbFileSystem(); }
