// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/Crc32.h"

namespace {

constexpr uint32_t kInitialRegister = 0xFFFFFFFFu;

// One way of computing the register: CrcUpdate itself (automatic; impl is then unused), or
// CrcUpdateWith a forced implementation.
struct CrcVariant {
  const char* name;
  bool automatic;
  CrcImpl impl;
};

const CrcVariant kVariants[] = {
    {"CrcUpdate", true, CrcImpl::kSlicing}, {"Bytewise", false, CrcImpl::kBytewise},
    {"Slicing", false, CrcImpl::kSlicing},  {"Pclmul", false, CrcImpl::kPclmul},
    {"Vpclmul", false, CrcImpl::kVpclmul},
};

// Returns length random bytes from a generator seeded with seed.
std::vector<unsigned char> RandomBytes(size_t length, uint32_t seed) {
  std::mt19937 generator(seed);
  std::vector<unsigned char> bytes(length);
  for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(generator() >> 24);
  return bytes;
}

class CrcVariantTest : public ::testing::TestWithParam<CrcVariant> {
protected:
  void SetUp() override {
    if (!GetParam().automatic && !CrcImplAvailable(GetParam().impl)) {
      GTEST_SKIP() << GetParam().name << " cannot run on this CPU";
    }
  }

  // Returns the register after feeding length bytes at data with the variant under test.
  static uint32_t Update(uint32_t crc, const void* data, uint64_t length) {
    const CrcVariant& variant = GetParam();
    return variant.automatic ? CrcUpdate(crc, data, length) : CrcUpdateWith(variant.impl, crc, data, length);
  }
};

TEST(CrcTableTest, EntriesFollowTheShiftAndXorDefinition) {
  const uint32_t* table = CrcTable();
  EXPECT_EQ(table[0], 0u);
  EXPECT_EQ(table[1], 0x77073096u);
  EXPECT_EQ(table[255], 0x2D02EF8Du);
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t entry = i;
    for (int bit = 0; bit < 8; ++bit) entry = (entry & 1u) != 0 ? (entry >> 1) ^ 0xEDB88320u : entry >> 1;
    EXPECT_EQ(table[i], entry) << "entry " << i;
  }
}

TEST(CrcTableTest, BytewiseUpdateIsTheTableRecurrence) {
  const std::vector<unsigned char> bytes = RandomBytes(1000, 7);
  uint32_t expected = 0x12345678u;
  for (unsigned char byte : bytes) expected = (expected >> 8) ^ CrcTable()[(byte ^ expected) & 0xFFu];
  EXPECT_EQ(CrcUpdateBytewise(0x12345678u, bytes.data(), bytes.size()), expected);
}

TEST(CrcTableTest, ChosenImplementationIsAvailable) {
  EXPECT_TRUE(CrcImplAvailable(CrcChosenImpl()));
  EXPECT_TRUE(CrcImplAvailable(CrcImpl::kBytewise));
  EXPECT_TRUE(CrcImplAvailable(CrcImpl::kSlicing));
  // The vector implementations imply the narrower one.
  if (CrcImplAvailable(CrcImpl::kVpclmul)) {
    EXPECT_TRUE(CrcImplAvailable(CrcImpl::kPclmul));
  }
}

TEST_P(CrcVariantTest, CheckValueOfTheNineDigits) {
  const std::string digits = "123456789";
  EXPECT_EQ(~Update(kInitialRegister, digits.data(), digits.size()), 0xCBF43926u);
}

TEST_P(CrcVariantTest, KnownValuesOfLongerInputs) {
  // 4096 zero bytes and 4096 bytes of 0xFF, each started from 0xFFFFFFFF and complemented.
  std::vector<unsigned char> bytes(4096, 0);
  const uint32_t zeros = ~CrcUpdateBytewise(kInitialRegister, bytes.data(), bytes.size());
  EXPECT_EQ(~Update(kInitialRegister, bytes.data(), bytes.size()), zeros);
  std::memset(bytes.data(), 0xFF, bytes.size());
  const uint32_t ones = ~CrcUpdateBytewise(kInitialRegister, bytes.data(), bytes.size());
  EXPECT_EQ(~Update(kInitialRegister, bytes.data(), bytes.size()), ones);
  EXPECT_NE(zeros, ones);
}

TEST_P(CrcVariantTest, ZeroLengthLeavesTheRegisterUnchanged) {
  const unsigned char byte = 0x5A;
  for (uint32_t crc : {0u, 1u, 0xFFFFFFFFu, 0xDEADBEEFu}) {
    EXPECT_EQ(Update(crc, nullptr, 0), crc);
    EXPECT_EQ(Update(crc, &byte, 0), crc);
  }
}

