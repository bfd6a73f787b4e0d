// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in help text.
#include <gtest/gtest.h>

#include <string>

#include "frontend/WindowHelpText.h"

namespace {

TEST(WindowHelpTextTest, EveryLineEndsInCarriageReturnAndLineFeed) {
  const std::string& text = WindowHelpText();
  ASSERT_TRUE(text.ends_with("\r\n"));
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << i;
    }
  }
}

TEST(WindowHelpTextTest, StaysWellUnderTheLogLimits) { EXPECT_LT(WindowHelpText().size(), 10000u); }

TEST(WindowHelpTextTest, FollowsTheOutline) {
  const std::string& text = WindowHelpText();
  EXPECT_TRUE(text.starts_with("    *** Ferrox 1.0, built "));
  size_t last = 0;
  for (const char* section :
       {"\r\nCapabilities :\r\n", "\r\nShortcomings :\r\n", "\r\nUse :\r\n", "\r\nNetwork paths :\r\n",
        "\r\nParameters :\r\n", "\r\nCopying by parts :\r\n", "\r\nNotes :\r\n", "\r\nThanks :\r\n"}) {
    const size_t at = text.find(section);
    ASSERT_NE(at, std::string::npos) << section;
    EXPECT_GT(at, last) << section;
    last = at;
  }
  EXPECT_NE(text.find("  7. "), std::string::npos);
  EXPECT_NE(text.find("An empty Destination means the current folder"), std::string::npos);
  EXPECT_NE(text.find("drops this\r\n    machine's cached pages"), std::string::npos);
}

TEST(WindowHelpTextTest, NamesTheThreeFormsOfANetworkPathAndTheLogonQuestion) {
  const std::string& text = WindowHelpText();
  for (const char* part :
       {"smb://server/share/folder/file", "//server/share/folder/file", "\\\\server\\share\\folder\\file",
        "nothing\r\n  needs to be mounted",
        "when a share refuses the logon, this window asks for a\r\n  user name, domain and password"})
    EXPECT_NE(text.find(part), std::string::npos) << part;
  EXPECT_EQ(text.find("mount the share"), std::string::npos);
}

}  // namespace
