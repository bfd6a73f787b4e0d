// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 log box on a real edit box: it follows the end of the log only
// while the end is in view, and the lines the log drops leave its beginning
// while the lines in view stay there. Skipped where no window can be made.
#include <gtest/gtest.h>

#include <string>

#include "platform/windows/WindowsApi.h"
#include "win/LogEdit.h"

namespace {

// Returns "line N\r\n" for each N from first up to before last.
std::string Lines(int first, int last) {
  std::string text;
  for (int line = first; line < last; ++line) text += "line " + std::to_string(line) + "\r\n";
  return text;
}

class CLogEditTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_box =
        CreateWindowExW(0, L"EDIT", L"", WS_POPUP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                        0, 0, 300, 120, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!m_box) GTEST_SKIP() << "no window can be made here";
    m_log.Attach(m_box);
  }
  void TearDown() override {
    if (m_box) DestroyWindow(m_box);
  }

  LRESULT FirstVisible() const { return SendMessageW(m_box, EM_GETFIRSTVISIBLELINE, 0, 0); }
  void ScrollBy(int lines) { SendMessageW(m_box, EM_LINESCROLL, 0, lines); }

  HWND m_box = nullptr;
  CLogEdit m_log;
};

TEST_F(CLogEditTest, FollowsTheEndOnlyWhileItIsInView) {
  std::string text = Lines(0, 200);
  m_log.Show(text);
  EXPECT_TRUE(m_log.EndInView());
  EXPECT_GT(FirstVisible(), 100);

  ScrollBy(-1000);  // the user reads from the top
  ASSERT_EQ(FirstVisible(), 0);
  text += Lines(200, 300);
  m_log.Show(text);
  EXPECT_EQ(FirstVisible(), 0);
  EXPECT_FALSE(m_log.EndInView());

  ScrollBy(100000);  // back at the end
  ASSERT_TRUE(m_log.EndInView());
  text += Lines(300, 400);
  m_log.Show(text);
  EXPECT_TRUE(m_log.EndInView());
  EXPECT_GT(FirstVisible(), 300);
}

TEST_F(CLogEditTest, DroppedLinesLeaveTheBoxAndTheLinesInViewStay) {
  m_log.Show(Lines(0, 300));
  ScrollBy(-1000);
  ScrollBy(150);  // "line 150" at the top
  ASSERT_EQ(FirstVisible(), 150);
  const std::string kept = Lines(100, 350);
  m_log.Show(kept, 100);
  EXPECT_EQ(GetWindowTextLengthW(m_box), static_cast<int>(kept.size()));
  EXPECT_EQ(FirstVisible(), 50);
}

}  // namespace
