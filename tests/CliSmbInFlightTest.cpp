// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end tests of ferrox-cli copying a tree from a share of a private
// smbd while files are in flight: the files after the current one are
// fetched ahead of the copy (engine/FetchAhead.h) when the server is killed
// or the link to it is cut. Whatever is in flight then, the destination only
// ever holds a prefix of the walk (every file before the current one
// complete, the current one a prefix of its source, nothing after it), and
// once the server is back the run ends as a run of one file at a time does.
// Only what a user sees is looked at: the exit status, the output, the files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/CliRunner.h"
#include "tests/support/PrivateLink.h"
#include "tests/support/SambaServer.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace ferrox_test;

constexpr int64_t kOldTime = 981173045;  // 2001-02-03
constexpr uint64_t kKiB = 1024;
constexpr uint64_t kMiB = kKiB * kKiB;
// How long a run may take at most, sanitizers and a busy machine included.
constexpr int kRunLimitSeconds = 240;

using Clock = std::chrono::steady_clock;

// Returns the size of the file at path, or -1 when there is none.
int64_t SizeOrNone(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

// Waits until done() holds, looking every 20 ms, at most limit. Returns
// whether it came to hold.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Returns true while the child pid runs (it has not ended, nor been waited for).
bool StillRunning(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == 0;
}

// Ends the run pid when a test leaves before waiting for it (a failed
// assertion), so that no copy outlives its test.
class CRunGuard {
public:
  explicit CRunGuard(pid_t pid) : m_pid(pid) {}
  ~CRunGuard() {
    if (!StillRunning(m_pid)) return;
    kill(m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
  }
  CRunGuard(const CRunGuard&) = delete;
  CRunGuard& operator=(const CRunGuard&) = delete;

private:
  pid_t m_pid;
};

// Returns the names the progress lines of out give in their order, each
// with the result its last line shows: a file's line "\"NAME\"  SIZE bytes,
// MB mb, 100%" becomes "NAME 100%". A file whose copy was broken off and
// continued shows several lines; only its last one counts.
std::vector<std::string> FileResults(const std::string& out) {
  std::vector<std::string> results;
  std::string last;
  for (std::string line : SplitLines(out)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.starts_with("\"")) continue;
    const size_t close = line.find('"', 1);
    if (close == std::string::npos) continue;
    const std::string name = line.substr(1, close - 1);
    const size_t comma = line.rfind(", ");
    const std::string entry = name + " " + (comma == std::string::npos ? line : line.substr(comma + 2));
    if (name == last)
      results.back() = entry;
    else
      results.push_back(entry);
    last = name;
  }
  return results;
}

// One file of the tree: its path below the tree's folder and its bytes.
struct CTreeFile {
  std::string path;
  std::string bytes;
};

// Returns count bytes from seed that never repeat at a short period, eight
// at a time (a tree of many mebibytes is made in a moment, sanitizers too).
std::string TreeBytes(size_t count, uint64_t seed) {
  std::string bytes(count, '\0');
  for (size_t at = 0; at < count; at += 8) {
    // splitmix64
    uint64_t word = (seed += 0x9E3779B97F4A7C15ull);
    word = (word ^ (word >> 30)) * 0xBF58476D1CE4E5B9ull;
    word = (word ^ (word >> 27)) * 0x94D049BB133111EBull;
    word ^= word >> 31;
    std::memcpy(bytes.data() + at, &word, std::min<size_t>(8, count - at));
  }
  return bytes;
}

// Returns the whole content of the file at path, read in large blocks;
// empty when it cannot be read.
std::string ReadWhole(const std::string& path) {
  std::string bytes;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  struct stat info {};
  if (fstat(fd, &info) == 0) bytes.resize(static_cast<size_t>(info.st_size));
  size_t got = 0;
  for (;;) {
    if (got == bytes.size()) bytes.resize(got + 65536);
    const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  bytes.resize(got);
  return bytes;
}

// Makes the tree below folder: 300 files of 64 KiB to 1 MiB (most of them
// small, odd lengths among them) in a few folders, nested, and some of
// several MiB, each of its own bytes and all stamped with an old time. Every
// file has a name of its own in the whole tree, so that a progress line
// names one file. Returns the files.
std::vector<CTreeFile> MakeTree(const std::string& folder) {
  constexpr int kFiles = 300;
  const std::vector<std::string> folders = {"", "d0/", "d0/e0/", "d1/", "d2/", "d2/e1/", "d2/e1/f0/"};
  std::vector<CTreeFile> files;
  for (int n = 0; n < kFiles; ++n) {
    const auto index = static_cast<uint64_t>(n);
    // Every eighth up to 1 MiB, the others up to 256 KiB.
    const uint64_t spread = n % 8 == 0 ? 960 * kKiB : 192 * kKiB;
    const uint64_t size = 64 * kKiB + index * 2654435761u % spread + (n % 3 == 0 ? index * 13 % 4093 : 0);
    files.push_back({folders[index % folders.size()] + "file" + std::to_string(1000 + n) + ".bin",
                     TreeBytes(size, index)});
  }
  for (int n = 0; n < 3; ++n) {
    const auto index = static_cast<uint64_t>(n);
    files.push_back({folders[(index * 2 + 1) % folders.size()] + "large" + std::to_string(n) + ".dat",
                     TreeBytes(3 * kMiB + index * 1234567, 1000 + index)});
  }
  for (const CTreeFile& file : files) {
    const std::string path = folder + "/" + file.path;
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, file.bytes);
    SetModificationTime(path, kOldTime);
  }
  return files;
}

// Returns the files in the order of the walk, as the progress lines of a run
// out that copied them name them (the tree's names are its own each).
std::vector<const CTreeFile*> WalkOrder(const std::vector<CTreeFile>& files, const std::string& out) {
  std::map<std::string, const CTreeFile*> byName;
  for (const CTreeFile& file : files) byName[fs::path(file.path).filename().string()] = &file;
  std::vector<const CTreeFile*> order;
  for (const std::string& entry : FileResults(out)) {
    const auto found = byName.find(entry.substr(0, entry.find(' ')));
    if (found != byName.end()) order.push_back(found->second);
  }
  return order;
}

// What the destination of a tree held at one look.
struct CPrefixLook {
  size_t complete = 0;  // the files of the walk complete, all before the current one
  bool prefix = true;   // false: something else than a prefix of the walk
  std::string fault;    // what broke the prefix
};

// Looks at the copy in destFolder of the files in walk order while the run
// goes on: the last file there, by the walk, must be a prefix of its source,
// every file before it complete. The files are looked at from the last to
// the first, so that a run that moves on meanwhile only completes files
// already looked at, never makes a prefix look broken.
CPrefixLook LookAtPrefix(const std::vector<const CTreeFile*>& order, const std::string& destFolder) {
  CPrefixLook look;
  size_t current = order.size();
  for (size_t n = order.size(); n-- > 0;) {
    const std::string& source = order[n]->bytes;
    const int64_t size = SizeOrNone(destFolder + "/" + order[n]->path);
    if (current == order.size()) {
      if (size < 0) continue;
      current = n;
      // The file being copied: the bytes so far are the source's first ones.
      const std::string bytes = ReadWhole(destFolder + "/" + order[n]->path);
      if (bytes.size() > source.size() || source.compare(0, bytes.size(), bytes) != 0) {
        look.prefix = false;
        look.fault =
            order[n]->path + " is no prefix of its source (" + std::to_string(bytes.size()) + " bytes)";
        return look;
      }
      look.complete = bytes.size() == source.size() ? n + 1 : n;
    } else if (size != static_cast<int64_t>(source.size())) {
      look.prefix = false;
      look.fault = order[n]->path + (size < 0 ? " is missing" : " holds " + std::to_string(size) + " bytes") +
                   ", yet " + order[current]->path + " after it was begun";
      return look;
    }
  }
  return look;
}

class CliSmbInFlightTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string why;
    if (!CSambaServer::Available(why)) GTEST_SKIP() << "no private Samba server here: " << why;
    fs::create_directories(dir / "films");
    fs::create_directories(dir / "samba");
    fs::create_directories(dir / "dst");
    fs::create_directories(dir / "one");
    files = MakeTree(dir / "films/tree");
  }

  // Looks at the destination dst/tree every 100 ms while outage() holds,
  // expecting a prefix of the walk each time. Returns the last look.
  CPrefixLook WatchPrefix(const std::function<bool()>& outage) {
    CPrefixLook last;
    int looks = 0;
    while (outage()) {
      last = LookAtPrefix(order, dir / "dst/tree");
      ++looks;
      EXPECT_TRUE(last.prefix) << last.fault;
      if (!last.prefix) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_GT(looks, 0);
    return last;
  }

  // Expects every file of the tree copied into dst/tree identical, with its
  // time.
  void ExpectTreeIdentical(const std::string& dst) {
    for (const CTreeFile& file : files) {
      EXPECT_TRUE(ReadWhole(dst + "/tree/" + file.path) == file.bytes) << file.path;
      EXPECT_EQ(ModificationTime(dst + "/tree/" + file.path), kOldTime) << file.path;
    }
  }

  // Returns true once the destination holds the file a third into the walk.
  bool PartOfTheTreeCopied() const {
    return SizeOrNone(dir / ("dst/tree/" + order[order.size() / 3]->path)) >= 0;
  }

  CTempDir dir;
  std::vector<CTreeFile> files;
  std::vector<const CTreeFile*> order;  // the files in the order of the walk
};

