#include <gtest/gtest.h>

#include <string>

#include "LogChannel.h"
#include "LogPrintf.h"
#include "RunState.h"
#include "TestFrontEnd.h"
#include "TextSink.h"

namespace {

// Fills an empty channel with text, which begins with a line break, so that
// the positions are read back from it.
void Prime(CLogChannel& log, const std::string& text) { log.OnLogUpdate(text); }

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

TEST(LogChannelTest, EmptiesAtTheThresholdAndNotBefore) {
  CLogChannel log;
  Prime(log, "\r\n" + std::string(28986, 'x') + "\r\n");  // 28990 bytes with the first line break
  ASSERT_EQ(log.LogEndPosition(), 28990);
  log.OnLogUpdate("0123456789");
  EXPECT_EQ(log.Text(), "0123456789");
  EXPECT_EQ(log.LogEndPosition(), 10);

  CLogChannel other;
  Prime(other, "\r\n" + std::string(28985, 'x') + "\r\n");
  ASSERT_EQ(other.LogEndPosition(), 28989);
  other.OnLogUpdate("0123456789");
  EXPECT_EQ(other.LogEndPosition(), 28999);
}

TEST(LogChannelTest, AfterEmptyingANewLineMessageStartsAtTheTop) {
  CLogChannel log;
  Prime(log, "\r\n" + std::string(28995, 'x') + "\r\n");
  log.OnLogUpdate("\r\nnext\r\n");
  EXPECT_EQ(log.Text(), "\r\nnext\r\n");
}

TEST(LogChannelTest, AHugeFirstMessageEmptiesTheBoxAndReplacesEverything) {
  CLogChannel log;
  log.SetText("help text shown before the first message");
  const std::string message(29001, 'm');
  log.OnLogUpdate(message);
  EXPECT_EQ(log.Text(), message);
  EXPECT_EQ(log.LogEndPosition(), 29001);

  // The first message after start replaces the help text put there by the form.
  CLogChannel fresh;
  fresh.SetText("help\r\n");
  fresh.OnLogUpdate("help\r\n");
  EXPECT_EQ(fresh.Text(), "help\r\n");
  EXPECT_EQ(fresh.LogEndPosition(), 6);
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
