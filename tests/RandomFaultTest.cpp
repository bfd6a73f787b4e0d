// SPDX-License-Identifier: GPL-3.0-or-later
// Randomised fault runs: a random tree in the in-memory file system is copied, whole and by parts, by the
// run driver on its own worker thread under a schedule of transient faults drawn from a seed. After every
// run the promises of a copy are checked; once the faults stop, one more run of each kind must finish it.
//
// FERROX_SEED=n replays seed n alone and prints its runs; FERROX_SEEDS=n sets how many seeds the suite
// plays; FERROX_SOAK_SECONDS=s plays fresh seeds for s seconds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/CopyThreadProc.h"
#include "engine/RunState.h"
#include "tests/support/MemFileSystem.h"
#include "tests/support/TestClock.h"
#include "tests/support/TestFrontEnd.h"
#include "tests/support/TestRandom.h"

namespace {

const std::string kSrc = "/mem/src", kWhole = "/mem/dst", kParts = "/mem/parts";
constexpr int kCallBudget = 200000;  // hooked calls after which a run counts as one that never ends

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr uint64_t kDefaultSeeds = 150;
#elif !defined(NDEBUG)
constexpr uint64_t kDefaultSeeds = 300;
#else
constexpr uint64_t kDefaultSeeds = 1000;
#endif

// Serves every path outside the in-memory tree, refuses it and notes the first: the runs name none.
class CTrapFileSystem : public CFileSystem {
public:
  std::unique_ptr<CStream> Open(const std::string& path, OpenMode) override { return Note(path), nullptr; }
  std::unique_ptr<CFindHandle> FindFirst(const std::string& p, CFindData&) override {
    return Note(p), nullptr;
  }
  int MakeDir(const std::string& path) override { return Note(path), -1; }
  int SetFileTimes(const std::string& path, int64_t, int64_t) override { return Note(path), -1; }
  std::string touched;  // read once the worker has ended

private:
  void Note(const std::string& path) {
    if (touched.empty()) touched = path;
    errno = EACCES;
  }
};

// A front end that also tells how each source ended, at the moment it is reported.
class CReportingFrontEnd : public CTestFrontEnd {
public:
  void OnSourceDone(const CSourceSummary& summary) override {
    CTestFrontEnd::OnSourceDone(summary);
    onDone(summary);
  }
  std::function<void(const CSourceSummary&)> onDone;
};

// ---- The generator.

// Returns a random entry name: blanks, dots (hidden names too), non-ASCII and invalid UTF-8 bytes.
std::string RandomName(CRandom& r) {
  static const char* const kOdd[] = {".git",     ".hidden",     "name.",         "a b",
                                     "..x",      " lead",       "trail ",        "\xc3\xa9t\xc3\xa9",
                                     "\xff\xfe", "back\\slash", "archive.tar.gz"};
  if (r.Chance(25)) return kOdd[r.Below(std::size(kOdd))];
  static const std::string kBytes = std::string("abcXYZ019 ._-#%") + "\x80\xa0\xc3\xa9\xe2\x82\xac\xff";
  std::string name;
  for (uint64_t length = 1 + r.Below(12); name.size() < length;) name += kBytes[r.Below(kBytes.size())];
  return name == "." || name == ".." ? name + "x" : name;
}

struct CTree {
  std::vector<std::string> sources;            // names under kSrc that every run copies
  std::vector<std::string> folders;            // every folder, relative to kSrc
  std::map<std::string, std::string> content;  // every file, relative to kSrc, with its bytes
};

// Adds a file of 0 bytes to several blocks, of random bytes or zeros, at rel below kSrc.
void AddRandomFile(CMemFileSystem& fs, CRandom& r, CTree& tree, const std::string& rel, uint32_t block) {
  const uint64_t size =
      r.Pick<uint64_t>({0, 1 + r.Below(100), block * (1 + r.Below(4)), 4096 * (1 + r.Below(3)),
                        r.Below(5ull * block), r.Below(5ull * block)});
  std::string bytes(size, '\0');
  if (!r.Chance(10))
    for (char& c : bytes) c = static_cast<char>(r.Next());
  fs.AddFile(kSrc + "/" + rel, bytes, 1500000000 + static_cast<int64_t>(r.Below(100000000)));
  tree.content[rel] = bytes;
}

// Adds the folder rel below kSrc with random files, second names of them, and subfolders.
void AddRandomFolder(CMemFileSystem& fs, CRandom& r, CTree& tree, const std::string& rel, int depth,
                     uint32_t block) {
  fs.AddFolder(kSrc + "/" + rel);
  tree.folders.push_back(rel);
  std::set<std::string> taken;
  for (uint64_t n = r.Below(depth < 3 ? 6 : 3) + (depth == 0 ? 2 : 0); n > 0; --n) {
    const std::string name = RandomName(r), path = rel + "/" + name;
    if (!taken.insert(name).second) continue;
    if (depth < 3 && r.Chance(30)) {
      AddRandomFolder(fs, r, tree, path, depth + 1, block);
      continue;
    }
    AddRandomFile(fs, r, tree, path, block);
    const std::string link = RandomName(r);
    if (r.Chance(8) && taken.insert(link).second) {
      fs.AddHardLink(kSrc + "/" + rel + "/" + link, kSrc + "/" + path);
      tree.content[rel + "/" + link] = tree.content[path];
    }
  }
}

// Builds one folder source and, now and then, a single-file source beside it.
CTree BuildTree(CMemFileSystem& fs, CRandom& r, uint32_t block) {
  CTree tree;
  tree.sources.push_back(RandomName(r));
  AddRandomFolder(fs, r, tree, tree.sources[0], 0, block);
  const std::string solo = RandomName(r);
  if (r.Chance(50) && solo != tree.sources[0]) {
    AddRandomFile(fs, r, tree, solo, block);
    tree.sources.insert(tree.sources.begin() + static_cast<long>(r.Below(2)), solo);
  }
  return tree;
}

// ---- The driver.

enum class EFault {
  kAbort,
  kDiskFull,
  kReadFail,
  kGlitch,
  kSourceOpen,
  kOpenUntil,
  kDestOpen,
  kWrite,
  kClose
};

struct CEvent {
  EFault fault;
  int trigger;  // the hooked call from which on it may strike
  bool done = false;
};

class CSeedRun {
public:
  // The seed also picks how many files are fetched ahead of the worker: none, one or the usual depth,
  // taken from the seed itself so that the generator draws what it always drew.
  explicit CSeedRun(uint64_t seed)
      : m_r(seed),
        m_mount(m_fs),
        m_clockInstall(m_clock),
        m_fetch(seed % 3 == 0   ? 0
                : seed % 3 == 1 ? 1
                                : kFetchFiles) {
    MountFileSystem("/", &m_trap);
    m_block = static_cast<uint32_t>(m_r.Pick({1024, 1536, 4096, 5000, 8192}));
    m_limit = static_cast<uint32_t>(m_r.Pick({0, 1, 5, 30}));
    m_check = m_r.Chance(50);
    m_cycles = static_cast<uint32_t>(1 + m_r.Below(3));
    m_header = m_r.Pick<uint64_t>({0, 1, 17, 1024, m_block, m_block + 100ull});
    m_part = static_cast<uint32_t>(1 + m_r.Below(4));
    m_partSize = m_r.Pick<uint64_t>({0, 1, 500, m_block, m_block * 3ull / 2, 100000});
    m_fs.AddFolder(kWhole);
    m_fs.AddFolder(kParts);
    m_tree = BuildTree(m_fs, m_r, m_block);
    // Check after copy reads through the stream, or with readings in flight together on threads.
    m_fs.SetReadingsDepth(m_r.Pick<uint32_t>({0u, 1u, 4u}));
    // About the hooked calls of a first copy: opens, and readings of every block.
    for (const auto& [rel, bytes] : m_tree.content)
      m_lastCalls += 2 + static_cast<int>(bytes.size() / m_block * (m_check ? 2 + m_cycles : 1));
  }
  ~CSeedRun() { UnmountFileSystem("/"); }