TEST_P(CrcVariantTest, MatchesTheBytewiseReferenceForEveryLengthAndStartOffset) {
  constexpr size_t kMaxLength = 5000;
  constexpr size_t kMaxOffset = 64;
  const std::vector<unsigned char> buffer = RandomBytes(kMaxLength + kMaxOffset, 1);
  std::mt19937 generator(2);
  std::vector<uint32_t> prefixRegisters(kMaxLength + 1);
  // The bytewise implementation is the reference itself: a few offsets are enough for it.
  const size_t offsetCount = !GetParam().automatic && GetParam().impl == CrcImpl::kBytewise ? 2 : kMaxOffset;
  for (size_t offset = 0; offset < offsetCount; ++offset) {
    const unsigned char* start = buffer.data() + offset;
    // prefixRegisters[n] is the reference register after the first n bytes from start.
    const uint32_t initial = offset % 2 == 0 ? kInitialRegister : static_cast<uint32_t>(generator());
    prefixRegisters[0] = initial;
    for (size_t n = 0; n < kMaxLength; ++n) {
      prefixRegisters[n + 1] = CrcUpdateBytewise(prefixRegisters[n], start + n, 1);
    }
    for (size_t length = 0; length <= kMaxLength; ++length) {
      ASSERT_EQ(Update(initial, start, length), prefixRegisters[length])
          << "offset " << offset << " length " << length;
    }
  }
}

TEST_P(CrcVariantTest, MatchesTheBytewiseReferenceOnLargeBuffers) {
  const std::vector<unsigned char> buffer = RandomBytes((3u << 20) + 64, 3);
  for (size_t length : {size_t{1} << 20, (size_t{1} << 20) + 13, (size_t{1} << 20) - 1, size_t{3} << 20}) {
    for (size_t offset : {size_t{0}, size_t{1}, size_t{13}, size_t{63}}) {
      const unsigned char* start = buffer.data() + offset;
      EXPECT_EQ(Update(kInitialRegister, start, length), CrcUpdateBytewise(kInitialRegister, start, length))
          << "offset " << offset << " length " << length;
    }
  }
}

TEST_P(CrcVariantTest, EverySplitOfASmallBufferGivesTheSameRegister) {
  const std::vector<unsigned char> buffer = RandomBytes(300, 4);
  const uint32_t whole = CrcUpdateBytewise(kInitialRegister, buffer.data(), buffer.size());
  ASSERT_EQ(Update(kInitialRegister, buffer.data(), buffer.size()), whole);
  for (size_t first = 0; first <= buffer.size(); ++first) {
    const uint32_t head = Update(kInitialRegister, buffer.data(), first);
    ASSERT_EQ(Update(head, buffer.data() + first, buffer.size() - first), whole) << "split at " << first;
    // And every split of the rest into two more pieces.
    for (size_t second = first; second <= buffer.size(); ++second) {
      const uint32_t middle = Update(head, buffer.data() + first, second - first);
      ASSERT_EQ(Update(middle, buffer.data() + second, buffer.size() - second), whole)
          << "split at " << first << " and " << second;
    }
  }
}

TEST_P(CrcVariantTest, RandomSplitsOfALargeBufferGiveTheSameRegister) {
  const std::vector<unsigned char> buffer = RandomBytes((4u << 20) + 7, 5);
  const uint32_t whole = CrcUpdateBytewise(kInitialRegister, buffer.data(), buffer.size());
  ASSERT_EQ(Update(kInitialRegister, buffer.data(), buffer.size()), whole);
  std::mt19937 generator(6);
  for (int round = 0; round < 8; ++round) {
    // Pieces of random sizes: small ones exercise the heads and tails, large ones the folding.
    const size_t maxPiece = round % 2 == 0 ? 600 : 300000;
    uint32_t crc = kInitialRegister;
    size_t position = 0;
    while (position < buffer.size()) {
      const size_t piece = std::min<size_t>(generator() % (maxPiece + 1), buffer.size() - position);
      crc = Update(crc, buffer.data() + position, piece);
      position += piece;
    }
    EXPECT_EQ(crc, whole) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(AllVariants, CrcVariantTest, ::testing::ValuesIn(kVariants),
                         [](const ::testing::TestParamInfo<CrcVariant>& variant) {
                           return std::string(variant.param.name);
                         });

}  // namespace
