// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "frontend/FormNumber.h"

namespace {

constexpr uint32_t kUntouched = 777;

// Returns the value ParseFormUnsigned reads from text, or kUntouched when it
// refuses the text (the value must then be left as it was).
uint32_t Read(const std::string& text) {
  uint32_t value = kUntouched;
  if (!ParseFormUnsigned(text, value)) {
    EXPECT_EQ(value, kUntouched) << "refused \"" << text << "\" changed value";
  }
  return value;
}

bool Accepts(const std::string& text) {
  uint32_t value = 0;
  return ParseFormUnsigned(text, value);
}

TEST(FormNumberTest, ReadsDecimalNumbersWithBlanksAround) {
  EXPECT_EQ(Read("4096"), 4096u);
  EXPECT_EQ(Read(" 4096 "), 4096u);
  EXPECT_EQ(Read("   4096"), 4096u);
  EXPECT_EQ(Read("\t4096\t "), 4096u);
  EXPECT_EQ(Read("007"), 7u);
}

TEST(FormNumberTest, RefusesAMinusSign) {
  EXPECT_FALSE(Accepts("-1"));
  EXPECT_FALSE(Accepts(" -0"));
  EXPECT_FALSE(Accepts("-"));
  EXPECT_EQ(Read("-5"), kUntouched);
}

TEST(FormNumberTest, RefusesAnEmptyOrBlankField) {
  EXPECT_FALSE(Accepts(""));
  EXPECT_FALSE(Accepts("   "));
  EXPECT_FALSE(Accepts("\t"));
  EXPECT_FALSE(Accepts("+"));
}

TEST(FormNumberTest, RefusesAnythingButBlanksAfterTheNumber) {
  EXPECT_FALSE(Accepts("12x"));
  EXPECT_FALSE(Accepts("0x10"));
  EXPECT_FALSE(Accepts("12 34"));
  EXPECT_FALSE(Accepts("5\n"));
  EXPECT_FALSE(Accepts("x12"));
  EXPECT_EQ(Read("12x"), kUntouched);
}

TEST(FormNumberTest, ZeroOnlyWhenTheFieldStartsWithTheDigitZero) {
  EXPECT_EQ(Read("0"), 0u);
  EXPECT_EQ(Read("  0 "), 0u);
  EXPECT_EQ(Read("000"), 0u);
  EXPECT_FALSE(Accepts("+0"));
  EXPECT_EQ(Read("+0"), kUntouched);
}

TEST(FormNumberTest, AcceptsOnePlusSign) {
  EXPECT_EQ(Read("+7"), 7u);
  EXPECT_EQ(Read(" +7 "), 7u);
  EXPECT_FALSE(Accepts("++7"));
  EXPECT_FALSE(Accepts("+ 7"));
}

TEST(FormNumberTest, ExaminesOnlyTheFirst31Characters) {
  // The 32nd character and everything after it are never looked at.
  const std::string number = "12345" + std::string(26, ' ');
  ASSERT_EQ(number.size(), 31u);
  EXPECT_EQ(Read(number + "x"), 12345u);
  // Blanks that fill the 31 characters leave only the first digit examined.
  EXPECT_EQ(Read(std::string(30, ' ') + "4096"), 4u);
  EXPECT_FALSE(Accepts(std::string(31, ' ') + "4096"));
}

TEST(FormNumberTest, SaturatesAt4294967295) {
  EXPECT_EQ(Read("4294967295"), 4294967295u);
  EXPECT_EQ(Read("4294967296"), 4294967295u);
  EXPECT_EQ(Read("99999999999999999999999999"), 4294967295u);
  EXPECT_EQ(Read(std::string(31, '9')), 4294967295u);
}

TEST(FormNumberTest, FormatsTheRangeMessage) {
  EXPECT_STREQ(kMsgPositiveInteger, "Please enter a positive integer.");
  EXPECT_EQ(FormatRangeMessage(kMinPartNumber, kMaxPartNumber),
            "Please enter an integer between 1 and 65535.");
  EXPECT_EQ(FormatRangeMessage(0, 4294967295u), "Please enter an integer between 0 and 4294967295.");
}

}  // namespace