  // Plays the faulty runs, then one clean run of each kind. Returns the first broken promise, or "".
  std::string Play() {
    for (uint64_t k = 2 + m_r.Below(6); k > 0 && m_failure.empty(); --k) Run(m_r.Chance(40), true);
    m_fs.ClearFaults();
    for (bool parts : {false, true}) {
      if (!m_failure.empty()) break;
      const ResultFlags result = Run(parts, false);
      for (const std::string& source : m_tree.sources)
        if (result != 0 || !Complete(source, parts))
          Fail("the run after the faults left " + source + " unfinished");
    }
    return m_failure.empty() ? "" : m_failure + m_story + m_log;
  }

  int runs = 0, faults = 0;

private:
  void Fail(const std::string& what) {
    if (m_failure.empty()) m_failure = "run " + std::to_string(runs) + ": " + what + "\n";
  }
  void Note(const std::string& what) { m_story += "  " + what + "\n"; }
  void Struck(const std::string& what) { Note(what), ++faults; }

  // Arms the faults of one run: those of listings and folders at once, the rest to strike from the hooks.
  void ArmFaults() {
    const std::string folder = m_tree.folders[m_r.Below(m_tree.folders.size())];
    const uint64_t entries = m_fs.ListNames(kSrc + "/" + folder).size();
    const int times = m_r.Chance(10) ? CMemFileSystem::kForever : static_cast<int>(1 + m_r.Below(3));
    if (entries > 0 && m_r.Chance(30)) {
      std::vector<int> script;
      for (uint64_t n = 1 + m_r.Below(3); n > 0; --n) script.push_back(static_cast<int>(m_r.Below(entries)));
      m_fs.BreakListing(kSrc + "/" + folder, script);
      Struck("listing of " + folder + " breaks off " + std::to_string(script.size()) + " times");
    } else if (m_r.Chance(25)) {
      m_fs.FailListingOpen(kSrc + "/" + folder, times);
      Struck("listing of " + folder + " fails to open " + std::to_string(times) + " times");
    }
    if (m_r.Chance(10)) {
      m_fs.FailMakeDir(m_r.Pick({kWhole, kParts}) + "/" + folder, 1);
      Struck("making the copy of " + folder + " fails");
    }
    if (m_full && m_r.Chance(50)) {
      m_fs.SetCapacity(CMemFileSystem::kUnlimited);
      m_full = false;
      Note("disk freed");
    }
    m_events.clear();
    for (uint64_t n = 1 + m_r.Below(5); n > 0; --n) {
      auto fault = static_cast<EFault>(m_r.Below(9));
      if (fault == EFault::kGlitch && (!m_check || ++m_glitches > 3)) fault = EFault::kReadFail;
      m_events.push_back({fault, static_cast<int>(m_r.Below(static_cast<uint64_t>(m_lastCalls) + 1))});
    }
  }

