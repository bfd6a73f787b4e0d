// SPDX-License-Identifier: GPL-3.0-or-later
// Checks on byte texts that the window shows as UTF-8.
#pragma once

#include <string_view>

#include "platform/Utf8.h"

// IsValidUtf8 is platform/Utf8.h's.

// Returns the largest length not above limit at which text can be cut
// without splitting a UTF-8 sequence.
size_t Utf8CutPosition(std::string_view text, size_t limit);
