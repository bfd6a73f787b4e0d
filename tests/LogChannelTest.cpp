// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/LogPrintf.h"
#include "engine/RunState.h"
#include "frontend/LogChannel.h"
#include "frontend/TextSink.h"
#include "tests/support/TestFrontEnd.h"

namespace {

TEST(TextSinkTest, SelectAndReplaceFollowTheEditControlRules) {
  CTextSink sink;
  sink.SetText("hello world");
  sink.Select(6, -1);
  sink.ReplaceSelection("there");
  EXPECT_EQ(sink.Text(), "hello there");
  EXPECT_EQ(sink.Caret(), 11u);

  // Positions beyond the end are the end; a start after the end swaps.
  sink.Select(100, 200);
  sink.ReplaceSelection("!");
  EXPECT_EQ(sink.Text(), "hello there!");
  sink.Select(5, 0);
  sink.ReplaceSelection("HELLO");
  EXPECT_EQ(sink.Text(), "HELLO there!");

  // A start of -1 removes the selection; the text goes in at the caret.
  sink.Select(0, 3);
  sink.Select(-1, 0);
  sink.ReplaceSelection("_");
  EXPECT_EQ(sink.Text(), "HEL_LO there!");
}

TEST(LogChannelTest, ReplacesTheLastLineOrAppendsByTheLeadingLineBreak) {
  CLogChannel log;
  log.OnLogUpdate("abc\r\n");
  EXPECT_EQ(log.LogEndPosition(), 5);
  EXPECT_EQ(log.LastLineStart(), 5);

  log.OnLogUpdate("12345");
  EXPECT_EQ(log.Text(), "abc\r\n12345");
  EXPECT_EQ(log.LogEndPosition(), 10);
  EXPECT_EQ(log.LastLineStart(), 5);

  log.OnLogUpdate("67890");
  EXPECT_EQ(log.Text(), "abc\r\n67890");
  EXPECT_EQ(log.LogEndPosition(), 10);

  log.OnLogUpdate("\r\n");
  EXPECT_EQ(log.Text(), "abc\r\n67890\r\n");
  EXPECT_EQ(log.LogEndPosition(), 12);
  EXPECT_EQ(log.LastLineStart(), 12);
}

TEST(LogChannelTest, ACarriageReturnWithoutLineFeedReplaces) {
  CLogChannel log;
  log.OnLogUpdate("status");
  log.OnLogUpdate("\rnext");
  EXPECT_EQ(log.Text(), "\rnext");
}

TEST(LogChannelTest, EmptyMessageErasesAnOpenLineOnly) {
  CLogChannel log;
  log.OnLogUpdate("line\r\n");
  log.OnLogUpdate("");
  EXPECT_EQ(log.Text(), "line\r\n");
  log.OnLogUpdate("42%");
  log.OnLogUpdate("");
  EXPECT_EQ(log.Text(), "line\r\n");
  EXPECT_EQ(log.LogEndPosition(), 6);
}

TEST(LogChannelTest, AReplacingMessageOfSeveralLinesReplacesOnlyTheOldLastLine) {
  CLogChannel log;
  log.OnLogUpdate("first\r\n");
  log.OnLogUpdate("open line");
  log.OnLogUpdate("one\r\ntwo\r\nthree");
  EXPECT_EQ(log.Text(), "first\r\none\r\ntwo\r\nthree");
  EXPECT_EQ(log.LastLineStart(), 17);
}

TEST(LogChannelTest, KeepsItsLastTenThousandLinesDroppingAThousandAtATime) {
  CLogChannel log;
  for (int line = 0; line < 10999; ++line) log.OnLogUpdate("\r\nline " + std::to_string(line));
  uint64_t dropped = 1;
  std::string text = log.Text(&dropped);
  EXPECT_EQ(dropped, 0u);
  EXPECT_TRUE(text.starts_with("\r\nline 0\r\n")) << text.substr(0, 40);

  // The 11000th line feed: the oldest lines go, 10000 remain.
  log.OnLogUpdate("\r\nline 10999");
  text = log.Text(&dropped);
  EXPECT_EQ(dropped, 1000u);
  EXPECT_TRUE(text.starts_with("line 999\r\nline 1000\r\n")) << text.substr(0, 40);
  EXPECT_TRUE(text.ends_with("\r\nline 10999"));
  EXPECT_EQ(log.LogEndPosition(), static_cast<int64_t>(text.size()));
  EXPECT_EQ(log.LastLineStart(), static_cast<int64_t>(text.size() - std::string("line 10999").size()));

  // The last line is still replaced in place, and setting the text anew
  // counts nothing as dropped.
  log.OnLogUpdate("line 10999, 100%");
  EXPECT_TRUE(log.Text().ends_with("\r\nline 10999, 100%"));
  log.SetText("");
  log.Text(&dropped);
  EXPECT_EQ(dropped, 0u);
}

TEST(LogChannelTest, AHugeMessageIsKeptWhole) {
  CLogChannel log;
  log.SetText("help text shown before the first message");
  const std::string message(40000, 'm');
  log.OnLogUpdate("\r\n" + message);
  EXPECT_NE(log.Text().find("\r\n" + message), std::string::npos);

  // The first message after start replaces the help text put there by the form.
  CLogChannel fresh;
  fresh.SetText("help\r\n");
  fresh.OnLogUpdate("help\r\n");
  EXPECT_EQ(fresh.Text(), "help\r\n");
  EXPECT_EQ(fresh.LogEndPosition(), 6);
}

TEST(LogChannelTest, HandsOutEachLineOnceItIsFinalAndNotTheTextSet) {
  CLogChannel log;
  std::string final;
  log.SetFinalTextListener([&final](std::string_view piece) { final += piece; });
  log.SetText("help\r\ntext");
  log.OnLogUpdate("copying\r\n");
  EXPECT_EQ(final, "copying\r\n");
  log.OnLogUpdate("\"a\"  10%");
  log.OnLogUpdate("\"a\" 100%");
  EXPECT_EQ(final, "copying\r\n");
  log.OnLogUpdate("\r\none\r\ntwo");
  EXPECT_EQ(final, "copying\r\n\"a\" 100%\r\none\r\n");
  EXPECT_EQ(log.LastLine(), "two");
  // Lines dropped from the beginning were handed out before.
  for (int line = 0; line < 12000; ++line) log.OnLogUpdate("\r\n" + std::to_string(line));
  EXPECT_TRUE(final.ends_with("\r\n11998\r\n"));
  EXPECT_EQ(std::count(final.begin(), final.end(), '\n'), 12003);
}

TEST(LogChannelTest, ABoxEmptiedBehindTheChannelsBackIsCorrectedByTheNextMessage) {
  CLogChannel log;
  log.OnLogUpdate("abc\r\n12345");
  log.SetText("");
  log.OnLogUpdate("");
  EXPECT_EQ(log.Text(), "");
  EXPECT_EQ(log.LogEndPosition(), 0);
  EXPECT_EQ(log.LastLineStart(), 0);
}

TEST(LogChannelTest, PositionsCountBytesNotCharacters) {
  CLogChannel log;
  log.OnLogUpdate("\xc3\xa9t\xc3\xa9\r\n");  // "été" in UTF-8: 5 bytes and a line break
  EXPECT_EQ(log.LogEndPosition(), 7);
  EXPECT_EQ(log.LastLineStart(), 7);
}

TEST(LogPrintfTest, FormatsMessagesOfAnyLengthWhole) {
  g_RunState.Reset();
  CTestFrontEnd front;
  const std::string longPath(70000, 'p');
  LogPrintf("\r\ncopying %s ...\r\n", longPath.c_str());
  ASSERT_EQ(front.Messages().size(), 1u);
  EXPECT_EQ(front.Messages()[0], "\r\ncopying " + longPath + " ...\r\n");
  LogPrintf("left % d sec, %08x, %3d%%", 7, 0xbeefu, 5);
  EXPECT_EQ(front.Messages()[1], "left  7 sec, 0000beef,   5%");
}

}  // namespace
