// SPDX-License-Identifier: GPL-3.0-or-later
// Check after copy with its readings in flight together against the same readings one after another:
// for random blocks, glitch schedules, failures and aborts, both give the same copy, the same lines, the
// same counters and the same result, and the generator ends in the same state.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/FileNode.h"
#include "platform/ThreadReadings.h"
#include "tests/support/EngineFixture.h"

namespace {

// One block's verification, drawn from a seed.
struct CScenario {
  uint32_t seed = 0;
  uint64_t size = 0;       // of the source
  int64_t blockStart = 0;  // where the block begins
  uint32_t maximum = 0;    // the block's length as asked for
  uint32_t cycles = 1;
  uint32_t depth = 1;  // readings in flight in the concurrent run
  std::vector<std::pair<uint64_t, std::vector<int>>> glitches;
  uint64_t failAt = 0;  // a reading covering this offset fails; 0: none
  int failTimes = 0;
  size_t abortAt = 0;  // the run flag clears at this read of the source; 0: never
};

// What one verification left behind.
struct COutcome {
  ResultFlags result = 0;
  uint32_t count = 0;
  std::string written;
  std::string buffer;
  std::vector<std::string> messages;
  int32_t errorsFixed = 0;
  uint32_t randomAfter = 0;
  int reads = 0;
  bool aborted = false;
};

CScenario Draw(uint32_t seed) {
  std::mt19937 random(seed);
  auto below = [&](uint64_t n) { return n == 0 ? 0 : random() % n; };
  CScenario s;
  s.seed = seed;
  const uint32_t pages = 1 + static_cast<uint32_t>(below(24));
  s.maximum = pages * kPageSize - static_cast<uint32_t>(below(2) ? below(kPageSize) : 0);
  s.blockStart = below(3) == 0 ? 0 : static_cast<int64_t>(below(3 * kPageSize));
  s.size = static_cast<uint64_t>(s.blockStart) + s.maximum + (below(2) ? below(3000) : 0);
  s.cycles = 1 + static_cast<uint32_t>(below(3));
  s.depth = 2 + static_cast<uint32_t>(below(20));
  const uint64_t glitches = below(12);
  for (uint64_t g = 0; g < glitches; ++g) {
    const uint64_t offset = static_cast<uint64_t>(s.blockStart) + below(s.maximum);
    std::vector<int> values;
    const uint64_t n = 1 + below(12);
    for (uint64_t v = 0; v < n; ++v) values.push_back(below(3) == 0 ? -1 : static_cast<int>(below(256)));
    s.glitches.emplace_back(offset, values);
  }
  if (below(5) == 0) {
    s.failAt = static_cast<uint64_t>(s.blockStart) + 1 + below(s.maximum - 1);
    s.failTimes = 1 + static_cast<int>(below(4));
  }
  if (below(6) == 0) s.abortAt = static_cast<size_t>(2 + below(pages * s.cycles + 2));
  return s;
}

class VerifyConcurrencyTest : public CEngineTest {
protected:
  VerifyConcurrencyTest() {
    g_RunState.checkAfterCopy = true;
    AllocateBuffer(24 * kPageSize);
    fs.AddFolder("/mem/dst"_path);
  }

