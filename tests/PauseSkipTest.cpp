// SPDX-License-Identifier: GPL-3.0-or-later
// Pause and Skip File in the engine: a pause holds the worker where it
// would read next and keeps the reconnect limit from running out; a skip
// ends the copy of one file, keeps its partial copy and lets the run go on.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "engine/CopyThreadProc.h"
#include "engine/PauseGate.h"
#include "frontend/ProgressDisplay.h"
#include "tests/support/EngineFixture.h"

namespace {

class PauseSkipTest : public CEngineTest {
protected:
  PauseSkipTest() {
    fs.AddFolder("/mem/dst"_path);
    front.SetDestination("/mem/dst"_path);
    g_RunState.bufferSize = 65536;
    // Pauses and skips come with the worker's own reads of given blocks:
    // one file at a time, none of them read ahead.
    g_RunState.fetchFiles = 0;
  }

  // Waits at most 10 seconds of real time until condition holds; returns
  // whether it does.
  template <class Condition>
  static bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  // Returns the result the run's only source ended with.
  uint32_t SourceResult() const {
    const auto summaries = front.Summaries();
    return summaries.size() == 1 ? summaries[0].result : 0xFFFFFFFFu;
  }
};

TEST_F(PauseSkipTest, APauseLongerThanTheReconnectLimitDoesNotRunItOut) {
  const std::string source = "/mem/src/a.bin"_path;
  fs.AddPatternFile(source, 200000, 7);
  g_RunState.reconnectLimit = 5;
  // The file cannot be opened for 30 seconds, six times the limit; the
  // first attempt to reach it asks for a pause.
  fs.FailOpensUntil(source, CTestClock::kDefaultStart + 30);
  std::atomic<bool> askPause{true};
  front.onMessage = [&askPause](const std::string& message) {
    if (message.starts_with("trying to connect to ") && askPause.exchange(false)) g_RunState.pauseFlag = true;
  };
  g_RunState.sources = {source};
  g_RunState.workerFinished = false;

  std::thread worker(CopyThreadProc);
  ASSERT_TRUE(WaitFor([] { return g_RunState.workerPaused.load(); }));
  EXPECT_EQ(front.LogText().substr(front.LogText().rfind('\n') + 1), "paused");
  CProgressDisplay display;
  ComputeProgress(g_RunState, display);
  EXPECT_TRUE(display.caption.starts_with("Paused - ")) << display.caption;
  EXPECT_TRUE(display.fileActive);
  // Held for a minute by the clock, then let go.
  clock.Advance(60000);
  g_RunState.pauseFlag = false;
  ASSERT_TRUE(WaitFor([] { return g_RunState.workerFinished.load(); }));
  worker.join();

  EXPECT_GE(g_RunState.pausedSeconds, 60);
  EXPECT_TRUE(fs.FileBytes("/mem/dst/a.bin"_path) == fs.FileBytes(source));
  EXPECT_EQ(SourceResult(), kResultOk);
  EXPECT_EQ(CountMessages("paused"), 1);
  EXPECT_EQ(front.pauses, 1);
  EXPECT_EQ(front.continues, 1);
  EXPECT_FALSE(g_RunState.workerPaused);
  const std::string log = front.LogText();
  EXPECT_EQ(log.find("reconnect limit over"), std::string::npos) << log;
  EXPECT_EQ(log.find("\npaused"), std::string::npos) << log;
  EXPECT_NE(log.find("\r\nsuccesfully copyed\r\n"), std::string::npos) << log;
}

TEST_F(PauseSkipTest, WithoutThePauseTheSameSourceRunsOutTheLimit) {
  const std::string source = "/mem/src/a.bin"_path;
  fs.AddPatternFile(source, 200000, 7);
  g_RunState.reconnectLimit = 5;
  fs.FailOpensUntil(source, CTestClock::kDefaultStart + 30);
  g_RunState.sources = {source};
  CopyThreadProc();
  EXPECT_EQ(SourceResult(), kResultReadFailure);
  EXPECT_EQ(CountMessages(source + " reconnect limit over, try again\r\n"), 1);
}

TEST_F(PauseSkipTest, APauseBetweenBlocksHoldsTheCopyUntilContinued) {
  const std::string source = "/mem/src/big.bin"_path;
  fs.AddPatternFile(source, 4 * 65536, 3);
  fs.SetOnRead([](const std::string& path, uint64_t offset, size_t) {
    if (path.ends_with("big.bin") && offset == 65536) g_RunState.pauseFlag = true;
  });
  g_RunState.sources = {"/mem/src"_path};
  g_RunState.workerFinished = false;

  std::thread worker(CopyThreadProc);
  ASSERT_TRUE(WaitFor([] { return g_RunState.workerPaused.load(); }));
  const uint64_t held = fs.FileSize("/mem/dst/src/big.bin"_path);
  EXPECT_EQ(held, 2u * 65536);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(fs.FileSize("/mem/dst/src/big.bin"_path), held);
  EXPECT_FALSE(g_RunState.workerFinished);
  g_RunState.pauseFlag = false;
  ASSERT_TRUE(WaitFor([] { return g_RunState.workerFinished.load(); }));
  worker.join();

  EXPECT_TRUE(fs.FileBytes("/mem/dst/src/big.bin"_path) == fs.FileBytes(source));
  // The progress line took the place of "paused" once the copy went on.
  const auto messages = Messages();
  const auto paused = std::find(messages.begin(), messages.end(), "paused");
  ASSERT_NE(paused, messages.end());
  ASSERT_NE(paused + 1, messages.end());
  EXPECT_EQ(*(paused + 1), "\"big.bin\"      131072 bytes,    0 mb,  50%");
  EXPECT_EQ(SourceResult(), kResultOk);
}

TEST_F(PauseSkipTest, SkipFileWorksWhilePaused) {
  fs.AddPatternFile("/mem/src/a.bin"_path, 4 * 65536, 1);
  fs.AddFile("/mem/src/b.txt"_path, "bbb");
  fs.SetOnRead([](const std::string& path, uint64_t offset, size_t) {
    if (path.ends_with("a.bin") && offset == 65536) g_RunState.pauseFlag = true;
  });
  g_RunState.sources = {"/mem/src"_path};
  g_RunState.workerFinished = false;

  std::thread worker(CopyThreadProc);
  ASSERT_TRUE(WaitFor([] { return g_RunState.workerPaused.load(); }));
  g_RunState.skipFlag = true;
  // The next file waits at the pause again until continued.
  ASSERT_TRUE(WaitFor([this] { return front.pauses.load() == 2; }));
  EXPECT_FALSE(fs.Exists("/mem/dst/src/b.txt"_path));
  g_RunState.pauseFlag = false;
  ASSERT_TRUE(WaitFor([] { return g_RunState.workerFinished.load(); }));
  worker.join();

  EXPECT_EQ(fs.FileSize("/mem/dst/src/a.bin"_path), 2u * 65536);
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/b.txt"_path), "bbb");
  EXPECT_EQ(CountMessages("\"a.bin\" skipped, its partial copy is kept\r\n"), 1);
  EXPECT_EQ(SourceResult(), kResultSkipped);
}

TEST_F(PauseSkipTest, SkipMidFileKeepsThePartialAndGoesOnWithTheNextFile) {
  const std::string big = "/mem/src/a.bin"_path;
  fs.AddPatternFile(big, 16 * 65536, 5);
  fs.AddFile("/mem/src/b.txt"_path, "next file");
  // The user presses Skip File while the fifth block is being read.
  fs.SetOnRead([](const std::string& path, uint64_t offset, size_t) {
    if (path.ends_with("a.bin") && offset == 4 * 65536) g_RunState.skipFlag = true;
  });
  g_RunState.sources = {"/mem/src"_path};
  EXPECT_EQ(CopyThreadProc(), kResultSkipped);

  // The block read when the skip came is not written; what is there stays.
  EXPECT_EQ(fs.FileSize("/mem/dst/src/a.bin"_path), 4u * 65536);
  EXPECT_TRUE(fs.FileBytes("/mem/dst/src/a.bin"_path) == CMemFileSystem::PatternBytes(5, 0, 4 * 65536));
  EXPECT_EQ(fs.TimeWrite("/mem/dst/src/a.bin"_path), fs.TimeWrite(big));
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/b.txt"_path), "next file");
  EXPECT_EQ(CountMessages("\"a.bin\" skipped, its partial copy is kept\r\n"), 1);
  EXPECT_EQ(CountMessages("\r\n1 file skipped by the user\r\n"), 1);
  EXPECT_EQ(CountMessages("\r\nsuccesfully copyed\r\n"), 0);
  EXPECT_EQ(SourceResult(), kResultSkipped);
  EXPECT_TRUE(front.Summaries()[0].leftOut.empty());
  EXPECT_FALSE(g_RunState.fileActive);
  EXPECT_FALSE(g_RunState.skipFlag);

  // A later run continues the partial copy to its end.
  fs.SetOnRead(nullptr);
  g_RunState.runFlag = true;
  EXPECT_EQ(CopyThreadProc(), kResultOk);
  EXPECT_TRUE(fs.FileBytes("/mem/dst/src/a.bin"_path) == fs.FileBytes(big));
  EXPECT_EQ(CountMessages("\r\nsuccesfully copyed\r\n"), 1);
}

TEST_F(PauseSkipTest, TwoSkippedFilesAreCountedInOneLine) {
  fs.AddPatternFile("/mem/src/a.bin"_path, 4 * 65536, 1);
  fs.AddPatternFile("/mem/src/b.bin"_path, 4 * 65536, 2);
  fs.SetOnRead([](const std::string&, uint64_t offset, size_t) {
    if (offset == 65536) g_RunState.skipFlag = true;
  });
  g_RunState.sources = {"/mem/src"_path};
  EXPECT_EQ(CopyThreadProc(), kResultSkipped);
  EXPECT_EQ(CountMessages("\r\n2 files skipped by the user\r\n"), 1);
  EXPECT_EQ(fs.FileSize("/mem/dst/src/a.bin"_path), 65536u);
  EXPECT_EQ(fs.FileSize("/mem/dst/src/b.bin"_path), 65536u);
}

}  // namespace