  // Called before each Open and Read: strikes with the events that are due and suit the call.
  void OnCall(const std::string& path, bool read, OpenMode mode, uint64_t offset, size_t count) {
    std::lock_guard lock(m_hookLock);
    if (++m_calls > kCallBudget && g_RunState.runFlag) m_endless = true, g_RunState.runFlag = false;
    const bool source = path.starts_with(kSrc + "/");
    const auto file = m_tree.content.find(source ? path.substr(kSrc.size() + 1) : "");
    const bool sourceRead = read && file != m_tree.content.end() && offset < file->second.size() && count > 0;
    const bool sourceOpen = !read && source, destOpen = !read && !source && mode != OpenMode::kRead;
    for (CEvent& event : m_events) {
      if (event.done || event.trigger > m_calls) continue;
      const EFault f = event.fault;
      const bool reads = f == EFault::kReadFail || f == EFault::kGlitch;
      const bool opens = f == EFault::kSourceOpen || f == EFault::kOpenUntil;
      const bool writes = f == EFault::kDestOpen || f == EFault::kWrite || f == EFault::kClose;
      if ((reads && !sourceRead) || (opens && !sourceOpen) || (writes && !destOpen)) continue;
      const uint64_t at = sourceRead ? offset + m_r.Below(std::min(count, file->second.size() - offset)) : 0;
      const int times = m_r.Chance(8) ? CMemFileSystem::kForever : static_cast<int>(1 + m_r.Below(3));
      const std::string what = path + " at " + std::to_string(at) + " x" + std::to_string(times);
      if (f == EFault::kAbort) {
        g_RunState.runFlag = false;
        Struck("abort at call " + std::to_string(m_calls));
      } else if (f == EFault::kDiskFull) {
        m_fs.SetCapacity(m_fs.StoredBytes() + m_r.Below(2ull * m_block));
        m_full = true;
        Struck("disk full at call " + std::to_string(m_calls));
      } else if (f == EFault::kReadFail) {
        m_fs.FailReadAt(path, at, times);
        Struck("read fails: " + what);
      } else if (f == EFault::kGlitch) {
        // Wrong bytes that never repeat and never equal the true one, between true readings.
        const auto truth = static_cast<uint8_t>(file->second[at]);
        std::vector<int> values;
        for (int wrong = 1 + static_cast<int>(m_r.Below(4)), next = 1; wrong > 0;)
          values.push_back(m_r.Chance(40) ? -1 : (--wrong, (truth + next++) & 0xff));
        m_fs.Glitch(path, at, values);
        Struck("re-reads differ " + std::to_string(values.size()) + " times: " + what);
      } else if (f == EFault::kSourceOpen) {
        m_fs.FailOpens(path, times);
        Struck("opens fail: " + what);
      } else if (f == EFault::kOpenUntil) {
        const int64_t until = m_clock.NowMs() / 1000 + static_cast<int64_t>(m_r.Below(m_limit + 3ull));
        m_fs.FailOpensUntil(path, until);
        Struck("opens fail until second " + std::to_string(until) + ": " + path);
      } else {
        if (f == EFault::kDestOpen) m_fs.FailOpens(path, 1);
        if (f == EFault::kWrite) m_fs.FailWrites(path, static_cast<int>(1 + m_r.Below(2)));
        if (f == EFault::kClose) m_fs.FailClose(path, 1);
        Struck("the destination fails to open, write or close: " + path);
      }
      event.done = true;
    }
  }

