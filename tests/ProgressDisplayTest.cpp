// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "engine/RunState.h"
#include "frontend/ProgressDisplay.h"

namespace {

class ProgressDisplayTest : public ::testing::Test {
protected:
  ProgressDisplayTest() {
    g_RunState.Reset();
    g_RunState.currentSourcePath = &m_source;
  }
  ~ProgressDisplayTest() override { g_RunState.Reset(); }

  std::string m_source = "/mnt/share/films";
  CProgressDisplay display;
};

TEST_F(ProgressDisplayTest, FileLabelAndBarFollowThePerMille) {
  g_RunState.fileProgress = 1000;
  g_RunState.currentFileNumber = 3;
  g_RunState.fileCount = 10;
  ComputeProgress(g_RunState, display);
  EXPECT_EQ(display.fileLabel, "File (3/10) 100%");
  EXPECT_EQ(display.fileBar, 1000);

  g_RunState.fileProgress = 5;
  ComputeProgress(g_RunState, display);
  EXPECT_EQ(display.fileLabel, "File (3/10)   0%");
  EXPECT_EQ(display.fileBar, 5);

  g_RunState.fileProgress = 999;
  ComputeProgress(g_RunState, display);
  EXPECT_EQ(display.fileLabel, "File (3/10)  99%");
}

TEST_F(ProgressDisplayTest, AnUnknownTotalNamesTheSourceAndKeepsTheTotal) {
  display.totalLabel = "Total  42%";
  display.totalBar = 420;
  ComputeProgress(g_RunState, display);
  EXPECT_EQ(display.caption, "from /mnt/share/films");
  EXPECT_EQ(display.totalLabel, "Total  42%");
  EXPECT_EQ(display.totalBar, 420);
}

TEST_F(ProgressDisplayTest, TotalsAreTruncatedSharesOfTheBytes) {
  g_RunState.bytesDone = 1;
  g_RunState.totalBytes = 3;
  ComputeProgress(g_RunState, display);
  EXPECT_EQ(display.totalLabel, "Total  33%");
  EXPECT_EQ(display.totalBar, 333);
  EXPECT_EQ(display.caption, " 33% - /mnt/share/films");

  g_RunState.bytesDone = 7;
  g_RunState.totalBytes = 100;
  ComputeProgress(g_RunState, display);
  EXPECT_EQ(display.caption, "  7% - /mnt/share/films");

  // Beyond the total, as when an incomplete listing undercounted it.
  g_RunState.bytesDone = 150;
  ComputeProgress(g_RunState, display);
  EXPECT_EQ(display.totalLabel, "Total 150%");
  EXPECT_EQ(display.totalBar, 1500);

  // Totals beyond 4 GiB.
  g_RunState.bytesDone = 6ull << 30;
  g_RunState.totalBytes = 8ull << 30;
  ComputeProgress(g_RunState, display);
  EXPECT_EQ(display.totalLabel, "Total  75%");
}

TEST_F(ProgressDisplayTest, APausedWorkerPutsPausedBeforeTheCaption) {
  g_RunState.bytesDone = 42;
  g_RunState.totalBytes = 100;
  g_RunState.workerPaused = true;
  g_RunState.fileActive = true;
  ComputeProgress(g_RunState, display);
  EXPECT_EQ(display.caption, "Paused -  42% - /mnt/share/films");
  EXPECT_TRUE(display.paused);
  EXPECT_TRUE(display.fileActive);
  g_RunState.totalBytes = 0;
  ComputeProgress(g_RunState, display);
  EXPECT_EQ(display.caption, "Paused - from /mnt/share/films");
  g_RunState.workerPaused = false;
  g_RunState.fileActive = false;
  ComputeProgress(g_RunState, display);
  EXPECT_EQ(display.caption, "from /mnt/share/films");
  EXPECT_FALSE(display.fileActive);
}

TEST_F(ProgressDisplayTest, ALongSourcePathIsShownWhole) {
  m_source = std::string(3000, 'p');
  ComputeProgress(g_RunState, display);
  EXPECT_EQ(display.caption, "from " + m_source);
}

}  // namespace
