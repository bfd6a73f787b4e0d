// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "engine/CopyProgress.h"

namespace {

#if defined(__SIZEOF_INT128__)
uint64_t Reference(uint64_t value, uint64_t scale, uint64_t whole) {
  __extension__ using Wide = unsigned __int128;
  return static_cast<uint64_t>(static_cast<Wide>(value) * scale / whole);
}
#endif

// The share is exact where value * scale needs more than 64 bits: sizes
// past 16 EiB / 1000, and wholes near the top of the range.
TEST(ScaledShareTest, IsExactWhereTheProductNeedsMoreThanSixtyFourBits) {
  EXPECT_EQ(ScaledShare(0, 1000, 1), 0u);
  EXPECT_EQ(ScaledShare(1, 1000, 3), 333u);
  EXPECT_EQ(ScaledShare(2, 1000, 3), 666u);
  EXPECT_EQ(ScaledShare(UINT64_MAX, 1000, UINT64_MAX), 1000u);
  EXPECT_EQ(ScaledShare(UINT64_MAX - 1, 1000, UINT64_MAX), 999u);
  EXPECT_EQ(ScaledShare(UINT64_MAX / 2, 100, UINT64_MAX), 49u);
  EXPECT_EQ(ScaledShare(uint64_t{5} << 40, 1000, uint64_t{10} << 40), 500u);
  EXPECT_EQ(ScaledShare(UINT64_MAX, 1, 1), UINT64_MAX);
#if defined(__SIZEOF_INT128__)
  std::mt19937_64 random(20261209);
  for (int i = 0; i < 100000; ++i) {
    const uint64_t whole = random() >> (random() % 64) | 1;
    const uint64_t value = random() % whole;
    const uint64_t scale = i % 2 ? 1000 : random() >> (random() % 64);
    ASSERT_EQ(ScaledShare(value, scale, whole), Reference(value, scale, whole))
        << value << " * " << scale << " / " << whole;
  }
#endif
}

}  // namespace