  // Returns the bytes the copy of the source file rel must hold in the end: all of it, or its part file.
  std::string Expected(const std::string& rel, bool parts) const {
    const std::string& s = m_tree.content.at(rel);
    if (!parts) return s;
    const uint64_t start = m_header + (m_part - 1) * m_partSize;
    const uint64_t end = std::min<uint64_t>(m_header + m_part * m_partSize, s.size());
    return s.substr(0, std::min<uint64_t>(m_header, s.size())) +
           (start < end ? s.substr(start, end - start) : "");
  }

  // Returns true when every folder and file of the source named source is in its destination, files
  // identical (and stamped with the source's time, when copied whole).
  bool Complete(const std::string& source, bool parts) const {
    const std::string& dest = parts ? kParts : kWhole;
    auto below = [&](const std::string& rel) { return rel == source || rel.starts_with(source + "/"); };
    for (const std::string& rel : m_tree.folders)
      if (below(rel) && !m_fs.IsFolder(dest + "/" + rel)) return false;
    for (const auto& [rel, bytes] : m_tree.content) {
      const std::string path = dest + "/" + rel;
      if (below(rel) && (m_fs.FileBytes(path) != Expected(rel, parts) || !m_fs.IsFile(path) ||
                         (!parts && m_fs.TimeWrite(path) != m_fs.TimeWrite(kSrc + "/" + rel))))
        return false;
    }
    return true;
  }

