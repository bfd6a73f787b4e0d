// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end tests of ferrox-cli reading shares of a private smbd on
// 127.0.0.1: trees and share roots copied identical, a share that wants a
// password, and a server that goes away in the middle of a file.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/smb/SmbHelperPool.h"
#include "tests/support/CliRunner.h"
#include "tests/support/PrivateLink.h"
#include "tests/support/SambaServer.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace ferrox_test;

constexpr int64_t kOldTime = 981173045;  // 2001-02-03
constexpr uint64_t kMiB = uint64_t{1} << 20;

// Writes bytes at offset of the file at path, creating it and keeping what
// it holds elsewhere; returns true on success.
bool WriteAt(const std::string& path, const std::string& bytes, off_t offset) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool ok = pwrite(fd, bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size());
  return close(fd) == 0 && ok;
}

// Returns count bytes of the file at path from offset (fewer at its end).
std::string ReadAt(const std::string& path, size_t count, off_t offset) {
  std::string bytes(count, '\0');
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string();
  const ssize_t got = pread(fd, bytes.data(), count, offset);
  close(fd);
  bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return bytes;
}

// Returns the size of the file at path, or 0.
uint64_t SizeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

// Under FERROX_REQUIRE_SMB=1 a private server that cannot run here is a
// failure of the test that wanted it, with the reason; otherwise only the
// skip that follows tells.
TEST(SambaServerTest, AServerThatCannotRunFailsTheTestWhenSmbIsRequired) {
  std::optional<std::string> before;
  if (const char* value = std::getenv("FERROX_REQUIRE_SMB")) before = value;
  setenv("FERROX_REQUIRE_SMB", "1", 1);
  EXPECT_FATAL_FAILURE(EXPECT_FALSE(CSambaServer::RequiredButUnavailable("no smbd in the test")),
                       "FERROX_REQUIRE_SMB=1, yet the SMB test cannot run: no smbd in the test");
  unsetenv("FERROX_REQUIRE_SMB");
  EXPECT_FALSE(CSambaServer::RequiredButUnavailable("no smbd in the test"));
  setenv("FERROX_REQUIRE_SMB", "0", 1);
  EXPECT_FALSE(CSambaServer::RequiredButUnavailable("no smbd in the test"));
  if (before)
    setenv("FERROX_REQUIRE_SMB", before->c_str(), 1);
  else
    unsetenv("FERROX_REQUIRE_SMB");
}

class CliSmbTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string why;
    if (!CSambaServer::Available(why)) GTEST_SKIP() << "no private Samba server here: " << why;
    fs::create_directories(dir / "films");
    fs::create_directories(dir / "private");
    fs::create_directories(dir / "samba");
    fs::create_directories(dir / "dst");
    server = std::make_unique<CSambaServer>(
        dir / "samba", std::vector<CSambaServer::CShare>{{"films", dir / "films", true},
                                                         {"private", dir / "private", false}});
    ASSERT_TRUE(server->Start()) << server->Error();
  }

  CTempDir dir;
  std::unique_ptr<CSambaServer> server;
};

TEST_F(CliSmbTest, TreesAndShareRootsCopyIdenticalInEveryPathForm) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {".hidden", "hidden bytes"},
      {"a b.txt", "with a blank"},
      {"caf\xc3\xa9 #1%.bin", PatternBytes(300000, 3)},
      {"empty", ""},
      {"sub/deeper/x.bin", PatternBytes(70000, 4)},
  };
  for (const auto& [name, bytes] : files) {
    fs::create_directories((dir / ("films/" + name)).substr(0, (dir / ("films/" + name)).rfind('/')));
    WriteFile(dir / ("films/" + name), bytes);
    SetModificationTime(dir / ("films/" + name), kOldTime);
  }
  const std::string port = std::to_string(server->Port());

  // The whole share, as a share root: it lands in a folder of its name.
  CRunResult run = RunCli(dir, {"-d", dir / "dst", server->Url("films")});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(HasLine(SplitLines(run.out), "succesfully copyed")) << run.out;
  for (const auto& [name, bytes] : files) {
    EXPECT_EQ(ReadFile(dir / ("dst/films/" + name)), bytes) << name;
    EXPECT_EQ(ModificationTime(dir / ("dst/films/" + name)), kOldTime) << name;
  }

  // A folder of the share in the other two forms, logged as written.
  for (const std::string& source :
       {"//127.0.0.1:" + port + "/films/sub", "\\\\127.0.0.1:" + port + "\\films\\sub"}) {
    fs::remove_all(dir / "dst/sub");
    run = RunCli(dir, {"-d", dir / "dst", source});
    ASSERT_EQ(run.status, 0) << source << "\n" << run.out << run.err;
    EXPECT_TRUE(
        HasLine(SplitLines(run.out), "copying from \"" + source + "\" to \"" + (dir / "dst") + "\" ..."))
        << run.out;
    EXPECT_EQ(ReadFile(dir / "dst/sub/deeper/x.bin"), files[4].second) << source;
  }
}

