// SPDX-License-Identifier: GPL-3.0-or-later
// The result of the folder scan, of every copy operation and of the run
// driver: a bit set, 0 for success, combined with bitwise or.
#pragma once

#include <cstdint>

using ResultFlags = uint32_t;

inline constexpr ResultFlags kResultOk = 0;
inline constexpr ResultFlags kResultReadFailure = 2;        // read or connection failure
inline constexpr ResultFlags kResultWriteFailure = 4;       // write failure
inline constexpr ResultFlags kResultListingIncomplete = 8;  // a folder listing is incomplete
// The user skipped a file (Skip File): its partial copy stays for a later
// run. 16 and 32 are taken (a run that could not start, ferrox-cli's output
// failure).
inline constexpr ResultFlags kResultSkipped = 64;
