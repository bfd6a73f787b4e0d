// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX backend: local files and mounted shares through the kernel.
#pragma once

#include "platform/FileServices.h"

// Returns the process-wide POSIX backend.
CFileSystem& PosixFileSystem();