TEST_F(CliSmbInFlightTest, AServerKilledInTheMiddleOfATreeLeavesAPrefixAndTheCopyEndsAsOneFileAtATime) {
  CSambaServer server(dir / "samba", {{"films", dir / "films", true}});
  ASSERT_TRUE(server.Start()) << server.Error();
  const std::string source = server.Url("films") + "/tree";

  // One file at a time: nothing in flight. Its output gives the walk.
  const CRunResult one = RunCli(dir, {"--connections", "1", "-r", "60", "-d", dir / "one", source});
  ASSERT_EQ(one.status, 0) << one.out << one.err;
  order = WalkOrder(files, one.out);
  ASSERT_EQ(order.size(), files.size()) << one.out;
  ExpectTreeIdentical(dir / "one");

  // Files in flight; the server goes away a third into the tree.
  const pid_t cli = StartCli(dir, {"-r", "60", "-d", dir / "dst", source});
  const CRunGuard guard(cli);
  ASSERT_TRUE(
      WaitUntil([&] { return PartOfTheTreeCopied() || !StillRunning(cli); }, std::chrono::seconds(60)));
  ASSERT_TRUE(StillRunning(cli)) << ReadFile(dir / "out");
  server.Kill();
  const auto killed = Clock::now();
  const CPrefixLook down = WatchPrefix([&] { return Clock::now() - killed < std::chrono::seconds(3); });
  // The run waits for the server in the middle of the tree.
  std::printf("server down with %zu of %zu files complete\n", down.complete, order.size());
  EXPECT_GT(down.complete, 0u);
  EXPECT_LT(down.complete, order.size());
  ASSERT_TRUE(StillRunning(cli));
  ASSERT_TRUE(server.Restart()) << server.Error();

  const int status = WaitForCli(cli, kRunLimitSeconds);
  const std::string out = ReadFile(dir / "out");
  EXPECT_EQ(status, 0) << out;
  ExpectTreeIdentical(dir / "dst");
  // The same files in the same order with the same results, and the same
  // bytes copied: every byte once.
  EXPECT_EQ(FileResults(out), FileResults(one.out)) << out;
  EXPECT_EQ(DoneLine(out), DoneLine(one.out)) << out;
  EXPECT_NE(DoneLine(out), "");
  EXPECT_TRUE(HasLine(SplitLines(out), "succesfully copyed")) << out;
}