  // Checks that every entry below dest + rel stands for a source entry of its kind and that every file
  // holds a beginning of what it must hold in the end.
  void CheckPrefixes(const std::string& dest, const std::string& rel, bool parts) {
    for (const std::string& name : m_fs.ListNames(dest + rel)) {
      const std::string child = rel + "/" + name;
      if (m_fs.IsFolder(dest + child)) {
        if (!m_fs.IsFolder(kSrc + child)) Fail("folder " + dest + child + " stands for no source folder");
        CheckPrefixes(dest, child, parts);
      } else if (!m_tree.content.contains(child.substr(1))) {
        Fail(dest + child + " stands for no source file");
      } else if (!Expected(child.substr(1), parts).starts_with(m_fs.FileBytes(dest + child))) {
        Fail(dest + child + " is no beginning of what it must hold");
      }
    }
  }

  // Returns every entry below path, except the destinations, with its kind, time and bytes.
  std::map<std::string, std::string> Snapshot(const std::string& path) const {
    std::map<std::string, std::string> entries;
    for (const std::string& name : m_fs.ListNames(path)) {
      const std::string child = path + "/" + name;
      if (child == kWhole || child == kParts) continue;
      entries[child] = std::to_string(m_fs.IsFolder(child)) + std::to_string(m_fs.TimeWrite(child)) + "," +
                       m_fs.FileBytes(child);
      entries.merge(Snapshot(child));
    }
    return entries;
  }

  // Runs the driver once on a worker thread, faulty or not, and checks what it left. Returns its result.
  ResultFlags Run(bool parts, bool faulty) {
    ++runs;
    m_story.clear();
    const bool reget = m_r.Chance(60);
    Note(std::string(parts ? "by parts" : "whole") + (parts && reget ? ", ReGet" : "") +
         (faulty ? "" : ", clean"));
    m_events.clear();
    if (faulty) ArmFaults();
    g_RunState.Reset();
    g_RunState.bufferSize = m_block;
    g_RunState.reconnectLimit = m_limit;
    g_RunState.checkAfterCopy = m_check;
    g_RunState.checkCycles = m_cycles;
    g_RunState.fetchFiles = m_fetch;
    for (const std::string& s : m_tree.sources)
      g_RunState.sources.push_back(kSrc + "/" + s + (m_r.Chance(20) ? "/" : ""));
    if (m_r.Chance(10)) g_RunState.sources.push_back(g_RunState.sources.front());
    CReportingFrontEnd front;
    front.SetDestination(parts ? kParts : kWhole + "/");
    front.copyByParts = parts;
    front.reget = reget;
    front.header = static_cast<uint32_t>(m_header);
    front.partNumber = m_part;
    front.partSize = static_cast<uint32_t>(m_partSize);
    bool succeeded = false;
    front.onMessage = [&succeeded](const std::string& m) { succeeded |= m == "\r\nsuccesfully copyed\r\n"; };
    front.onDone = [&](const CSourceSummary& summary) {
      const std::string source = summary.path.substr(kSrc.size() + 1);
      if (succeeded && !Complete(source, parts))
        Fail(summary.path + ": \"succesfully copyed\" but not complete");
      if (summary.result == 0 && !summary.canceled && summary.connected && !Complete(source, parts))
        Fail(summary.path + " ended with result 0 but is not complete");
      succeeded = false;
    };
    const auto before = Snapshot("/mem");
    m_calls = 0;
    m_fs.SetOnRead(
        [this](const std::string& p, uint64_t o, size_t n) { OnCall(p, true, OpenMode::kRead, o, n); });
    m_fs.SetOnOpen([this](const std::string& p, OpenMode m) { OnCall(p, false, m, 0, 0); });
    g_RunState.runFlag = true;
    g_RunState.workerFinished = false;

    std::packaged_task<ResultFlags()> task(CopyThreadProc);
    std::future<ResultFlags> done = task.get_future();
    std::thread worker(std::move(task));
    if (done.wait_for(std::chrono::minutes(2)) != std::future_status::ready) {
      std::fprintf(stderr, "run %d has not ended after two minutes:\n%s", runs, m_story.c_str());
      std::abort();
    }
    worker.join();
    const ResultFlags result = done.get();
    m_fs.SetOnRead({});
    m_fs.SetOnOpen({});
    m_lastCalls = std::max(m_calls, 20);
    const std::string text = front.LogText();
    m_log = "  log: ..." + text.substr(text.size() > 1500 ? text.size() - 1500 : 0) + "\n";
    std::erase(m_log, '\r');
    if (std::getenv("FERROX_SEED"))
      std::printf("run %d: result %u\n%s%s\n", runs, result, m_story.c_str(), text.c_str());

    if (m_endless) Fail("the run did not end within " + std::to_string(kCallBudget) + " calls");
    if (!g_RunState.workerFinished) Fail("the worker did not say it finished");
    if (!m_trap.touched.empty()) Fail("touched " + m_trap.touched + ", outside the tree");
    if (m_fs.OpenStreams() != 0) Fail("streams left open");
    if (Snapshot("/mem") != before) Fail("something outside the destinations changed");
    CheckPrefixes(kWhole, "", false);
    CheckPrefixes(kParts, "", true);
    return result;
  }