  // Verifies the scenario's block with depth readings in flight (0: one at a time through the stream).
  COutcome Run(const CScenario& s, uint32_t depth, const std::string& folder) {
    const std::string name = std::to_string(s.seed) + ".bin";
    const std::string path = "/mem/"_path + folder + kPathSeparator + name;
    const std::string copyPath = "/mem/dst/"_path + folder + "-" + name;
    fs.SetReadingsDepth(depth);
    fs.AddPatternFile(path, s.size, s.seed);
    for (const auto& [offset, values] : s.glitches) fs.Glitch(path, offset, values);
    if (s.failAt != 0) fs.FailReadAt(path, s.failAt, s.failTimes);
    size_t reads = 0;
    fs.SetOnRead([&](const std::string& read, uint64_t, size_t) {
      if (read == path && ++reads == s.abortAt) g_RunState.runFlag = false;
    });
    CFileNode node;
    EXPECT_TRUE(::FindFirst(path, node.m_data));
    g_RunState.checkCycles = s.cycles;
    g_RunState.errorsFixed = 0;
    g_RunState.runFlag = true;
    const size_t before = Messages().size();

    COutcome out;
    {
      auto source = FileOpen(path, OpenMode::kRead);
      auto copy = FileOpen(copyPath, OpenMode::kWrite);
      source->Seek(s.blockStart, SeekOrigin::kSet);
      SeedRandom(s.seed);
      const uint8_t* data = nullptr;
      out.result = node.TransferBlock(*source, *copy, s.maximum, out.count, data);
      out.randomAfter = RandomState();
    }
    fs.SetOnRead({});
    const std::vector<std::string> all = Messages();
    out.messages.assign(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    out.written = fs.FileBytes(copyPath);
    out.buffer.assign(reinterpret_cast<const char*>(g_RunState.copyBuffer.get()), s.maximum);
    out.errorsFixed = g_RunState.errorsFixed;
    out.reads = fs.ReadCount(path);
    out.aborted = !g_RunState.runFlag;
    return out;
  }
};

TEST_F(VerifyConcurrencyTest, ReadingsInFlightTogetherGiveWhatOneAfterAnotherGives) {
  uint32_t first = 1;
  uint32_t seeds = 150;
  if (const char* only = std::getenv("FERROX_VERIFY_SEED")) {
    first = static_cast<uint32_t>(std::strtoul(only, nullptr, 10));
    seeds = 1;
  }
  int glitched = 0;
  int failed = 0;
  int aborted = 0;
  for (uint32_t seed = first; seed < first + seeds; ++seed) {
    const CScenario s = Draw(seed);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", replay with FERROX_VERIFY_SEED=" + std::to_string(seed) +
                 " build/bin/ferrox_thread_tests --gtest_filter=VerifyConcurrencyTest.*");
    const COutcome one = Run(s, 0, "one");
    const COutcome many = Run(s, s.depth, "many");
    EXPECT_EQ(many.written, one.written);
    EXPECT_EQ(many.buffer, one.buffer);
    glitched += one.errorsFixed > 0;
    if (one.aborted || many.aborted) {
      // An abort copies nothing back and writes nothing. The readings in flight when it came are not
      // tallied: the lines are those of the one-at-a-time run, or fewer.
      ++aborted;
      EXPECT_EQ(one.written, "");
      ASSERT_LE(many.messages.size(), one.messages.size());
      EXPECT_TRUE(std::equal(many.messages.begin(), many.messages.end(), one.messages.begin()));
      continue;
    }
    EXPECT_EQ(many.result, one.result);
    EXPECT_EQ(many.count, one.count);
    EXPECT_EQ(many.messages, one.messages);
    EXPECT_EQ(many.errorsFixed, one.errorsFixed);
    EXPECT_EQ(many.randomAfter, one.randomAfter);
    if (one.result != 0) {
      ++failed;
      EXPECT_EQ(one.count, 0u);
      EXPECT_EQ(one.written, "");
    } else {
      // Every reading of the run one at a time is a request of its own in the other as well.
      EXPECT_EQ(many.reads, one.reads);
    }
    if (HasFailure()) break;
  }
  if (seeds > 1) {
    // The seeds reach every path: glitches fixed, failed readings and aborts.
    EXPECT_GT(glitched, 20);
    EXPECT_GT(failed, 5);
    EXPECT_GT(aborted, 5);
  }
}

// Readings whose caller waits run every reading on a worker, all depth of
// them at once: the caller never reads one itself, which would leave the
// others idle until it returns.
TEST(ThreadReadingsTest, ACallerThatWaitsReadsNothingItselfAndEveryReadingIsInFlightAtOnce) {
  constexpr uint32_t kDepth = 6;
  std::mutex lock;
  std::condition_variable changed;
  uint32_t inside = 0;
  uint32_t most = 0;
  int onCaller = 0;
  const std::thread::id caller = std::this_thread::get_id();

  // Each reading waits (up to 5 s) until every other one is under way too.
  class CMeetingReader final : public CPositionalReader {
  public:
    CMeetingReader(std::mutex& l, std::condition_variable& c, uint32_t& in, uint32_t& m)
        : m_lock(l), m_changed(c), m_inside(in), m_most(m) {}
    const uint8_t* ReadAt(int64_t position, uint32_t count, uint8_t* scratch, uint32_t& got) override {
      std::unique_lock guard(m_lock);
      m_most = std::max(m_most, ++m_inside);
      m_changed.notify_all();
      m_changed.wait_for(guard, std::chrono::seconds(5), [this] { return m_most >= kDepth; });
      --m_inside;
      std::fill(scratch, scratch + count, static_cast<uint8_t>(position));
      got = count;
      return scratch;
    }

  private:
    std::mutex& m_lock;
    std::condition_variable& m_changed;
    uint32_t& m_inside;
    uint32_t& m_most;
  };

  std::unique_ptr<CReadQueue> readings = MakeThreadReadings(
      kDepth,
      [&]() -> std::unique_ptr<CPositionalReader> {
        std::lock_guard guard(lock);
        if (std::this_thread::get_id() == caller) ++onCaller;
        return std::make_unique<CMeetingReader>(lock, changed, inside, most);
      },
      CReadingsCaller::kWaits);
  ASSERT_EQ(readings->Depth(), kDepth);
  std::vector<std::vector<uint8_t>> scratch(kDepth, std::vector<uint8_t>(kReadingScratchBytes));
  for (uint32_t round = 0; round < 2; ++round) {
    for (uint32_t slot = 0; slot < kDepth; ++slot)
      readings->Start(slot, slot + 10 * round, 100, scratch[slot].data());
    for (uint32_t slot = 0; slot < kDepth; ++slot) {
      uint32_t got = 0;
      const uint8_t* data = readings->Finish(slot, got);
      ASSERT_NE(data, nullptr) << slot;
      EXPECT_EQ(got, 100u);
      EXPECT_EQ(data[99], static_cast<uint8_t>(slot + 10 * round)) << slot;
    }
  }
  EXPECT_EQ(most, kDepth);
  EXPECT_EQ(onCaller, 0);
}

}  // namespace
