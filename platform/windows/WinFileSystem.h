// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows backend of the file services: local paths (C:\data, relative
// paths) and UNC paths (\\server\share\...) over the wide-character Win32
// file API. Shares are reached through the system's own redirector.
#pragma once

#include <cstdint>

#include "platform/FileServices.h"

// Returns the process-wide Windows backend, made on first use.
CFileSystem& WinFileSystem();