TEST_F(CliSmbTest, AUrlAsDesktopsWriteItIsDecodedAndTheNamesInTheShareAreNot) {
  fs::create_directories(dir / "films/my dir/sub");
  WriteFile(dir / "films/my dir/100%25.txt", "a name with an escape in it");
  WriteFile(dir / "films/my dir/100%.txt", "a name with a percent sign");
  WriteFile(dir / "films/my dir/sub/a b.txt", "blank");
  const std::string source = server->Url("films") + "/my%20dir";
  const CRunResult run = RunCli(dir, {"-d", dir / "dst", source});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  // The log shows the address as written.
  EXPECT_TRUE(
      HasLine(SplitLines(run.out), "copying from \"" + source + "\" to \"" + (dir / "dst") + "\" ..."))
      << run.out;
  EXPECT_EQ(ReadFile(dir / "dst/my dir/100%25.txt"), "a name with an escape in it");
  EXPECT_EQ(ReadFile(dir / "dst/my dir/100%.txt"), "a name with a percent sign");
  EXPECT_EQ(ReadFile(dir / "dst/my dir/sub/a b.txt"), "blank");

  // A share address as destination is decoded as well.
  fs::create_directories(dir / "films/to here");
  const CRunResult into =
      RunCli(dir, {"-d", server->Url("films") + "/to%20here", server->Url("films") + "/my%20dir/sub"});
  ASSERT_EQ(into.status, 0) << into.out << into.err;
  EXPECT_EQ(ReadFile(dir / "films/to here/sub/a b.txt"), "blank");
}

