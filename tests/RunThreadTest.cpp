// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/CopyThreadProc.h"
#include "tests/support/EngineFixture.h"

namespace {

// A run on its own worker thread, aborted from this thread as the window's
// Abort does: the copy winds down, is reported as canceled, and the worker
// sets its finished flag without sending the Start command.
class RunThreadTest : public CEngineTest {};

TEST_F(RunThreadTest, AnAbortFromTheWindowThreadWindsTheWorkerDown) {
  for (uint32_t i = 0; i < 50; ++i)
    fs.AddPatternFile("/mem/src/f"_path + std::to_string(i) + ".bin", 1 << 20, i);
  fs.AddFolder("/mem/dst"_path);
  front.SetDestination("/mem/dst"_path);
  g_RunState.sources = {"/mem/src"_path};
  g_RunState.bufferSize = 65536;
  g_RunState.workerFinished = false;

  std::thread worker(CopyThreadProc);
  while (fs.FileSize("/mem/dst/src/f10.bin"_path) == 0 && !g_RunState.workerFinished)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  g_RunState.runFlag = false;
  while (!g_RunState.workerFinished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  worker.join();

  EXPECT_EQ(front.startCommands, 0);
  ASSERT_EQ(front.Summaries().size(), 1u);
  EXPECT_TRUE(front.Summaries()[0].canceled);
  EXPECT_FALSE(fs.Exists("/mem/dst/src/f49.bin"_path));
}

// A run that ends by itself sends the Start command from the worker, which
// the window side handles while the worker waits.
TEST_F(RunThreadTest, ARunThatEndsByItselfSendsTheStartCommandOnce) {
  fs.AddFile("/mem/src/a.txt"_path, "a");
  fs.AddFolder("/mem/dst"_path);
  front.SetDestination("/mem/dst"_path);
  g_RunState.sources = {"/mem/src"_path, "/mem/src"_path};
  g_RunState.workerFinished = false;
  std::thread worker(CopyThreadProc);
  while (!g_RunState.workerFinished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  worker.join();
  EXPECT_EQ(front.startCommands, 1);
  EXPECT_FALSE(g_RunState.runFlag);
  EXPECT_EQ(CountMessages("\r\nsuccesfully copyed\r\n"), 2);
}

}  // namespace
