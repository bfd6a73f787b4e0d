// The command-line intake: arguments handed over one by one become Source
// text that the field's syntax splits back into exactly those paths.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandLine.h"
#include "SourceList.h"
#include "SourceToken.h"

namespace {

using Strings = std::vector<std::string>;

// Returns the arguments that were kept, in order.
Strings Kept(const Strings& arguments, const CCommandLineSources& intake) {
  Strings kept;
  for (const std::string& argument : arguments) {
    bool left = false;
    for (const CLeftOutArgument& out : intake.leftOut) left = left || out.argument == argument;
    if (!left) kept.push_back(argument);
  }
  return kept;
}

TEST(CommandLineTest, NoArgumentsGiveEmptySourceText) {
  const CCommandLineSources intake = TakeCommandLine({});
  EXPECT_EQ(intake.sourceText, "");
  EXPECT_TRUE(intake.leftOut.empty());
}

TEST(CommandLineTest, EachArgumentIsQuotedAndSeparatedByOneBlank) {
  const CCommandLineSources intake = TakeCommandLine({"/home/ann/my photos", "/srv/data"});
  EXPECT_EQ(intake.sourceText, "\"/home/ann/my photos\" \"/srv/data\"");
  EXPECT_EQ(SplitSourceText(intake.sourceText), (Strings{"/home/ann/my photos", "/srv/data"}));
}

TEST(CommandLineTest, ShareRootIsQuotedSoTheNextPathStaysApart) {
  const Strings arguments{"//server/share", "/home/ann", "//file server/public share"};
  const CCommandLineSources intake = TakeCommandLine(arguments);
  EXPECT_EQ(SplitSourceText(intake.sourceText), arguments);
}

TEST(CommandLineTest, DoubleQuoteThatQuotingCannotCarryIsLeftOutAndNamed) {
  const Strings arguments{"/srv/a", "/srv/say \"hi\"", "\"lead", "/srv/b"};
  const CCommandLineSources intake = TakeCommandLine(arguments);
  ASSERT_EQ(intake.leftOut.size(), 2u);
  EXPECT_EQ(intake.leftOut[0].argument, "/srv/say \"hi\"");
  EXPECT_EQ(intake.leftOut[0].reason, kReasonQuote);
  EXPECT_EQ(intake.leftOut[1].argument, "\"lead");
  EXPECT_EQ(SplitSourceText(intake.sourceText), (Strings{"/srv/a", "/srv/b"}));
}

TEST(CommandLineTest, DoubleQuoteInsideAPathWithoutBlanksIsCarriedUnquoted) {
  const Strings arguments{"/srv/12\"vinyl", "//my server/share/a\"b", "/next"};
  const CCommandLineSources intake = TakeCommandLine(arguments);
  EXPECT_TRUE(intake.leftOut.empty());
  EXPECT_EQ(SplitSourceText(intake.sourceText), arguments);
}

TEST(CommandLineTest, QuoteInShareNameThatWouldRunOnIsLeftOut) {
  const CCommandLineSources intake = TakeCommandLine({"//my server/sh\"are", "/next"});
  ASSERT_EQ(intake.leftOut.size(), 1u);
  EXPECT_EQ(SplitSourceText(intake.sourceText), (Strings{"/next"}));
}

TEST(CommandLineTest, ArgumentThatIsNotUtf8IsLeftOutAndNamed) {
  const CCommandLineSources intake = TakeCommandLine({"/srv/caf\xe9", "/srv/café"});
  ASSERT_EQ(intake.leftOut.size(), 1u);
  EXPECT_EQ(intake.leftOut[0].reason, kReasonEncoding);
  EXPECT_EQ(SplitSourceText(intake.sourceText), (Strings{"/srv/café"}));
}

TEST(CommandLineTest, EmptyArgumentStaysAnEmptySource) {
  const CCommandLineSources intake = TakeCommandLine({"", "/a"});
  EXPECT_EQ(SplitSourceText(intake.sourceText), (Strings{"", "/a"}));
}

TEST(CommandLineTest, ManyLongArgumentsAreAllKept) {
  Strings arguments;
  for (int i = 0; i < 200; ++i)
    arguments.push_back("/srv/" + std::string(300, 'x') + " part " + std::to_string(i));
  const CCommandLineSources intake = TakeCommandLine(arguments);
  EXPECT_TRUE(intake.leftOut.empty());
  EXPECT_EQ(SplitSourceText(intake.sourceText), arguments);
}

TEST(CommandLineTest, EveryKeptArgumentComesBackExactly) {
  const Strings arguments{"plain",     "with blank", "\"",         "a\"",    "//s",    "//s/t",
                          "//s t/u v", "//s/t/u v",  "//s/t/u\"v", "  lead", "trail ", "\t",
                          "x\"y z",    "//\"q",      "/srv/ü ö",   "///",    "\"\"",   ""};
  const CCommandLineSources intake = TakeCommandLine(arguments);
  EXPECT_EQ(SplitSourceText(intake.sourceText), Kept(arguments, intake));
  for (const CLeftOutArgument& out : intake.leftOut) EXPECT_FALSE(SourceToken(out.argument).has_value());
}

TEST(SourceTokenTest, BuildSourceTextWritesEachPathQuotedAndFollowedByABlank) {
  const CSourceText built = BuildSourceText({"/srv/a b.txt", "/srv/c.txt"});
  EXPECT_EQ(built.text, "\"/srv/a b.txt\" \"/srv/c.txt\" ");
  EXPECT_TRUE(built.leftOut.empty());
  EXPECT_EQ(CombineSourceText("\"/x\" ", built.text, true), "\"/x\"  \"/srv/a b.txt\" \"/srv/c.txt\" ");
  EXPECT_EQ(CombineSourceText("\"/x\" ", built.text, false), built.text);
}

}  // namespace