TEST_F(CliSmbTest, AShareCopiesIntoAnotherShareAndAPartialCopyThereIsContinued) {
  const std::string big = PatternBytes(3 * kMiB + 12345, 7);
  fs::create_directories(dir / "films/tree/sub");
  WriteFile(dir / "films/tree/big.bin", big);
  WriteFile(dir / "films/tree/sub/.hidden", "hidden");
  WriteFile(dir / "films/tree/empty", "");
  for (const char* name : {"big.bin", "sub/.hidden", "empty"})
    SetModificationTime(dir / "films/tree/" + name, kOldTime);
  fs::create_directories(dir / "films/copies");
  const std::string destination = server->Url("films") + "/copies";
  CRunResult run = RunCli(dir, {"-d", destination, server->Url("films") + "/tree"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  for (const char* name : {"big.bin", "sub/.hidden", "empty"}) {
    EXPECT_EQ(ReadFile(dir / "films/copies/tree/" + name), ReadFile(dir / "films/tree/" + name)) << name;
    EXPECT_EQ(ModificationTime(dir / "films/copies/tree/" + name), kOldTime) << name;
  }

  // A copy on the share cut short is continued by appending on the server.
  ASSERT_EQ(truncate((dir / "films/copies/tree/big.bin").c_str(), static_cast<off_t>(kMiB)), 0);
  run = RunCli(dir, {"-d", destination, server->Url("films") + "/tree"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(ReadFile(dir / "films/copies/tree/big.bin"), big);
  EXPECT_EQ(ModificationTime(dir / "films/copies/tree/big.bin"), kOldTime);
  EXPECT_EQ(DoneLine(run.out), "done, crc32 = " + Hex32(Crc32(big.substr(kMiB))) + ", errors fixed : 0");
}

TEST_F(CliSmbTest, OnlyTheMissingTailOfAFileOverFourGibibytesCrossesTheWire) {
  const uint64_t size = 4 * 1024 * kMiB + 3 * kMiB;
  const std::string tail = PatternBytes(2 * kMiB, 5);
  ASSERT_TRUE(WriteAt(dir / "films/big.bin", tail, static_cast<off_t>(size - tail.size())));
  SetModificationTime(dir / "films/big.bin", kOldTime);
  // The copy already holds all but the last mebibyte.
  ASSERT_TRUE(WriteAt(dir / "dst/big.bin", tail.substr(0, kMiB), static_cast<off_t>(size - tail.size())));
  ASSERT_EQ(SizeOf(dir / "dst/big.bin"), size - kMiB);

  const CRunResult run = RunCli(dir, {"-d", dir / "dst", server->Url("films") + "/big.bin"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(SizeOf(dir / "dst/big.bin"), size);
  EXPECT_EQ(ReadAt(dir / "dst/big.bin", tail.size(), static_cast<off_t>(size - tail.size())), tail);
  // The finished copy takes the source's modification time.
  EXPECT_EQ(ModificationTime(dir / "films/big.bin"), kOldTime);
  EXPECT_EQ(ModificationTime(dir / "dst/big.bin"), kOldTime);
  // The run's CRC covers what it copied: the last mebibyte alone.
  EXPECT_EQ(DoneLine(run.out), "done, crc32 = " + Hex32(Crc32(tail.substr(kMiB))) + ", errors fixed : 0");
}

// The server's counts of the requests a copy of small files sends, as its
// profile counters give them.
struct CRequestCounts {
  int64_t create = 0;
  int64_t read = 0;
  int64_t getinfo = 0;
  int64_t close = 0;
  int64_t find = 0;
  int64_t negprot = 0;  // one for each connection
  int64_t logon = 0;    // session setups
};

// Returns server's counts once every handle opened has been closed and at
// least reads reads were answered, or as they stand after 5 seconds: the
// server writes its counters out about a second after they change.
CRequestCounts SettledCounts(const CSambaServer& server, int64_t reads) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  CRequestCounts counts;
  for (;;) {
    counts.create = server.ProfileCounter("smb2_create_count");
    counts.read = server.ProfileCounter("smb2_read_count");
    counts.getinfo = server.ProfileCounter("smb2_getinfo_count");
    counts.close = server.ProfileCounter("smb2_close_count");
    counts.find = server.ProfileCounter("smb2_find_count");
    counts.negprot = server.ProfileCounter("smb2_negprot_count");
    counts.logon = server.ProfileCounter("smb2_sesssetup_count");
    if ((counts.read >= reads && counts.close == counts.create) ||
        std::chrono::steady_clock::now() > deadline)
      return counts;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

// A small file listed with its length costs the server three requests: it
// is opened, read in one request of exactly that length, and closed; no
// request asks for its size or times again, none only finds its end. The
// files' requests are what a copy of the tree costs beyond a copy of the
// same folders without them, less what each connection that fetched files
// ahead cost once, as it connected to the share (an open, a question about
// the share's file system and a close).
TEST_F(CliSmbTest, EachSmallFileOfATreeCostsTheServerThreeRequests) {
  constexpr int kFolders = 2;
  constexpr int kFilesPerFolder = 10;
  std::vector<std::pair<std::string, std::string>> files;
  for (int folder = 0; folder < kFolders; ++folder) {
    fs::create_directories(dir / ("films/bare/d" + std::to_string(folder)));
    fs::create_directories(dir / ("films/tree/d" + std::to_string(folder)));
    for (int file = 0; file < kFilesPerFolder; ++file) {
      const std::string name = "tree/d" + std::to_string(folder) + "/f" + std::to_string(file) + ".bin";
      files.emplace_back(name, PatternBytes(16384, static_cast<uint32_t>(folder * 100 + file)));
      WriteFile(dir / ("films/" + name), files.back().second);
    }
  }
  const int64_t fileCount = kFolders * kFilesPerFolder;
  const CRequestCounts start = SettledCounts(*server, 0);
  CRunResult run = RunCli(dir, {"-d", dir / "dst", server->Url("films") + "/bare"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const CRequestCounts before = SettledCounts(*server, start.read);
  run = RunCli(dir, {"-d", dir / "dst", server->Url("films") + "/tree"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFile(dir / ("dst/" + name)), bytes) << name;
  const CRequestCounts after = SettledCounts(*server, before.read + fileCount);

  auto filesOnly = [&](int64_t CRequestCounts::*counter) {
    return (after.*counter - before.*counter) - (before.*counter - start.*counter);
  };
  // The files went out on connections of their own, fetched ahead. Each
  // connection costs an open, a query and a close as it is made, and each
  // helper started while the tree was listed looked the folder up once it
  // had logged on (the same three; the program may end before the last
  // of them has).
  const int64_t connections = filesOnly(&CRequestCounts::negprot);
  EXPECT_GT(connections, 0);
  EXPECT_LT(connections, fileCount);
  const int64_t lookups = filesOnly(&CRequestCounts::getinfo) - connections;
  EXPECT_GE(lookups, 0);
  EXPECT_LE(lookups, (fileCount + kSmbFilesPerWarmHelper - 1) / kSmbFilesPerWarmHelper);
  EXPECT_EQ(filesOnly(&CRequestCounts::create) - connections - lookups, fileCount);
  EXPECT_EQ(filesOnly(&CRequestCounts::read), fileCount);
  EXPECT_EQ(filesOnly(&CRequestCounts::close) - connections - lookups, fileCount);
  EXPECT_EQ(filesOnly(&CRequestCounts::find), 0);
  // Each logon takes two round trips (negotiate, then authenticate), none
  // spent asking for credentials that nothing on this machine caches.
  EXPECT_EQ(filesOnly(&CRequestCounts::logon), 2 * connections);
  const int64_t requests = filesOnly(&CRequestCounts::create) + filesOnly(&CRequestCounts::read) +
                           filesOnly(&CRequestCounts::close) + filesOnly(&CRequestCounts::getinfo) +
                           filesOnly(&CRequestCounts::find) - 3 * (connections + lookups);
  RecordProperty("requests_per_file_times_100", std::to_string(requests * 100 / fileCount));
}

TEST_F(CliSmbTest, AShareThatWantsAPasswordRefusesWithoutOneAndCopiesWithIt) {
  const std::string password = "s3cret-" + std::to_string(getpid());
  ASSERT_TRUE(server->AddUser(password)) << server->Error();
  WriteFile(dir / "private/p.txt", "private bytes");
  const std::string source = server->Url("private") + "/p.txt";

  CRunResult run = RunCli(dir, {"-d", dir / "dst", source});
  EXPECT_EQ(run.status, 2) << run.out;
  EXPECT_TRUE(
      HasLine(SplitLines(run.out), server->Url("private") + " refused the logon (user name or password ?)"))
      << run.out;
  EXPECT_FALSE(fs::exists(dir / "dst/p.txt"));

  WriteFile(dir / "credentials", "username=" + CSambaServer::ProcessUser() + "\npassword=" + password + "\n");
  run = RunCli(dir,
               {"--credentials", dir / "credentials", "--log", dir / "run.log", "-d", dir / "dst", source});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(ReadFile(dir / "dst/p.txt"), "private bytes");
  const CRunResult json =
      RunCli(dir, {"--credentials", dir / "credentials", "--json", "-d", dir / "dst", source});
  EXPECT_EQ(json.status, 0);
  for (const std::string& text : {run.out, run.err, ReadFile(dir / "run.log"), json.out, json.err})
    EXPECT_EQ(text.find(password), std::string::npos) << text;

  // Check after copy reads each block again over connections of its own:
  // they log on with the same credentials.
  const std::string pages = PatternBytes(300000, 6);
  WriteFile(dir / "private/pages.bin", pages);
  run = RunCli(dir, {"--credentials", dir / "credentials", "-c", "--check-cycles", "1", "-d", dir / "dst",
                     server->Url("private") + "/pages.bin"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(ReadFile(dir / "dst/pages.bin"), pages);
  EXPECT_TRUE(HasLine(SplitLines(run.out), "succesfully copyed")) << run.out;

  // The user named on the command line, the password from the environment.
  fs::remove(dir / "dst/p.txt");
  setenv("PASSWD", password.c_str(), 1);
  run = RunCli(dir, {"-U", "WORKGROUP\\" + CSambaServer::ProcessUser(), "-d", dir / "dst", source});
  unsetenv("PASSWD");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(ReadFile(dir / "dst/p.txt"), "private bytes");

  // A password in the address itself is refused before anything runs.
  run = RunCli(dir, {"-d", dir / "dst",
                     "smb://" + CSambaServer::ProcessUser() + ":" + password + "@127.0.0.1/private"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("--credentials"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(password), std::string::npos) << run.err;
}

TEST_F(CliSmbTest, AFolderWhoseListingHoldsABackslashIsNamedAtOnceAndTheRestIsCopied) {
  // Legal in a Linux name, never in an SMB one: the client library refuses
  // the whole listing of the folder that holds it.
  fs::create_directories(dir / "films/tree/a");
  fs::create_directories(dir / "films/tree/bad");
  WriteFile(dir / "films/tree/a/keep.txt", "kept");
  WriteFile(dir / "films/tree/bad/fine.txt", "listed with it");
  WriteFile(dir / "films/tree/bad/back\\slash", "never a path");
  WriteFile(dir / "films/tree/top.txt", "top");
  const std::string source = server->Url("films") + "/tree";
  // libsmbclient keeps the few entries of a listing it refuses, which are
  // not the program's to free: a build with LeakSanitizer is told not to
  // count them as the program's leak.
  const char* sanitizer = std::getenv("ASAN_OPTIONS");
  const std::optional<std::string> before = sanitizer ? std::optional<std::string>(sanitizer) : std::nullopt;
  setenv("ASAN_OPTIONS", (before ? *before + ":" : std::string()).append("detect_leaks=0").c_str(), 1);
  const auto started = std::chrono::steady_clock::now();
  const CRunResult run = RunCli(dir, {"-d", dir / "dst", source});
  if (before)
    setenv("ASAN_OPTIONS", before->c_str(), 1);
  else
    unsetenv("ASAN_OPTIONS");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));  // not the limit of 300 s
  EXPECT_EQ(run.status, 8) << run.out << run.err;
  EXPECT_TRUE(HasLine(SplitLines(run.out),
                      "skipped " + source + "/bad : it holds an unsafe name, its listing cannot be read"))
      << run.out;
  for (const std::string& line : SplitLines(run.out)) EXPECT_FALSE(line.starts_with("try limit")) << line;
  EXPECT_EQ(ReadFile(dir / "dst/tree/a/keep.txt"), "kept");
  EXPECT_EQ(ReadFile(dir / "dst/tree/top.txt"), "top");
  EXPECT_FALSE(fs::exists(dir / "dst/tree/bad/fine.txt"));
  EXPECT_TRUE(HasLine(SplitLines(run.out), "errors while scanning folders, some files may be missed"))
      << run.out;
}

// Waits at most 20 seconds until the file at path holds at least bytes;
// returns whether it got there.
bool WaitForSize(const std::string& path, uint64_t bytes) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (SizeOf(path) < bytes) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Returns the server's profile counter name once it has reached at least
// least and stopped changing (smbd writes its counters out about a second
// after they change), or its last value after some 6 seconds.
int64_t SettledCounter(const CSambaServer& server, const std::string& name, int64_t least) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(6);
  int64_t value = server.ProfileCounter(name);
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    const int64_t again = server.ProfileCounter(name);
    if ((again == value && again >= least) || std::chrono::steady_clock::now() > deadline) return again;
    value = again;
  }
}

TEST_F(CliSmbTest, AServerKilledInTheMiddleOfAFileIsReconnectedAndTheCopyEndsIdentical) {
  const std::string bytes = PatternBytes(96 * kMiB, 6);
  WriteFile(dir / "films/film.mkv", bytes);
  const pid_t cli = StartCli(dir, {"-b", "65536", "-r", "60", "--log", dir / "run.log", "-d", dir / "dst",
                                   server->Url("films") + "/film.mkv"});
  ASSERT_TRUE(WaitForSize(dir / "dst/film.mkv", 8 * kMiB));
  server->Kill();
  // What was on its way when the server died is written meanwhile.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const uint64_t keptAtRestart = SizeOf(dir / "dst/film.mkv");
  ASSERT_GE(keptAtRestart, 8 * kMiB);
  ASSERT_LT(keptAtRestart, bytes.size());
  ASSERT_TRUE(server->Restart()) << server->Error();
  const int status = WaitForCli(cli, 60);
  const std::string out = ReadFile(dir / "out");
  EXPECT_EQ(status, 0) << out;
  EXPECT_TRUE(ReadFile(dir / "dst/film.mkv") == bytes);
  // The server that came back sent the rest of the file from the length the
  // copy had reached, not the file again: the read responses carry that
  // many bytes, their headers and no more.
  const uint64_t rest = bytes.size() - keptAtRestart;
  const int64_t sent = SettledCounter(*server, "smb2_read_outbytes", static_cast<int64_t>(rest));
  EXPECT_GE(sent, static_cast<int64_t>(rest)) << "kept " << keptAtRestart;
  EXPECT_LT(sent, static_cast<int64_t>(rest + kMiB / 4)) << "kept " << keptAtRestart;
  // The count-down lines replace each other on the screen; the log file
  // keeps every one of them.
  const std::string log = ReadFile(dir / "run.log");
  EXPECT_NE(log.find("trying to connect to " + server->Url("films") + "/film.mkv, "), std::string::npos)
      << log;
  EXPECT_TRUE(HasLine(SplitLines(out), "succesfully copyed")) << out;
}

TEST_F(CliSmbTest, AShareDestinationWhoseServerIsKilledIsReconnectedAndTheCopyEndsIdentical) {
  const std::string bytes = PatternBytes(96 * kMiB, 11);
  WriteFile(dir / "local.mkv", bytes);
  fs::create_directories(dir / "films/in");
  const pid_t cli = StartCli(dir, {"-b", "65536", "-r", "60", "--log", dir / "run.log", "-d",
                                   server->Url("films") + "/in", dir / "local.mkv"});
  ASSERT_TRUE(WaitForSize(dir / "films/in/local.mkv", 8 * kMiB));
  server->Kill();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  ASSERT_LT(SizeOf(dir / "films/in/local.mkv"), bytes.size());
  ASSERT_TRUE(server->Restart()) << server->Error();
  const int status = WaitForCli(cli, 60);
  const std::string out = ReadFile(dir / "out");
  EXPECT_EQ(status, 0) << out;
  EXPECT_TRUE(ReadFile(dir / "films/in/local.mkv") == bytes);
  // The destination was waited for, as a source is.
  const std::string log = ReadFile(dir / "run.log");
  EXPECT_NE(log.find("trying to connect to " + server->Url("films") + "/in/local.mkv, "), std::string::npos)
      << log;
  EXPECT_TRUE(HasLine(SplitLines(out), "succesfully copyed")) << out;
}

TEST_F(CliSmbTest, AServerDownLongerThanTheLimitEndsTheFileAndALaterRunFetchesOnlyTheRest) {
  const std::string bytes = PatternBytes(96 * kMiB, 7);
  WriteFile(dir / "films/film.mkv", bytes);
  const std::string source = server->Url("films") + "/film.mkv";
  const pid_t cli = StartCli(dir, {"-b", "65536", "-r", "2", "-d", dir / "dst", source});
  ASSERT_TRUE(WaitForSize(dir / "dst/film.mkv", 8 * kMiB));
  server->Kill();
  const int status = WaitForCli(cli, 60);
  const std::string out = ReadFile(dir / "out");
  EXPECT_EQ(status, 2) << out;
  EXPECT_TRUE(HasLine(SplitLines(out), source + " reconnect limit over, try again")) << out;
  const uint64_t kept = SizeOf(dir / "dst/film.mkv");
  ASSERT_GT(kept, 0u);
  ASSERT_LT(kept, bytes.size());
  EXPECT_TRUE(ReadFile(dir / "dst/film.mkv") == bytes.substr(0, kept));

  ASSERT_TRUE(server->Restart()) << server->Error();
  const CRunResult again = RunCli(dir, {"-d", dir / "dst", source});
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_TRUE(ReadFile(dir / "dst/film.mkv") == bytes);
  EXPECT_EQ(DoneLine(again.out), "done, crc32 = " + Hex32(Crc32(bytes.substr(kept))) + ", errors fixed : 0");
}

TEST_F(CliSmbTest, ALinkCutForAWhileIsWaitedOutAndTheCopyEndsIdentical) {
  std::string why;
  if (!CPrivateLink::Available(why)) GTEST_SKIP() << "no private link here: " << why;
  CPrivateLink link;
  ASSERT_TRUE(link.Ok()) << link.Error();
  fs::create_directories(dir / "far");
  CSambaServer far(dir / "far", {{"films", dir / "films", true}});
  far.ServeFrom(link.Namespace(), link.FarAddress());
  ASSERT_TRUE(far.Start()) << far.Error();

  const std::string bytes = PatternBytes(96 * kMiB, 8);
  WriteFile(dir / "films/film.mkv", bytes);
  const std::string source = far.Url("films") + "/film.mkv";
  const pid_t cli =
      StartCli(dir, {"-b", "65536", "-r", "60", "--log", dir / "run.log", "-d", dir / "dst", source});
  ASSERT_TRUE(WaitForSize(dir / "dst/film.mkv", 8 * kMiB));
  // Nothing answers and nothing is refused: the read in flight runs into
  // its time limit, and new connections into theirs, until the link is back.
  ASSERT_TRUE(link.Cut()) << link.Error();
  std::this_thread::sleep_for(std::chrono::seconds(13));
  ASSERT_TRUE(link.Restore()) << link.Error();
  const int status = WaitForCli(cli, 90);
  const std::string out = ReadFile(dir / "out");
  EXPECT_EQ(status, 0) << out;
  EXPECT_TRUE(ReadFile(dir / "dst/film.mkv") == bytes);
  const std::string log = ReadFile(dir / "run.log");
  EXPECT_NE(log.find("error 32 reading film.mkv"), std::string::npos) << log;
  EXPECT_NE(log.find("trying to connect to " + source + ", "), std::string::npos) << log;
  far.Stop();
}

// ---- Two names of one share file, and a share file cut during its copy.

TEST_F(CliSmbTest, CopyByPartsNeverEmptiesAShareFileReachedByAnotherName) {
  const std::string bytes = PatternBytes(3 * kMiB, 8);
  fs::create_directories(dir / "films/same");
  WriteFile(dir / "films/same/s.bin", bytes);
  SetModificationTime(dir / "films/same/s.bin", kOldTime);
  const std::string port = std::to_string(server->Port());
  const std::string source = "smb://127.0.0.1:" + port + "/films/same/s.bin";
  // Another name of the server, and the folder it serves on this machine.
  for (const std::string& destination : {"smb://localhost:" + port + "/films/same", dir / "films/same"}) {
    const CRunResult run = RunCli(dir, {"--parts", "1", "--part-size", "1000000", "-d", destination, source});
    EXPECT_EQ(run.status & 4, 4) << destination << "\n" << run.out << run.err;
    EXPECT_NE(run.out.find(" is the source itself"), std::string::npos) << run.out;
    EXPECT_FALSE(HasLine(SplitLines(run.out), "succesfully copyed")) << run.out;
    EXPECT_TRUE(ReadFile(dir / "films/same/s.bin") == bytes) << destination;
  }
}

TEST_F(CliSmbTest, AShareFileCutDuringItsCopyIsNamedAndItsCopyNeverTakenForComplete) {
  const std::string bytes = PatternBytes(96 * kMiB, 9);
  WriteFile(dir / "films/cut.bin", bytes);
  const std::string source = server->Url("films") + "/cut.bin";
  const pid_t cli = StartCli(dir, {"-b", "65536", "-d", dir / "dst", source});
  ASSERT_TRUE(WaitForSize(dir / "dst/cut.bin", kMiB));
  ASSERT_EQ(truncate((dir / "films/cut.bin").c_str(), static_cast<off_t>(kMiB / 2)), 0);
  const int status = WaitForCli(cli, 60);
  const std::string out = ReadFile(dir / "out");
  EXPECT_EQ(status & 2, 2) << out;
  EXPECT_TRUE(HasLine(SplitLines(out), source + " changed during the copy, its copy is kept as a partial"))
      << out;
  EXPECT_FALSE(HasLine(SplitLines(out), "succesfully copyed")) << out;
  const uint64_t kept = SizeOf(dir / "dst/cut.bin");
  ASSERT_GT(kept, kMiB / 2);
  EXPECT_TRUE(ReadFile(dir / "dst/cut.bin") == bytes.substr(0, kept));

  // Every later run says so, and leaves the copy as it is.
  const CRunResult again = RunCli(dir, {"-d", dir / "dst", source});
  EXPECT_EQ(again.status & 4, 4) << again.out;
  EXPECT_TRUE(HasLine(SplitLines(again.out), (dir / "dst/cut.bin") + " differs from its source, left alone"))
      << again.out;
  EXPECT_EQ(SizeOf(dir / "dst/cut.bin"), kept);
}

TEST_F(CliSmbTest, AnUnstampedPartialCopyIsComparedAtTheCostOfItsLastStretch) {
  const std::string bytes = PatternBytes(3 * kMiB, 10);
  WriteFile(dir / "films/part.bin", bytes);
  SetModificationTime(dir / "films/part.bin", kOldTime);
  const std::string source = server->Url("films") + "/part.bin";
  // Returns the server's read requests and bytes sent while one run continues a
  // first mebibyte, stamped with the source's time or not.
  auto measure = [&](bool stamped) {
    WriteFile(dir / "dst/part.bin", bytes.substr(0, kMiB));
    if (stamped) SetModificationTime(dir / "dst/part.bin", kOldTime);
    const int64_t requests = SettledCounter(*server, "smb2_read_count", 0);
    const int64_t sent = SettledCounter(*server, "smb2_read_outbytes", 0);
    const CRunResult run = RunCli(dir, {"-d", dir / "dst", source});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(ReadFile(dir / "dst/part.bin") == bytes);
    const int64_t rest = static_cast<int64_t>(2 * kMiB);
    return std::make_pair(SettledCounter(*server, "smb2_read_count", requests + 1) - requests,
                          SettledCounter(*server, "smb2_read_outbytes", sent + rest) - sent);
  };
  const auto [stampedRequests, stampedBytes] = measure(true);
  const auto [comparedRequests, comparedBytes] = measure(false);
  std::printf(
      "continued copy over SMB: stamped %lld requests %lld bytes, compared %lld requests %lld bytes\n",
      static_cast<long long>(stampedRequests), static_cast<long long>(stampedBytes),
      static_cast<long long>(comparedRequests), static_cast<long long>(comparedBytes));
  EXPECT_LE(comparedRequests, stampedRequests + 1);
  EXPECT_GE(comparedBytes - stampedBytes, 65536);
  EXPECT_LT(comparedBytes - stampedBytes, 65536 + 4096);
}

// A share served as nobody, so that the modes of its files refuse some.
TEST_F(CliSmbTest, EntriesTheServerRefusesAreNamedAndPassedAtOnceAndTheRestIsCopied) {
  const std::string sec = dir / "sec";
  fs::create_directories(sec + "/perm");
  fs::create_directories(sec + "/dscan/a");
  fs::create_directories(sec + "/dscan/b");
  fs::create_directories(sec + "/dscan/c");
  for (const char* name :
       {"perm/a_ok.txt", "perm/b_denied.txt", "perm/c_ok.txt", "dscan/a/x", "dscan/b/y", "dscan/c/z"})
    WriteFile(sec + "/" + name, name);
  ASSERT_EQ(chmod((sec + "/perm/b_denied.txt").c_str(), 0600), 0);
  ASSERT_EQ(chmod((sec + "/dscan/b").c_str(), 0700), 0);
  ASSERT_EQ(chmod(sec.c_str(), 0755), 0);
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);  // nobody must reach the share's folder
  fs::create_directories(dir / "samba2");
  CSambaServer other(dir / "samba2", std::vector<CSambaServer::CShare>{{"sec", sec, true}});
  other.AddShareLines("sec", "force user = nobody");
  ASSERT_TRUE(other.Start()) << other.Error();

  // The reconnect limit is long; nothing may wait for it.
  const CRunResult run = RunCli(dir, {"-r", "300", "-d", dir / "dst", other.Url("sec")});
  EXPECT_EQ(run.status, 10) << run.out << run.err;
  for (const char* name : {"perm/a_ok.txt", "perm/c_ok.txt", "dscan/a/x", "dscan/c/z"})
    EXPECT_EQ(ReadFile(dir / "dst/sec/" + name), name) << name;
  const std::vector<std::string> lines = SplitLines(run.out);
  EXPECT_TRUE(HasLine(lines, "left out : 1 file, 1 folder")) << run.out;
  EXPECT_TRUE(HasLine(lines, other.Url("sec") + "/perm/b_denied.txt : access denied")) << run.out;
  EXPECT_TRUE(HasLine(lines, other.Url("sec") + "/dscan/b/ : cannot be listed, access denied")) << run.out;
  EXPECT_EQ(run.out.find("refused the logon"), std::string::npos) << run.out;
  EXPECT_FALSE(HasLine(lines, "read error, try again later")) << run.out;

  // A path the server says is not there ends at once, with the cause.
  const CRunResult missing = RunCli(dir, {"-r", "300", "-d", dir / "dst", other.Url("sec") + "/missing.txt"});
  EXPECT_EQ(missing.status, 2) << missing.out;
  const std::vector<std::string> missingLines = SplitLines(missing.out);
  EXPECT_TRUE(HasLine(missingLines, "connection failed, error = 2 ")) << missing.out;
  EXPECT_TRUE(HasLine(missingLines, other.Url("sec") + "/missing.txt : No such file or directory"))
      << missing.out;
  other.Stop();
}

}  // namespace
