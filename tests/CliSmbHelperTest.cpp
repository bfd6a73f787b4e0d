// SPDX-License-Identifier: GPL-3.0-or-later
// ferrox-cli fetching the files of a share's tree ahead in its helper
// processes (ferrox-smb-helper), against a private smbd on 127.0.0.1: the
// password reaches them over their socket and nowhere else, and helpers
// that fail or are missing cost the copy nothing but speed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
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

// Returns the processes whose parent is parent and whose program is the
// SMB helper.
std::vector<pid_t> HelpersOf(pid_t parent) {
  std::vector<pid_t> helpers;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    // "pid (comm) state ppid ...": comm is cut to 15 bytes.
    const std::string stat = ProcText("/proc/" + name + "/stat");
    const size_t close = stat.rfind(')');
    if (stat.find("(ferrox-smb-help)") == std::string::npos || close == std::string::npos) continue;
    if (std::atoi(stat.c_str() + close + 4) == parent) helpers.push_back(std::stoi(name));
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
    for (pid_t helper : HelpersOf(cli)) {
      if (seen.count(helper) != 0) continue;
      const std::string base = "/proc/" + std::to_string(helper);
      const std::string command = ProcText(base + "/cmdline");
      // A helper that has ended (the program did) shows nothing any more.
      if (command.empty()) continue;
      seen.insert(helper);
      EXPECT_EQ(command, std::string("ferrox-smb-helper") + '\0');
      EXPECT_EQ(ProcText(base + "/environ").find(password), std::string::npos);
    }
    if (seen.size() >= 2 ||
        ProcText("/proc/" + std::to_string(cli) + "/stat").find(") Z") != std::string::npos)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const int status = WaitForCli(cli, 60);
  const std::string out = ReadFile(dir / "out");
  EXPECT_EQ(status, 0) << out;
  EXPECT_FALSE(seen.empty()) << "no helper ran";
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

}  // namespace
