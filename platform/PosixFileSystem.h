// The POSIX backend: local files and mounted shares through the kernel.
#pragma once

#include "FileServices.h"

// Returns the process-wide POSIX backend.
CFileSystem& PosixFileSystem();
