// SPDX-License-Identifier: GPL-3.0-or-later
// ferrox-cli fetching the files of a share's tree ahead in its helper
// processes (ferrox-smb-helper), against a private smbd on 127.0.0.1: the
// password reaches them over their socket and nowhere else, and helpers
// that fail or are missing cost the copy nothing but speed.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/CliRunner.h"
#include "tests/support/SambaServer.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace ferrox_test;

// Returns the bytes of the file at path, also of a /proc file whose size
// is not known ahead ("" when it cannot be read).
std::string ProcText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Returns the state letter and the parent of process pid ('\0' when it is
// not there or is not the SMB helper).
std::pair<char, pid_t> HelperState(pid_t pid) {
  // "pid (comm) state ppid ...": comm is cut to 15 bytes.
  const std::string stat = ProcText("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  if (stat.find("(ferrox-smb-help)") == std::string::npos || close == std::string::npos ||
      close + 4 >= stat.size())
    return {'\0', 0};
  return {stat[close + 2], static_cast<pid_t>(std::atoi(stat.c_str() + close + 4))};
}

// Returns the SMB helpers below parent: its children, and theirs, each with
// its own parent.
std::vector<std::pair<pid_t, pid_t>> HelpersOf(pid_t parent) {
  std::vector<std::pair<pid_t, pid_t>> all;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const auto [state, up] = HelperState(std::stoi(name));
    if (state != '\0') all.emplace_back(std::stoi(name), up);
  }
  std::vector<std::pair<pid_t, pid_t>> helpers;
  std::set<pid_t> below{parent};
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& [pid, up] : all)
      if (below.count(up) != 0 && below.insert(pid).second) {
        helpers.emplace_back(pid, up);
        grew = true;
      }
  }
  return helpers;
}

class CliSmbHelperTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string why;
    if (!CSambaServer::Available(why)) GTEST_SKIP() << "no private Samba server here: " << why;
    for (const char* folder : {"films", "private", "samba", "dst", "dst1"})
      fs::create_directories(dir / folder);
    server = std::make_unique<CSambaServer>(
        dir / "samba", std::vector<CSambaServer::CShare>{{"films", dir / "films", true},
                                                         {"private", dir / "private", false}});
    ASSERT_TRUE(server->Start()) << server->Error();
  }

  // Writes a tree of count files of 64 KiB below root, in 4 folders, and
  // returns the relative names with their bytes.
  std::vector<std::pair<std::string, std::string>> WriteTree(const std::string& root, int count) {
    std::vector<std::pair<std::string, std::string>> files;
    for (int n = 0; n < count; ++n) {
      const std::string name = "d" + std::to_string(n % 4) + "/f" + std::to_string(n) + ".bin";
      files.emplace_back(name, PatternBytes(65536, static_cast<uint32_t>(n + 1)));
      fs::create_directories(fs::path(root + "/" + name).parent_path());
      WriteFile(root + "/" + name, files.back().second);
    }
    return files;
  }

  CTempDir dir;
  std::unique_ptr<CSambaServer> server;
};

