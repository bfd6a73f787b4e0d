// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "engine/LogPrintf.h"
#include "engine/RunState.h"
#include "frontend/LogChannel.h"
#include "tests/support/TestFrontEnd.h"

namespace {

// Messages from two threads at once each reach the log whole: every line of
// the log is one complete message, and each thread's lines keep their order.
TEST(LogChannelThreadTest, MessagesFromTwoThreadsArriveWholeAndInOrder) {
  g_RunState.Reset();
  CTestFrontEnd front;
  constexpr int kCount = 2000;
  auto writer = [](char tag) {
    for (int i = 0; i < kCount; ++i) LogPrintf("\r\n%c%05d%s", tag, i, std::string(40, tag).c_str());
  };
  std::thread worker(writer, 'w');
  writer('u');
  worker.join();

  const std::vector<std::string> messages = front.Messages();
  ASSERT_EQ(messages.size(), 2u * kCount);
  int next[2] = {0, 0};
  for (const std::string& m : messages) {
    ASSERT_EQ(m.size(), 2u + 1 + 5 + 40);
    const char tag = m[2];
    const int index = tag == 'w' ? 0 : 1;
    EXPECT_EQ(std::stoi(m.substr(3, 5)), next[index]++);
    EXPECT_EQ(m.substr(8), std::string(40, tag));
  }
  // The log holds every message whole, each thread's in its order.
  const std::string text = front.LogText();
  ASSERT_EQ(text.size(), 2u * kCount * 48);
  int kept[2] = {0, 0};
  for (size_t at = 0; at < text.size(); at += 48) {
    const std::string m = text.substr(at, 48);
    ASSERT_TRUE(m.starts_with("\r\n")) << m;
    const char tag = m[2];
    EXPECT_EQ(std::stoi(m.substr(3, 5)), kept[tag == 'w' ? 0 : 1]++);
    EXPECT_EQ(m.substr(8), std::string(40, tag));
  }
}

// The window side reads the text while the worker writes, without waiting
// for the worker beyond the short lock.
TEST(LogChannelThreadTest, ReadersSeeConsistentTextWhileAWorkerWrites) {
  CLogChannel log;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 0; i < 20000; ++i) log.OnLogUpdate(i % 2 ? "\r\nline\r\n" : "status 12%");
    done = true;
  });
  bool last = false;
  do {
    last = done;
    log.ReadText([](const std::string& text) {
      EXPECT_EQ(text.find("status 12%status"), std::string::npos);
      return 0;
    });
    // The lock is not fair: a reader that takes it again at once can keep
    // the writer waiting for minutes under a race detector. The window reads
    // at most every 30 ms; this one still reads far more often.
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  } while (!last);
  worker.join();
}

}  // namespace
