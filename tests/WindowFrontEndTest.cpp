// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's side of every window: messages and progress applied on the
// caller's thread, each followed by one request to repaint, and progress
// taken once per change.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "engine/RunState.h"
#include "frontend/WindowFrontEnd.h"

namespace {

class CCountingWindow final : public CWindowFrontEnd {
public:
  void SendStartCommand() override {}
  const CLogChannel& Log() const { return m_log; }
  using CWindowFrontEnd::ProgressChanged;
  using CWindowFrontEnd::TakeProgress;
  std::atomic<int> repaints{0};

private:
  void RequestRepaint() override { ++repaints; }
};

class WindowFrontEndTest : public ::testing::Test {
protected:
  WindowFrontEndTest() {
    g_RunState.Reset();
    g_RunState.currentSourcePath = &m_source;
  }
  ~WindowFrontEndTest() override { g_RunState.Reset(); }

  std::string m_source = "/mnt/share/films";
  CCountingWindow window;
};

TEST_F(WindowFrontEndTest, ProgressIsTakenOncePerChangeAndEachHandOverAsksForARepaint) {
  CProgressDisplay display;
  display.fileLabel = "untouched";
  EXPECT_FALSE(window.ProgressChanged());
  EXPECT_FALSE(window.TakeProgress(display));
  EXPECT_EQ(display.fileLabel, "untouched");

  g_RunState.fileProgress = 500;
  g_RunState.currentFileNumber = 2;
  g_RunState.fileCount = 4;
  window.UpdateProgress();
  EXPECT_EQ(window.repaints, 1);
  EXPECT_TRUE(window.ProgressChanged());
  ASSERT_TRUE(window.TakeProgress(display));
  EXPECT_EQ(display.fileLabel, "File (2/4)  50%");
  EXPECT_EQ(display.fileBar, 500);
  EXPECT_FALSE(window.TakeProgress(display));

  window.LogMessage("copying\r\n");
  EXPECT_EQ(window.repaints, 2);
  EXPECT_EQ(window.Log().Text(), "copying\r\n");
}

TEST_F(WindowFrontEndTest, AWorkerHandsOverWhileTheWindowTakesAndNothingIsLost) {
  std::atomic<bool> done{false};
  std::thread worker([this, &done] {
    for (int i = 0; i < 1000; ++i) {
      window.LogMessage("line\r\n");
      window.UpdateProgress();
    }
    done = true;
  });
  CProgressDisplay display;
  while (!done) window.TakeProgress(display);
  worker.join();
  EXPECT_EQ(window.repaints, 2000);
  std::string lines;
  for (int i = 0; i < 1000; ++i) lines += "line\r\n";
  EXPECT_EQ(window.Log().Text(), lines);
}

}  // namespace