TEST_F(CliSmbHelperTest, HelpersLogOnWithThePasswordTheyGetOverTheirSocketAndNowhereElse) {
  const std::string password = "hlp-s3cret-" + std::to_string(getpid());
  ASSERT_TRUE(server->AddUser(password)) << server->Error();
  const auto files = WriteTree(dir / "private/tree", 400);

  // The password comes from the environment, which the helpers inherit
  // without it.
  setenv("PASSWD", password.c_str(), 1);
  const CliProcess cli = StartCli(dir, {"-U", CSambaServer::ProcessUser(), "--log", dir / "run.log", "-d",
                                        dir / "dst", server->Url("private") + "/tree"});
  unsetenv("PASSWD");
  std::set<pid_t> seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline && fs::exists("/proc/" + std::to_string(cli))) {
    for (const auto& [helper, up] : HelpersOf(cli)) {
      if (seen.count(helper) != 0) continue;
      const std::string base = "/proc/" + std::to_string(helper);
      const std::string command = ProcText(base + "/cmdline");
      // A helper that has ended (the program did) shows nothing any more.
      if (command.empty()) continue;
      seen.insert(helper);
      EXPECT_EQ(command, std::string("ferrox-smb-helper") + '\0');
      EXPECT_EQ(ProcText(base + "/environ").find(password), std::string::npos);
    }
    // The first helper, which starts the others, and two of those.
    if (seen.size() >= 3 ||
        ProcText("/proc/" + std::to_string(cli) + "/stat").find(") Z") != std::string::npos)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const int status = WaitForCli(cli, 60);
  const std::string out = ReadFile(dir / "out");
  EXPECT_EQ(status, 0) << out;
  EXPECT_GE(seen.size(), 2U) << "no helper read";
  for (const auto& [name, bytes] : files) EXPECT_TRUE(ReadFile(dir / ("dst/tree/" + name)) == bytes) << name;
  for (const std::string& text : {out, ReadFile(dir / "run.log")})
    EXPECT_EQ(text.find(password), std::string::npos);
}

// A helper that dies at once, one that answers nonsense and none at all:
// the worker reads each file itself, and the run says what a run without
// helpers says.
TEST_F(CliSmbHelperTest, HelpersThatDieAnswerNonsenseOrAreMissingCostTheCopyNothing) {
  const auto files = WriteTree(dir / "films/tree", 60);
  const std::string source = server->Url("films") + "/tree";
  WriteFile(dir / "dies", "#!/bin/sh\nexit 3\n");
  WriteFile(dir / "babbles", "#!/bin/sh\nhead -c 4096 /dev/urandom >&0\nsleep 1\n");
  fs::permissions(dir / "dies", fs::perms::owner_all);
  fs::permissions(dir / "babbles", fs::perms::owner_all);

  std::string expectedDone;
  for (const std::string& helper : std::vector<std::string>{dir / "dies", dir / "babbles", dir / "missing"}) {
    SCOPED_TRACE(helper);
    fs::remove_all(dir / "dst");
    fs::create_directories(dir / "dst");
    setenv("FERROX_SMB_HELPER", helper.c_str(), 1);
    const CRunResult run = RunCli(dir, {"-d", dir / "dst", source});
    unsetenv("FERROX_SMB_HELPER");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    for (const auto& [name, bytes] : files)
      EXPECT_TRUE(ReadFile(dir / ("dst/tree/" + name)) == bytes) << name;
    if (expectedDone.empty()) expectedDone = DoneLine(run.out);
    EXPECT_EQ(DoneLine(run.out), expectedDone);
    // Nothing went wrong in the program (a sanitizer's summary of what it
    // was told to leave alone may stand there, but no error).
    EXPECT_EQ(run.err.find("ERROR"), std::string::npos) << run.err;
  }
  EXPECT_NE(expectedDone, "");
}

