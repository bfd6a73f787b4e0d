// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 window's own text rules: what of the command line becomes the
// Source text, and the log's text as the edit box is given it.
#include <gtest/gtest.h>

#include <string>

#include "win/CommandLineText.h"
#include "win/EditText.h"

namespace {

TEST(CommandLineTextTest, TakesEverythingAfterTheQuotedProgramPath) {
  EXPECT_EQ(ArgumentsOfCommandLine(L"\"C:\\Program Files\\Ferrox\\ferrox.exe\"  \"D:\\films\" E:\\x"),
            L"\"D:\\films\" E:\\x");
  EXPECT_EQ(ArgumentsOfCommandLine(L"\"C:\\Ferrox\\ferrox.exe\""), L"");
  EXPECT_EQ(ArgumentsOfCommandLine(L"\"C:\\Ferrox\\ferrox.exe\"   "), L"");
}

TEST(CommandLineTextTest, AnUnquotedProgramPathEndsAtTheFirstBlankOrTab) {
  EXPECT_EQ(ArgumentsOfCommandLine(L"ferrox.exe \\\\nas\\my films\\a.mkv"), L"\\\\nas\\my films\\a.mkv");
  EXPECT_EQ(ArgumentsOfCommandLine(L"ferrox.exe\t\"a b\""), L"\"a b\"");
  EXPECT_EQ(ArgumentsOfCommandLine(L"ferrox.exe"), L"");
  EXPECT_EQ(ArgumentsOfCommandLine(L""), L"");
}

TEST(CommandLineTextTest, AnUnclosedProgramPathLeavesNothing) {
  EXPECT_EQ(ArgumentsOfCommandLine(L"\"C:\\Ferrox\\ferrox.exe D:\\films"), L"");
}

TEST(CommandLineTextTest, KeepsQuotesAndATrailingBackslashAsTheyAre) {
  // The shell quotes a folder with its trailing backslash; the Source
  // field's syntax reads it back whole.
  EXPECT_EQ(ArgumentsOfCommandLine(L"\"ferrox.exe\" \"D:\\my films\\\" x"), L"\"D:\\my films\\\" x");
}

TEST(EditTextTest, EveryLineEndsInCarriageReturnAndLineFeed) {
  EXPECT_EQ(EditBoxText("a\r\nb\nc\rd"), L"a\r\nb\r\ncd");
  EXPECT_EQ(EditBoxText("\n\n"), L"\r\n\r\n");
  EXPECT_EQ(EditBoxText(""), L"");
}

TEST(EditTextTest, Utf8BecomesUtf16) {
  EXPECT_EQ(EditBoxText("\xce\xb3\xce\xb5\xce\xb9\xce\xac"), L"\u03b3\u03b5\u03b9\u03ac");
  EXPECT_EQ(EditBoxText("\xf0\x9f\x98\x80"), std::wstring(L"\xd83d\xde00"));
}

TEST(EditTextTest, CutsAtTheLimitWithoutSplittingAPairOrALineEnd) {
  EXPECT_EQ(EditBoxText("abcdef", 4), L"abcd");
  EXPECT_EQ(EditBoxText("ab\xf0\x9f\x98\x80", 3), L"ab");
  EXPECT_EQ(EditBoxText("ab\ncd", 3), L"ab");
  EXPECT_EQ(EditBoxText(std::string(40000, 'x')).size(), 40000u);  // the log box cuts nothing
}

TEST(EditTextTest, LinesDroppedFromTheLogAreFoundInTheBoxText) {
  EXPECT_EQ(LineStartAfter(L"a\r\nbb\r\nc", 0), 0u);
  EXPECT_EQ(LineStartAfter(L"a\r\nbb\r\nc", 1), 3u);
  EXPECT_EQ(LineStartAfter(L"a\r\nbb\r\nc", 2), 7u);
  EXPECT_EQ(LineStartAfter(L"a\r\nbb\r\nc", 3), std::wstring_view::npos);
}

TEST(EditTextTest, CommonPrefixStopsBeforeAPairOrALineEnd) {
  EXPECT_EQ(CommonPrefixLength(L"abc", L"abd"), 2u);
  EXPECT_EQ(CommonPrefixLength(L"abc", L"abc"), 3u);
  EXPECT_EQ(CommonPrefixLength(L"", L"abc"), 0u);
  EXPECT_EQ(CommonPrefixLength(L"a\xd83d\xde00", L"a\xd83d\xde01"), 1u);
  EXPECT_EQ(CommonPrefixLength(L"ab\r\n", L"ab\rx"), 2u);
}

}  // namespace
