// SPDX-License-Identifier: GPL-3.0-or-later
// The pause between two failed attempts to reach a source: short enough
// that a count-down still moves every second, long enough that a dropped
// share is not flooded with requests and no core spins.
#pragma once

#include <cstdint>

inline constexpr uint32_t kRetryPauseMs = 50;
