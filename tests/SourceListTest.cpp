// The Source field's syntax and the echo of ParseSourceList.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RunState.h"
#include "SourceList.h"
#include "TestFrontEnd.h"

namespace {

using Sources = std::vector<std::string>;

TEST(SourceListTest, QuotedPathWithBlanksThenPlainPath) {
  EXPECT_EQ(SplitSourceText("\"/home/ann/my photos\" /srv/data"),
            (Sources{"/home/ann/my photos", "/srv/data"}));
}

TEST(SourceListTest, NetworkPathWithBlanksInServerAndShareEndsAtBlankInFileName) {
  EXPECT_EQ(SplitSourceText("//file server/public share/films/old movie.avi"),
            (Sources{"//file server/public share/films/old", "movie.avi"}));
}

TEST(SourceListTest, NetworkPathOfServerOnly) {
  EXPECT_EQ(SplitSourceText("//server"), (Sources{"//server"}));
}

TEST(SourceListTest, ShareNameRunsOnOverBlankUpToTheNextSeparator) {
  // The share part takes the blank and stops at the local path's first
  // separator, so both make one single source.
  EXPECT_EQ(SplitSourceText("//server/share /home/ann"), (Sources{"//server/share /home/ann"}));
}

TEST(SourceListTest, QuotedPathDirectlyFollowedByPlainWord) {
  EXPECT_EQ(SplitSourceText("\"/srv/a\"b"), (Sources{"/srv/a", "b"}));
}

TEST(SourceListTest, UnclosedQuoteTakesTheRest) {
  EXPECT_EQ(SplitSourceText("/x \"/srv/my dir"), (Sources{"/x", "/srv/my dir"}));
}

TEST(SourceListTest, EmptyQuotesGiveOneEmptySource) { EXPECT_EQ(SplitSourceText("\"\""), (Sources{""})); }

TEST(SourceListTest, BlanksOnlyGiveNoSource) {
  EXPECT_TRUE(SplitSourceText("    ").empty());
  EXPECT_TRUE(SplitSourceText("").empty());
}

TEST(SourceListTest, TabIsAnOrdinaryCharacter) {
  EXPECT_EQ(SplitSourceText("a\tb c"), (Sources{"a\tb", "c"}));
}

TEST(SourceListTest, QuoteInsidePlainTokenAndNetworkPathIsOrdinary) {
  EXPECT_EQ(SplitSourceText("a\"b //s/h/x\"y z"), (Sources{"a\"b", "//s/h/x\"y", "z"}));
}

TEST(SourceListTest, NetworkServerPartTakesItsFirstCharacterWhateverItIs) {
  EXPECT_EQ(SplitSourceText("/// x"), (Sources{"/// x"}));
  EXPECT_EQ(SplitSourceText("//"), (Sources{"//"}));
}

TEST(SourceListTest, SourceDirTwiceGivesTwoSources) {
  EXPECT_EQ(SplitSourceText("\"/srv/one\"  \"/srv/two\""), (Sources{"/srv/one", "/srv/two"}));
}

TEST(SourceListTest, NoLimitOnLengthOrCount) {
  std::string text;
  Sources expected;
  for (int i = 0; i < 100; ++i) {
    std::string path = "/srv/" + std::string(50, static_cast<char>('a' + i % 26)) + std::to_string(i);
    text += "\"" + path + "\" ";
    expected.push_back(path);
  }
  ASSERT_GT(text.size(), 1023u);
  EXPECT_EQ(SplitSourceText(text), expected);
}

TEST(SourceListTest, ParseSourceListEchoesLogTextThenEachSource) {
  g_RunState.Reset();
  CTestFrontEnd front;
  front.log.SetText("help\r\n");
  std::vector<std::string> sources{"stale", "entries", "here"};
  ParseSourceList("help\r\n", "\"/a b\" /c", sources);
  EXPECT_EQ(sources, (Sources{"/a b", "/c"}));
  EXPECT_EQ(front.Messages(), (Sources{"help\r\n", "/a b\r\n", "/c\r\n"}));
  EXPECT_EQ(front.LogText(), "help\r\n/a b\r\n/c\r\n");
}

TEST(SourceListTest, ParseSourceListWithEmptyLogTextEmptiesTheLog) {
  g_RunState.Reset();
  CTestFrontEnd front;
  front.log.OnLogUpdate("old text\r\nmore");
  front.log.SetText("");
  std::vector<std::string> sources;
  ParseSourceList("", "/x", sources);
  EXPECT_EQ(front.LogText(), "/x\r\n");
  EXPECT_EQ(front.log.LogEndPosition(), 4);
  EXPECT_EQ(front.log.LastLineStart(), 4);
}

}  // namespace
