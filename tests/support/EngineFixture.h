// SPDX-License-Identifier: GPL-3.0-or-later
// The common ground of engine tests: a fresh run state with the run flag
// set, an in-memory file system mounted at /mem (C:\mem on Windows, see
// TestPaths.h), a test clock and a front end that records every message.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/RunState.h"
#include "tests/support/MemFileSystem.h"
#include "tests/support/TestClock.h"
#include "tests/support/TestFrontEnd.h"
#include "tests/support/TestPaths.h"

class CEngineTest : public ::testing::Test {
protected:
  CEngineTest() : m_mount(fs), m_clockInstall(clock) {
    g_RunState.Reset();
    g_RunState.checkAfterCopy = false;
    g_RunState.runFlag = true;
    g_RunState.mainForm = &front;
  }
  ~CEngineTest() override { g_RunState.Reset(); }

  // Allocates the copy buffer as the run driver does.
  void AllocateBuffer(uint32_t size) {
    g_RunState.bufferSize = size;
    g_RunState.copyBuffer.reset(new uint8_t[size]);
    if (g_RunState.checkAfterCopy) g_RunState.AllocateVerifyAreas();
  }

  // Every message so far.
  std::vector<std::string> Messages() const { return front.Messages(); }

  // Returns how many messages equal text.
  int CountMessages(const std::string& text) const {
    int count = 0;
    for (const std::string& m : front.Messages()) count += m == text;
    return count;
  }

  CMemFileSystem fs{"/mem"_path};
  CTestClock clock;
  CTestFrontEnd front;

private:
  CMountGuard m_mount;
  CClockInstall m_clockInstall;
};
