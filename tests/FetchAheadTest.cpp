// SPDX-License-Identifier: GPL-3.0-or-later
// Files in flight: a run that fetches files ahead of the worker must leave
// everything a user, a script or a file sees exactly as a run that opens one
// file at a time. Random trees with random destinations, settings, aborts and
// lasting faults are copied both ways and compared: messages in their order,
// results, CRCs and every destination byte.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/CopyThreadProc.h"
#include "engine/RunState.h"
#include "platform/Connections.h"
#include "tests/support/MemFileSystem.h"
#include "tests/support/TestClock.h"
#include "tests/support/TestFrontEnd.h"
#include "tests/support/TestRandom.h"

namespace {

// What a run leaves to be seen.
struct COutcome {
  ResultFlags result = 0;
  std::vector<std::string> messages;
  std::vector<std::string> summaries;              // result, CRC and cancel of each source
  std::map<std::string, std::string> destination;  // every entry below /mem/dst: bytes and time
  std::vector<std::thread::id> sourceOpeners;      // threads that opened a source
};

// Adds every entry below folder to outcome.
void Describe(const CMemFileSystem& fs, const std::string& folder, COutcome& outcome) {
  for (const std::string& name : fs.ListNames(folder)) {
    const std::string path = folder + "/" + name;
    if (fs.IsFolder(path)) {
      outcome.destination[path] = "folder";
      Describe(fs, path, outcome);
    } else {
      outcome.destination[path] = fs.FileBytes(path) + " @" + std::to_string(fs.TimeWrite(path));
    }
  }
}

// One run of the tree of seed, fetching depth files ahead. The same seed
// builds the same tree, destination, settings and faults whatever the depth.
// onFirstCopy, when given, is called at the first destination open; remote
// tells whether the in-memory tree stands for a source reached over a network.
COutcome CopySeed(uint64_t seed, uint32_t depth, const std::function<void(CMemFileSystem&)>& onFirstCopy = {},
                  bool remote = true) {
  CRandom r(seed);
  CMemFileSystem fs("/mem");
  CMountGuard mount(fs);
  fs.SetRemote(remote);
  CTestClock clock;
  CClockInstall clockInstall(clock);
  CTestFrontEnd front;
  g_RunState.Reset();
  g_RunState.mainForm = &front;
  g_RunState.fetchFiles = depth;
  g_RunState.bufferSize = static_cast<uint32_t>(1024u << r.Below(5));
  g_RunState.checkAfterCopy = r.Chance(40);
  g_RunState.checkCycles = static_cast<uint32_t>(1 + r.Below(2));
  g_RunState.reconnectLimit = static_cast<uint32_t>(r.Below(3));
  fs.SetReadingsDepth(static_cast<uint32_t>(r.Below(3) * 2));
  fs.SetLending(r.Chance(50));
  fs.AddFolder("/mem/dst");
  front.SetDestination("/mem/dst");

  // A tree of up to three levels; each file with a destination of its own kind.
  std::vector<std::string> folders{"/mem/src/top"};
  fs.AddFolder(folders[0]);
  const uint64_t files = 3 + r.Below(25);
  for (uint64_t n = 0; n < files; ++n) {
    std::string folder = folders[r.Below(folders.size())];
    if (folder.size() < 40 && r.Chance(20)) {
      folder += "/d" + std::to_string(n);
      fs.AddFolder(folder);
      folders.push_back(folder);
    }
    const std::string path = folder + "/f" + std::to_string(n) + (r.Chance(30) ? ".txt" : "");
    const uint64_t size = r.Chance(10) ? 0 : r.Chance(60) ? 1 + r.Below(3000) : r.Below(40000);
    const int64_t time = 1500000000 + static_cast<int64_t>(r.Below(1000));
    const auto patternSeed = static_cast<uint32_t>(r.Next());
    const std::string bytes = CMemFileSystem::PatternBytes(patternSeed, 0, size);
    fs.AddFile(path, bytes, time);
    const std::string copy = "/mem/dst/top" + path.substr(std::string("/mem/src/top").size());
    const uint64_t kind = r.Below(100);
    if (kind < 15)
      fs.AddFile(copy, bytes.substr(0, r.Below(size + 1)), time);  // partial, or complete
    else if (kind < 20)
      fs.AddFile(copy, bytes, time + 1);  // as long, another time: compared first
    else if (kind < 25)
      fs.AddFile(copy, bytes.substr(0, r.Below(size + 1)), time - 7);  // shorter, another time
    else if (kind < 28)
      fs.AddFile(copy, bytes + "longer", time);
    // Faults that last, so that whoever reads first meets them.
    if (r.Chance(6)) fs.FailOpens(path, CMemFileSystem::kForever);
    if (size > 0 && r.Chance(6)) fs.FailReadAt(path, r.Below(size), CMemFileSystem::kForever);
  }

  // An abort at a destination open, which only the worker makes.
  COutcome outcome;
  std::mutex openers;
  const uint64_t abortAt = r.Chance(40) ? 1 + r.Below(files) : 0;
  std::atomic<uint64_t> destinationOpens{0};
  fs.SetOnOpen([&](const std::string& path, OpenMode mode) {
    if (mode == OpenMode::kRead) {
      if (path.starts_with("/mem/src/")) {
        std::lock_guard hold(openers);
        outcome.sourceOpeners.push_back(std::this_thread::get_id());
      }
      return;
    }
    const uint64_t opens = ++destinationOpens;
    if (opens == 1 && onFirstCopy) onFirstCopy(fs);
    if (opens == abortAt) g_RunState.runFlag = false;
  });

  g_RunState.sources = {"/mem/src/top"};
  g_RunState.runFlag = true;
  g_RunState.workerFinished = false;
  outcome.result = CopyThreadProc();
  fs.SetOnOpen(nullptr);
  outcome.messages = front.Messages();
  for (const CSourceSummary& summary : front.Summaries())
    outcome.summaries.push_back(std::to_string(summary.result) + " " + std::to_string(summary.crc32) + " " +
                                std::to_string(summary.canceled));
  Describe(fs, "/mem/dst", outcome);
  EXPECT_EQ(fs.OpenStreams(), 0) << "seed " << seed << " depth " << depth;
  g_RunState.Reset();
  return outcome;
}

void ExpectAlike(const COutcome& one, const COutcome& ahead, uint64_t seed) {
  EXPECT_EQ(ahead.result, one.result) << "seed " << seed;
  EXPECT_EQ(ahead.messages, one.messages) << "seed " << seed;
  EXPECT_EQ(ahead.summaries, one.summaries) << "seed " << seed;
  EXPECT_EQ(ahead.destination, one.destination) << "seed " << seed;
}

TEST(FetchAheadTest, RandomTreesCopyAsOneFileAtATime) {
  for (uint64_t seed = 1; seed <= 150; ++seed) {
    const COutcome one = CopySeed(seed, 0);
    for (uint32_t depth : {1u, kFetchFiles}) ExpectAlike(one, CopySeed(seed, depth), seed);
    if (HasFailure()) break;
  }
}

// The worker holds its first copy until files after it have been fetched;
// then their destinations change under the fetches: made longer, removed,
// stamped otherwise. The worker copies each as it finds it.
TEST(FetchAheadTest, DestinationsThatChangeAfterTheFetchAreCopiedAsFound) {
  for (uint64_t seed = 1000; seed < 1040; ++seed) {
    std::vector<std::thread::id> waitedOn;
    auto change = [](CMemFileSystem& fs, bool wait) {
      // Until the fetching threads have opened two sources besides the
      // worker's, with a limit should they not come.
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
      while (wait && std::chrono::steady_clock::now() < until) {
        int opened = 0;
        for (const std::string& name : fs.ListNames("/mem/src/top"))
          opened += fs.OpenCount("/mem/src/top/" + name) > 0;
        if (opened >= 3 || opened == static_cast<int>(fs.ListNames("/mem/src/top").size())) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      std::vector<std::string> files;
      for (const std::string& name : fs.ListNames("/mem/dst/top"))
        if (fs.IsFile("/mem/dst/top/" + name)) files.push_back("/mem/dst/top/" + name);
      for (const std::string& name : fs.ListNames("/mem/src/top")) {
        const std::string source = "/mem/src/top/" + name, copy = "/mem/dst/top/" + name;
        if (!fs.IsFile(source)) continue;
        const std::string bytes = fs.FileBytes(source);
        switch (name.size() % 3) {
          case 0:
            fs.AddFile(copy, bytes.substr(0, bytes.size() / 2), fs.TimeWrite(source));
            break;
          case 1:
            fs.AddFile(copy, bytes, fs.TimeWrite(source));
            break;
          default:
            fs.AddFile(copy, bytes.substr(0, bytes.size() / 3), fs.TimeWrite(source) + 3);
        }
      }
    };
    const COutcome one = CopySeed(seed, 0, [&](CMemFileSystem& fs) { change(fs, false); });
    const COutcome ahead = CopySeed(seed, kFetchFiles, [&](CMemFileSystem& fs) { change(fs, true); });
    ExpectAlike(one, ahead, seed);
    if (HasFailure()) break;
  }
}

// The stage really works on threads of its own: sources are opened beside
// the worker.
TEST(FetchAheadTest, SourcesAreOpenedBesideTheWorker) {
  std::set<std::thread::id> threads;
  for (uint64_t seed = 1; seed <= 20; ++seed)
    for (const std::thread::id id : CopySeed(seed, kFetchFiles).sourceOpeners) threads.insert(id);
  EXPECT_GT(threads.size(), 1u);
  threads.clear();
  for (uint64_t seed = 1; seed <= 20; ++seed)
    for (const std::thread::id id : CopySeed(seed, 0).sourceOpeners) threads.insert(id);
  EXPECT_EQ(threads.size(), 1u);
  // A source on a local disk is copied one file at a time.
  threads.clear();
  for (uint64_t seed = 1; seed <= 20; ++seed)
    for (const std::thread::id id : CopySeed(seed, kFetchFiles, {}, false).sourceOpeners) threads.insert(id);
  EXPECT_EQ(threads.size(), 1u);
}

// The user's setting of connections to one server bounds the fetching
// threads: one connection is the worker's own and fetches nothing ahead,
// two leave one fetching thread beside it.
TEST(FetchAheadTest, TheConnectionsSettingBoundsTheFetchingThreads) {
  SetConnections(1);
  std::set<std::thread::id> threads;
  for (uint64_t seed = 1; seed <= 20; ++seed)
    for (const std::thread::id id : CopySeed(seed, kFetchFiles).sourceOpeners) threads.insert(id);
  EXPECT_EQ(threads.size(), 1u);
  SetConnections(2);
  bool beside = false;
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    const std::vector<std::thread::id> openers = CopySeed(seed, kFetchFiles).sourceOpeners;
    const std::set<std::thread::id> inRun(openers.begin(), openers.end());
    EXPECT_LE(inRun.size(), 2u) << "seed " << seed;
    beside |= inRun.size() == 2;
  }
  EXPECT_TRUE(beside);
  SetConnections(0);
}

}  // namespace
