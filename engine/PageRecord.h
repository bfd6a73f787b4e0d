// SPDX-License-Identifier: GPL-3.0-or-later
// What read verification knows about one 4096-byte page of a block: the
// distinct contents its readings showed and how often each was seen.
#pragma once

#include <cstdint>

inline constexpr uint32_t kPageSize = 4096;
inline constexpr int32_t kMaxVariants = 16;

struct PageRecord {
  int32_t variantCount = 0;  // distinct contents seen so far, 1 to 16
  int32_t chosenIndex = -1;  // -1 while undecided, else the winning variant
  // Variant 0 is the page's place in the copy buffer (the block's own read);
  // variants 1 and up are 4096-byte blocks owned by the verification.
  uint8_t* variants[kMaxVariants] = {};
  int32_t hitCounts[kMaxVariants] = {};
};