  CRandom m_r;
  CMemFileSystem m_fs{"/mem"};
  CTrapFileSystem m_trap;
  CTestClock m_clock;
  CMountGuard m_mount;
  CClockInstall m_clockInstall;
  uint32_t m_block, m_limit, m_cycles, m_part;
  uint32_t m_fetch;
  uint64_t m_header, m_partSize;
  bool m_check, m_endless = false, m_full = false;
  CTree m_tree;
  std::mutex m_hookLock;
  std::vector<CEvent> m_events;
  int m_calls = 0, m_lastCalls = 0, m_glitches = 0;
  std::string m_story, m_log, m_failure;
};

uint64_t EnvNumber(const char* name, uint64_t fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

// Plays seeds from first on, count of them or until the deadline; each broken promise fails the test with
// the command that replays it. Prints the figures.
void PlaySeeds(uint64_t first, uint64_t count, std::chrono::steady_clock::time_point deadline) {
  const auto start = std::chrono::steady_clock::now();
  int runs = 0, faults = 0, failed = 0;
  uint64_t seed = first;
  for (; seed - first < count && std::chrono::steady_clock::now() < deadline && failed < 5; ++seed) {
    CSeedRun run(seed);
    const std::string failure = run.Play();
    runs += run.runs;
    faults += run.faults;
    if (failure.empty()) continue;
    ++failed;
    char exe[4096] = {};
    if (readlink("/proc/self/exe", exe, sizeof exe - 1) <= 0)
      std::snprintf(exe, sizeof exe, "ferrox_random_tests");
    ADD_FAILURE() << "seed " << seed << " broke a promise in " << failure << "replay: FERROX_SEED=" << seed
                  << " " << exe << " --gtest_filter=RandomFaultTest.Seeds";
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%llu seeds, %d runs, %d faults injected (%.2f a run) in %.1f s\n",
              static_cast<unsigned long long>(seed - first), runs, faults, runs ? faults / double(runs) : 0.0,
              seconds);
}

TEST(RandomFaultTest, Seeds) {
  const uint64_t only = EnvNumber("FERROX_SEED", 0);
  PlaySeeds(only ? only : 1, only ? 1 : EnvNumber("FERROX_SEEDS", kDefaultSeeds),
            std::chrono::steady_clock::time_point::max());
}

TEST(RandomFaultTest, Soak) {
  const uint64_t seconds = EnvNumber("FERROX_SOAK_SECONDS", 0);
  if (seconds == 0) GTEST_SKIP() << "FERROX_SOAK_SECONDS is not set";
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  PlaySeeds(static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(now).count()) * 1000,
            UINT64_MAX, std::chrono::steady_clock::now() + std::chrono::seconds(seconds));
}

}  // namespace
