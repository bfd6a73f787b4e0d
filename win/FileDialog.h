// SPDX-License-Identifier: GPL-3.0-or-later
// The system's file-open dialog with multiple selection, for Source File.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/windows/WindowsApi.h"

// Shows the file-open dialog owned by owner (files that must exist, read-only
// box hidden, several files at once) and returns the chosen files' full
// paths, UTF-8, in the order the dialog hands them out (a path that is no
// valid UTF-16 goes to broken instead); nullopt when the user cancelled or
// the dialog failed.
std::optional<std::vector<std::string>> PickSourceFiles(HWND owner, std::vector<std::string>& broken);