// Helpers start as copies of the first one, which the program started.
// Killed while the copy runs, two of them and then the first: the copy
// still comes out whole, as a run without helpers gives it, the first
// helper reaps the copies that ended before it did, and the program starts
// helpers on its own once the first is gone.
TEST_F(CliSmbHelperTest, HelpersKilledWhileTheCopyRunsCostItNothingAndLeaveNoneUnreaped) {
  const auto files = WriteTree(dir / "films/tree", 800);
  const std::string source = server->Url("films") + "/tree";
  const CRunResult plain = RunCli(dir, {"--connections", "1", "-d", dir / "dst1", source});
  ASSERT_EQ(plain.status, 0) << plain.out << plain.err;

  const CliProcess cli = StartCli(dir, {"-d", dir / "dst", source});
  pid_t first = 0;
  std::vector<pid_t> killed;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline && killed.size() < 2 &&
         ProcText("/proc/" + std::to_string(cli) + "/stat").find(") Z") == std::string::npos) {
    for (const auto& [helper, up] : HelpersOf(cli)) {
      if (up == cli) {
        if (first == 0) first = helper;
      } else if (killed.size() < 2 && std::find(killed.begin(), killed.end(), helper) == killed.end()) {
        EXPECT_NE(first, 0);
        EXPECT_EQ(up, first) << "a helper not started by the first one";
        kill(helper, SIGKILL);
        killed.push_back(helper);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(killed.size(), 2U) << "the copy ended before two helpers were seen";
  // Reaped by the first helper while it still runs: gone from /proc, not
  // left as zombies (once it ends, whatever it left is reaped elsewhere).
  bool reaped = false;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!reaped && std::chrono::steady_clock::now() < until && HelperState(first).first != '\0') {
    reaped = HelperState(killed[0]).first == '\0' && HelperState(killed[1]).first == '\0' &&
             HelperState(first).first != '\0';
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(reaped) << "the killed helpers were not reaped while the first one ran";
  kill(first, SIGKILL);

  const int status = WaitForCli(cli, 120);
  const std::string out = ReadFile(dir / "out");
  EXPECT_EQ(status, 0) << out;
  for (const auto& [name, bytes] : files) EXPECT_TRUE(ReadFile(dir / ("dst/tree/" + name)) == bytes) << name;
  EXPECT_EQ(DoneLine(out), DoneLine(plain.out));
  EXPECT_NE(DoneLine(out), "");
}

// Helpers start and log on while the tree is still being listed, so that
// the first files do not wait for them: one shows before the listing's
// summary line does.
TEST_F(CliSmbHelperTest, HelpersStartWhileTheTreeIsStillListed) {
  // The files stand in the tree's own folder, found by its first listing,
  // and the empty folders keep the listing going long after that, also on
  // a machine busy with other tests.
  fs::create_directories(dir / "films/tree");
  for (int n = 0; n < 40; ++n) WriteFile(dir / ("films/tree/f" + std::to_string(n)), "x");
  for (int n = 0; n < 1500; ++n) fs::create_directories(dir / ("films/tree/b" + std::to_string(n)));
  const CliProcess cli = StartCli(dir, {"-d", dir / "dst", server->Url("films") + "/tree"});
  std::string outWhenSeen;
  bool seen = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!seen && std::chrono::steady_clock::now() < deadline &&
         ProcText("/proc/" + std::to_string(cli) + "/stat").find(") Z") == std::string::npos) {
    for (const auto& [helper, up] : HelpersOf(cli))
      if (up != cli) seen = true;
    if (seen) outWhenSeen = ReadFile(dir / "out");
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const int status = WaitForCli(cli, 120);
  const std::string out = ReadFile(dir / "out");
  EXPECT_EQ(status, 0) << out;
  EXPECT_TRUE(seen) << "no helper ran";
  EXPECT_NE(out.find("total size"), std::string::npos) << out;
  EXPECT_EQ(outWhenSeen.find("total size"), std::string::npos) << outWhenSeen;
  EXPECT_EQ(ReadFile(dir / "dst/tree/f39"), "x");
}

// An smb:// address with an escape names a folder with a blank; a folder
// whose name is the escape itself, with files of the same names and sizes,
// stands beside it. The helpers read what the program reads: the copy holds
// the named folder's bytes.
TEST_F(CliSmbHelperTest, HelpersReadTheFolderAnEscapedAddressNames) {
  const auto files = WriteTree(dir / "films/my tree", 40);
  for (const auto& [name, bytes] : files) {
    fs::create_directories(fs::path(dir / ("films/my%20tree/" + name)).parent_path());
    WriteFile(dir / ("films/my%20tree/" + name), std::string(bytes.size(), 'D'));
  }
  const CRunResult run = RunCli(dir, {"-d", dir / "dst", server->Url("films") + "/my%20tree"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (const auto& [name, bytes] : files)
    EXPECT_TRUE(ReadFile(dir / ("dst/my tree/" + name)) == bytes) << name;
  EXPECT_NE(run.out.find("succesfully copyed"), std::string::npos) << run.out;
}

}  // namespace