TEST_F(CliSmbInFlightTest, ALinkCutInTheMiddleOfATreeLeavesAPrefixAndTheCopyEndsIdentical) {
  std::string why;
  if (!CPrivateLink::Available(why)) GTEST_SKIP() << "no private link here: " << why;
  CPrivateLink link;
  ASSERT_TRUE(link.Ok()) << link.Error();
  CSambaServer far(dir / "samba", {{"films", dir / "films", true}});
  far.ServeFrom(link.Namespace(), link.FarAddress());
  ASSERT_TRUE(far.Start()) << far.Error();
  const std::string source = far.Url("films") + "/tree";

  // The walk, from a copy of the same tree on this machine.
  const CRunResult local = RunCli(dir, {"-d", dir / "one", dir / "films/tree"});
  ASSERT_EQ(local.status, 0) << local.out << local.err;
  order = WalkOrder(files, local.out);
  ASSERT_EQ(order.size(), files.size()) << local.out;

  const pid_t cli = StartCli(dir, {"-r", "60", "-d", dir / "dst", source});
  const CRunGuard guard(cli);
  ASSERT_TRUE(
      WaitUntil([&] { return PartOfTheTreeCopied() || !StillRunning(cli); }, std::chrono::seconds(60)));
  ASSERT_TRUE(StillRunning(cli)) << ReadFile(dir / "out");
  // Nothing answers and nothing is refused: the requests in flight run into
  // their time limits, and new connections into theirs, until the link is
  // back.
  ASSERT_TRUE(link.Cut()) << link.Error();
  const auto cut = Clock::now();
  const CPrefixLook during = WatchPrefix([&] { return Clock::now() - cut < std::chrono::seconds(13); });
  std::printf("link cut with %zu of %zu files complete\n", during.complete, order.size());
  EXPECT_GT(during.complete, 0u);
  EXPECT_LT(during.complete, order.size());
  ASSERT_TRUE(StillRunning(cli));
  ASSERT_TRUE(link.Restore()) << link.Error();

  const int status = WaitForCli(cli, kRunLimitSeconds);
  const std::string out = ReadFile(dir / "out");
  EXPECT_EQ(status, 0) << out;
  ExpectTreeIdentical(dir / "dst");
  EXPECT_EQ(FileResults(out), FileResults(local.out)) << out;
  EXPECT_EQ(DoneLine(out), DoneLine(local.out)) << out;
  EXPECT_NE(DoneLine(out), "");
  EXPECT_TRUE(HasLine(SplitLines(out), "succesfully copyed")) << out;
  far.Stop();
}

}  // namespace
