// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include <string>
#include <vector>

#include "engine/CopyThreadProc.h"
#include "engine/Crc32.h"
#include "engine/FileNode.h"
#include "platform/smb/SmbCredentials.h"
#include "tests/support/EngineFixture.h"

namespace {

// Serves "//srv/..." paths from the in-memory file system's "/mem/..." ones:
// what a share mounted under a network name looks like to the engine.
class CShareAlias : public CFileSystem {
public:
  explicit CShareAlias(CMemFileSystem& fs) : m_fs(fs) {}
  std::unique_ptr<CStream> Open(const std::string& path, OpenMode mode) override {
    return m_fs.Open(Map(path), mode);
  }
  std::unique_ptr<CFindHandle> FindFirst(const std::string& pattern, CFindData& data) override {
    return m_fs.FindFirst(Map(pattern), data);
  }
  int MakeDir(const std::string& path) override { return m_fs.MakeDir(Map(path)); }
  int SetFileTimes(const std::string& path, int64_t a, int64_t w) override {
    return m_fs.SetFileTimes(Map(path), a, w);
  }

private:
  std::string Map(const std::string& path) const { return m_fs.Root() + path.substr(5); }
  CMemFileSystem& m_fs;
};

class CopyThreadProcTest : public CEngineTest {
protected:
  CopyThreadProcTest() {
    fs.AddFolder("/mem/dst"_path);
    front.SetDestination("/mem/dst/"_path);
    g_RunState.workerFinished = false;
  }

  // Runs the driver on this thread, as the worker would.
  ResultFlags Run(std::vector<std::string> sources) {
    g_RunState.sources = std::move(sources);
    return CopyThreadProc();
  }

  // The log's lines, without their line ends.
  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    const std::string text = front.LogText();
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  static uint32_t Crc(const std::string& bytes) { return ~CrcUpdate(0xFFFFFFFF, bytes.data(), bytes.size()); }
};

TEST_F(CopyThreadProcTest, AFolderSourceIsScannedCopiedAndSummed) {
  fs.AddFile("/mem/src/b.txt"_path, "bbbb", 1000);
  fs.AddFile("/mem/src/a.txt"_path, "aa", 1000);
  fs.AddFile("/mem/src/d/c.txt"_path, "c", 1000);
  clock.SetAutoAdvance(0);
  EXPECT_EQ(Run({"/mem/src/"_path}), 0u);

  EXPECT_EQ(fs.FileBytes("/mem/dst/src/a.txt"_path), "aa");
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/d/c.txt"_path), "c");
  char crcLine[64];
  std::snprintf(crcLine, sizeof crcLine, "done, crc32 = 0x%08x, errors fixed : 0", Crc("caabbbb"));
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "buf_size = 1048576 bytes",
                            "reconnect_limit = 300 sec",
                            "total size = 7 bytes,    0 mb, files : 3, folders : 1",
                            "copying from \"" + "/mem/src"_path + "\" to \"" + "/mem/dst"_path + "\" ...",
                            "d/"_path,
                            "\"c.txt\"           1 bytes,    0 mb, 100%",
                            "\"a.txt\"           2 bytes,    0 mb, 100%",
                            "\"b.txt\"           4 bytes,    0 mb, 100%",
                            "time taken : 0 min,  0 sec",
                            "",
                            crcLine,
                            "",
                            "succesfully copyed",
                        }));
  EXPECT_EQ(front.startCommands, 1);
  EXPECT_TRUE(g_RunState.workerFinished);
  EXPECT_FALSE(g_RunState.copyBuffer);
  ASSERT_EQ(front.Summaries().size(), 1u);
  EXPECT_EQ(front.Summaries()[0].crc32, Crc("caabbbb"));
}

// Where '\' separates (Windows) a path typed with '/' names the same files; elsewhere SlashPath changes
// nothing and this is a plain folder copy.
TEST_F(CopyThreadProcTest, ASourceAndADestinationTypedWithSlashesCopyTheSameFiles) {
  fs.AddFile("/mem/src/d/c.txt"_path, "c");
  fs.AddFile("/mem/src/a.txt"_path, "aa");
  front.SetDestination(SlashPath("/mem/dst/"_path));
  EXPECT_EQ(Run({SlashPath("/mem/src/"_path)}), 0u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/a.txt"_path), "aa");
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/d/c.txt"_path), "c");
  EXPECT_EQ(CountMessages("copying from \"" + SlashPath("/mem/src"_path) + "\" to \"" +
                          SlashPath("/mem/dst"_path) + "\" ...\r\n"),
            1);
  EXPECT_EQ(CountMessages("d/"_path + "\r\n"), 1);
  EXPECT_EQ(LogLines().back(), "succesfully copyed");
}

TEST_F(CopyThreadProcTest, ASingleFileSourceAndTheBufferFloor) {
  fs.AddFile("/mem/src/one.bin"_path, std::string(5000, 'x'));
  g_RunState.bufferSize = 100;
  EXPECT_EQ(Run({"/mem/src/one.bin"_path}), 0u);
  EXPECT_EQ(fs.FileSize("/mem/dst/one.bin"_path), 5000u);
  const auto lines = LogLines();
  EXPECT_EQ(lines[0], "buf_size = 1024 bytes");
  EXPECT_EQ(g_RunState.bufferSize, 1024u);
  EXPECT_EQ(CountMessages("total size = 5000 bytes,    0 mb, destination : " + "/mem/dst"_path + "\r\n"), 1);
  EXPECT_EQ(lines.back(), "succesfully copyed");
  EXPECT_EQ(g_RunState.fileCount, 1);
  EXPECT_EQ(g_RunState.currentFileNumber, 1);
}

TEST_F(CopyThreadProcTest, AnUnreachableSourceEndsTheRunAndLaterOnesAreNeverTried) {
  fs.AddFile("/mem/there.txt"_path, "t");
  g_RunState.reconnectLimit = 2;
  EXPECT_EQ(Run({"/mem/missing"_path, "/mem/there.txt"_path}), 2u);
  EXPECT_EQ(CountMessages("from " + "/mem/missing"_path + "  to " + "/mem/dst"_path + ",    2 sec limit..."),
            1);
  EXPECT_EQ(CountMessages("from " + "/mem/missing"_path + "  to " + "/mem/dst"_path + ",    0 sec limit..."),
            1);
  EXPECT_EQ(Messages().back(), "/mem/missing"_path + " : No such file or directory\r\n");
  EXPECT_EQ(CountMessages("\r\nconnection failed, error = 2 \r\n"), 1);
  EXPECT_EQ(fs.FindFirstCount("/mem/there.txt"_path), 0);
  EXPECT_FALSE(fs.Exists("/mem/dst/there.txt"_path));
  EXPECT_EQ(front.startCommands, 1);
  ASSERT_EQ(front.Summaries().size(), 1u);
  EXPECT_FALSE(front.Summaries()[0].connected);
}

TEST_F(CopyThreadProcTest, AReconnectLimitOfZeroSearchesOnce) {
  g_RunState.reconnectLimit = 0;
  EXPECT_EQ(Run({"/mem/missing"_path}), 2u);
  EXPECT_EQ(Messages()[2], "from " + "/mem/missing"_path + "  to " + "/mem/dst"_path + ",    0 sec limit...");
  EXPECT_EQ(fs.FindFirstCount("/mem/missing"_path), 1);
}

TEST_F(CopyThreadProcTest, AnAbortDuringTheWaitEndsInConnectionFailedWithoutTheStartCommand) {
  g_RunState.reconnectLimit = 300;
  front.onMessage = [&](const std::string& m) {
    if (m.starts_with("from " + "/mem/missing"_path + "  to " + "/mem/dst"_path + ",  298"))
      g_RunState.runFlag = false;
  };
  EXPECT_EQ(Run({"/mem/missing"_path}), 2u);
  EXPECT_EQ(CountMessages("\r\nconnection failed, error = 2 \r\n"), 1);
  EXPECT_EQ(Messages().back(), "/mem/missing"_path + " : No such file or directory\r\n");
  EXPECT_EQ(front.startCommands, 0);
  EXPECT_TRUE(g_RunState.workerFinished);
}

TEST_F(CopyThreadProcTest, AnAbortDuringACopyIsReportedAsCanceled) {
  fs.AddPatternFile("/mem/src/big.bin"_path, 3 << 20, 2);
  int reads = 0;
  // The abort comes with the worker's second read: one file at a time.
  g_RunState.fetchFiles = 0;
  fs.SetOnRead([&](const std::string&, uint64_t, size_t) {
    if (++reads == 2) g_RunState.runFlag = false;
  });
  EXPECT_EQ(Run({"/mem/src"_path, "/mem/src"_path}), 0u);
  const auto lines = LogLines();
  char crcLine[64];
  std::snprintf(crcLine, sizeof crcLine, "canceled, crc32 = 0x%08x, errors fixed : 0",
                Crc(CMemFileSystem::PatternBytes(2, 0, 2 << 20)));
  EXPECT_EQ(lines[lines.size() - 1], crcLine);
  EXPECT_EQ(CountMessages("\r\nsuccesfully copyed\r\n"), 0);
  EXPECT_EQ(front.startCommands, 0);
  EXPECT_EQ(front.Summaries().size(), 1u);  // the second source is never started
  EXPECT_TRUE(front.Summaries()[0].canceled);
}

TEST_F(CopyThreadProcTest, ResultLinesFollowTheVerdictInTheirOrder) {
  fs.AddFile("/mem/src/ok/a.txt"_path, "a");
  fs.AddFolder("/mem/src/broken"_path);
  fs.FailListingOpen("/mem/src/broken"_path, CMemFileSystem::kForever);
  g_RunState.reconnectLimit = 0;
  EXPECT_EQ(Run({"/mem/src"_path}), 8u);
  const auto lines = LogLines();
  EXPECT_EQ(lines.back(), "errors while scanning folders, some files may be missed");
  EXPECT_EQ(CountMessages("\r\nsuccesfully copyed\r\n"), 0);
  // What was listed is still copied.
  EXPECT_TRUE(fs.IsFolder("/mem/dst/src/broken"_path));

  fs.AddFile("/mem/two/x.txt"_path, "x");
  fs.SetCapacity(fs.StoredBytes());
  front.log.SetText("");
  g_RunState.runFlag = true;
  EXPECT_EQ(Run({"/mem/two"_path}), 4u);
  EXPECT_EQ(LogLines().back(),
            "write error (not enough disk space/access denied/file opened by another program ?)");
}

TEST_F(CopyThreadProcTest, EachSourceHasItsOwnCrcAndTotals) {
  fs.AddFile("/mem/one/a.txt"_path, "first");
  fs.AddFile("/mem/two/b.txt"_path, "second");
  EXPECT_EQ(Run({"/mem/one"_path, "/mem/two"_path}), 0u);
  const auto summaries = front.Summaries();
  ASSERT_EQ(summaries.size(), 2u);
  EXPECT_EQ(summaries[0].crc32, Crc("first"));
  EXPECT_EQ(summaries[1].crc32, Crc("second"));
  EXPECT_EQ(CountMessages("total size = 6 bytes,    0 mb, files : 1, folders : 0\r\n"), 1);
  EXPECT_EQ(CountMessages("\r\nsuccesfully copyed\r\n"), 2);
}

TEST_F(CopyThreadProcTest, ShareRootsAreNotWaitedForAndCopyIntoTheShareName) {
  CShareAlias alias(fs);
  CMountGuard mount("//srv"_path, alias);
  fs.AddFile("/mem/share/f.txt"_path, "shared");
  EXPECT_EQ(Run({"//srv/share/"_path}), 0u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/share/f.txt"_path), "shared");
  EXPECT_EQ(fs.FindFirstCount("/mem/share"_path), 0);  // no existence wait
  for (const std::string& m : Messages()) EXPECT_FALSE(m.starts_with("from ")) << m;

  // An empty share is taken as a failed connection.
  fs.AddFolder("/mem/empty"_path);
  g_RunState.runFlag = true;
  EXPECT_EQ(Run({"//srv/empty"_path}), 2u);
  int failedLines = 0;
  for (const std::string& m : Messages()) failedLines += m.starts_with("\r\nconnection failed, error = ");
  EXPECT_EQ(failedLines, 1);
}

TEST_F(CopyThreadProcTest, AShareThatRefusesTheLogonEndsTheSourceAtOnceUnlessAnotherIsGiven) {
  CShareAlias alias(fs);
  CMountGuard mount("//srv"_path, alias);
  fs.AddFile("/mem/share/a.txt"_path, "shared");
  fs.FailOpens("/mem/share/a.txt"_path, 1, EACCES);
  EXPECT_EQ(Run({"//srv/share/a.txt"_path}), 2u);
  EXPECT_EQ(CountMessages("\r\n" + "//srv/share"_path + " refused the logon (user name or password ?)\r\n"),
            1);
  EXPECT_EQ(fs.OpenCount("/mem/share/a.txt"_path), 1);  // not tried again until the limit
  for (const std::string& m : Messages()) EXPECT_EQ(m.find("reconnect limit over"), std::string::npos) << m;

  // A front end that asks the user gets the share and hands a logon back;
  // the refused open is made again at once.
  fs.FailOpens("/mem/share/a.txt"_path, 1, EACCES);
  front.onAskShareLogon = [](CShareLogon& logon) {
    EXPECT_EQ(logon.share, "//srv/share"_path);
    logon.user = "bob";
    logon.password = "not logged";
    return true;
  };
  g_RunState.runFlag = true;
  EXPECT_EQ(Run({"//srv/share/a.txt"_path}), 0u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/a.txt"_path), "shared");
  EXPECT_EQ(front.logonRequests, 2);
  EXPECT_TRUE(SmbCredentialsHaveUser());
  for (const std::string& m : Messages()) EXPECT_EQ(m.find("not logged"), std::string::npos) << m;
  SetSmbCredentials(CSmbCredentials());

  // A share root whose listing is refused ends as a failed connection.
  front.onAskShareLogon = nullptr;
  fs.FailListingOpen("/mem/share"_path, 1, EACCES);
  g_RunState.runFlag = true;
  EXPECT_EQ(Run({"//srv/share"_path}), 2u);
  EXPECT_EQ(fs.FindFirstCount("/mem/share/*.*"_path), 1);
  EXPECT_EQ(CountMessages("\r\n" + "//srv/share"_path + " refused the logon (user name or password ?)\r\n"),
            2);
  EXPECT_EQ(CountMessages("\r\nconnection failed, error = " + std::to_string(EACCES) + " \r\n"), 1);
}

TEST_F(CopyThreadProcTest, ARunStoppedWhileTheUserIsAskedForALogonSaysNoRefusal) {
  CShareAlias alias(fs);
  CMountGuard mount("//srv"_path, alias);
  fs.AddFile("/mem/share/a.txt"_path, "shared");
  fs.FailOpens("/mem/share/a.txt"_path, 1, EACCES);
  front.onAskShareLogon = [](CShareLogon&) {
    g_RunState.runFlag = false;  // Abort or Exit while the question is open
    return false;
  };
  EXPECT_EQ(Run({"//srv/share/a.txt"_path}), 2u);
  EXPECT_EQ(front.logonRequests, 1);
  for (const std::string& m : Messages()) EXPECT_EQ(m.find("refused the logon"), std::string::npos) << m;
  ASSERT_EQ(front.Summaries().size(), 1u);
  EXPECT_TRUE(front.Summaries()[0].canceled);
  EXPECT_FALSE(fs.Exists("/mem/dst/a.txt"_path));
}

TEST_F(CopyThreadProcTest, TheReconnectLimitDoesNotRunWhileTheUserIsAskedForALogon) {
  CShareAlias alias(fs);
  CMountGuard mount("//srv"_path, alias);
  fs.AddFile("/mem/share/f.txt"_path, "shared");
  g_RunState.reconnectLimit = 10;
  fs.FailListingOpen("/mem/share"_path, 1, EACCES);
  front.onAskShareLogon = [this](CShareLogon& logon) {
    clock.Advance(int64_t{1000} * 1000);            // the user takes 1000 s to answer
    fs.FailListingOpen("/mem/share"_path, 1, EIO);  // and the next listing fails as on a drop
    logon.user = "bob";
    return true;
  };
  EXPECT_EQ(Run({"//srv/share"_path}), 0u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/share/f.txt"_path), "shared");
  EXPECT_EQ(fs.FindFirstCount("/mem/share/*.*"_path), 3);
  EXPECT_EQ(CountMessages("try limit : 3, errno = " + std::to_string(EIO) + ", left  10 sec"), 1);
  SetSmbCredentials(CSmbCredentials());
}

TEST_F(CopyThreadProcTest, AShareFolderWhoseListingIsRefusedForGoodLeavesTheRestCopied) {
  CShareAlias alias(fs);
  CMountGuard mount("//srv"_path, alias);
  fs.AddFile("/mem/share/a/keep.txt"_path, "kept");
  fs.AddFile("/mem/share/b/lost.txt"_path, "lost");
  fs.AddFile("/mem/share/top.txt"_path, "top");
  fs.FailListingOpen("/mem/share/b"_path, CMemFileSystem::kForever, EILSEQ);
  g_RunState.reconnectLimit = 300;
  EXPECT_EQ(Run({"//srv/share"_path}), 8u);
  EXPECT_EQ(fs.FindFirstCount("/mem/share/b/*.*"_path), 1);
  EXPECT_EQ(clock.SleepCount(), 0);
  EXPECT_EQ(CountMessages("\r\nskipped " + "//srv/share/b"_path +
                          " : it holds an unsafe name, its listing cannot be read\r\n"),
            1);
  EXPECT_EQ(fs.FileBytes("/mem/dst/share/a/keep.txt"_path), "kept");
  EXPECT_EQ(fs.FileBytes("/mem/dst/share/top.txt"_path), "top");
  EXPECT_FALSE(fs.Exists("/mem/dst/share/b/lost.txt"_path));
  EXPECT_EQ(LogLines().back(), "errors while scanning folders, some files may be missed");
}

TEST_F(CopyThreadProcTest, FoldersNestedDeeperThanTheLimitAreNamedAndTheRestIsCopied) {
  std::string folder = "/mem/src";
  std::string copy = "/mem/dst/src";
  std::string atLimit, copyAtLimit;
  for (int32_t depth = 1; depth <= kMaxFolderDepth + 2; ++depth) {
    folder += "/d";
    copy += "/d";
    if (depth == kMaxFolderDepth) {
      atLimit = folder;
      copyAtLimit = copy;
    }
  }
  fs.AddFile(NativePath(atLimit + "/last.txt"), "deep");
  fs.AddFile(NativePath(folder + "/lost.txt"), "too deep");
  EXPECT_EQ(Run({"/mem/src"_path}), 8u);
  EXPECT_EQ(fs.FileBytes(NativePath(copyAtLimit + "/last.txt")), "deep");
  EXPECT_EQ(CountMessages("\r\nskipped " + NativePath(atLimit + "/d") +
                          " : folders nested more than 1024 deep\r\n"),
            1);
  EXPECT_EQ(fs.FindFirstCount(NativePath(atLimit + "/d/*.*")), 0);
  EXPECT_FALSE(fs.Exists(NativePath(copy + "/lost.txt")));
  EXPECT_EQ(LogLines().back(), "errors while scanning folders, some files may be missed");
}

TEST_F(CopyThreadProcTest, ANameWithABackslashOnAShareIsNamedAndNeverJoinedToAPath) {
  CShareAlias alias(fs);
  CMountGuard mount("//srv"_path, alias);
  fs.AddFileNamed("/mem/share"_path, "..\\evil.txt", "outside");
  fs.AddFile("/mem/share/ok.txt"_path, "inside");
  EXPECT_EQ(Run({"//srv/share"_path}), 8u);
  EXPECT_EQ(
      CountMessages("\r\nskipped an entry of " + "//srv/share"_path + " : unsafe name \"..\\evil.txt\"\r\n"),
      1);
  EXPECT_EQ(fs.FileBytes("/mem/dst/share/ok.txt"_path), "inside");
  EXPECT_EQ(fs.OpenCount("/mem/share/"_path + "..\\evil.txt"), 0);

  // The same name in a local folder is an ordinary one where '\' does not separate; where it does
  // (Windows), it is left out as on a share.
  fs.AddFileNamed("/mem/src"_path, "a\\b.txt", "local");
  g_RunState.runFlag = true;
  if constexpr (kPathSeparator == '/') {
    EXPECT_EQ(Run({"/mem/src"_path}), 0u);
    EXPECT_EQ(fs.FileBytes("/mem/dst/src/a\\b.txt"), "local");
  } else {
    EXPECT_EQ(Run({"/mem/src"_path}), 8u);
    EXPECT_EQ(CountMessages("\r\nskipped an entry of " + "/mem/src"_path + " : unsafe name \"a\\b.txt\"\r\n"),
              1);
    EXPECT_EQ(fs.OpenCount("/mem/src/"_path + "a\\b.txt"), 0);
    EXPECT_FALSE(fs.Exists("/mem/dst/src/a"_path));
  }
}

TEST_F(CopyThreadProcTest, ALocalFileThatIsBusyIsTriedUntilTheLimitAndOneDeniedIsNamedAtOnce) {
  g_RunState.reconnectLimit = 1;
  fs.AddFile("/mem/src/a.txt"_path, "local");
  fs.FailOpens("/mem/src/a.txt"_path, CMemFileSystem::kForever, EBUSY);
  EXPECT_EQ(Run({"/mem/src/a.txt"_path}), 2u);
  EXPECT_EQ(front.logonRequests, 0);
  EXPECT_GT(fs.OpenCount("/mem/src/a.txt"_path), 2);
  EXPECT_EQ(CountMessages("/mem/src/a.txt"_path + " reconnect limit over, try again\r\n"), 1);

  fs.FailOpens("/mem/src/a.txt"_path, CMemFileSystem::kForever, EACCES);
  g_RunState.reconnectLimit = 300;
  g_RunState.runFlag = true;
  const int64_t start = TimeNow();
  EXPECT_EQ(Run({"/mem/src/a.txt"_path}), 2u);
  EXPECT_LT(TimeNow() - start, 5);
  EXPECT_EQ(front.logonRequests, 0);
  EXPECT_EQ(CountMessages("\r\n" + "/mem/src/a.txt"_path + " : access denied\r\n"), 1);
}

// ---- What a source left out, listed at its end.

TEST_F(CopyThreadProcTest, WhatASourceLeftOutIsListedAtItsEndWithItsCause) {
  fs.AddFile("/mem/src/a_ok.txt"_path, "a");
  fs.AddFile("/mem/src/b_denied.txt"_path, "b");
  fs.AddFile("/mem/src/c_ok.txt"_path, "c");
  fs.AddFile("/mem/src/locked/x.txt"_path, "x");
  fs.AddFile("/mem/src/open/y.txt"_path, "y");
  fs.FailOpens("/mem/src/b_denied.txt"_path, CMemFileSystem::kForever, EACCES);
  fs.FailListingOpen("/mem/src/locked"_path, CMemFileSystem::kForever, EACCES);
  EXPECT_EQ(Run({"/mem/src"_path}), 10u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/c_ok.txt"_path), "c");
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/open/y.txt"_path), "y");
  const auto lines = LogLines();
  auto at = std::find(lines.begin(), lines.end(), "left out : 1 file, 1 folder");
  ASSERT_NE(at, lines.end()) << front.LogText();
  EXPECT_EQ(*++at, "/mem/src/locked/"_path + " : cannot be listed, access denied");
  EXPECT_EQ(*++at, "/mem/src/b_denied.txt"_path + " : access denied");
  EXPECT_TRUE((++at)->starts_with("time taken : "));
  // A rerun cannot mend these: no "try again".
  EXPECT_EQ(CountMessages("read error, try again later\r\n"), 0);
  EXPECT_EQ(lines.back(), "errors while scanning folders, some files may be missed");
  ASSERT_EQ(front.Summaries().size(), 1u);
  ASSERT_EQ(front.Summaries()[0].leftOut.size(), 2u);
  EXPECT_TRUE(front.Summaries()[0].leftOut[0].folder);

  // More than the log names are counted.
  fs.ClearFaults();
  for (int i = 0; i < 25; ++i) {
    const std::string name = "/mem/many/f"_path + std::to_string(100 + i);
    fs.AddFile(name, "f");
    fs.FailOpens(name, CMemFileSystem::kForever, EACCES);
  }
  front.log.SetText("");
  g_RunState.runFlag = true;
  EXPECT_EQ(Run({"/mem/many"_path}), 2u);
  EXPECT_EQ(CountMessages("\r\nleft out : 25 files, 0 folders\r\n"), 1);
  EXPECT_EQ(CountMessages("and 5 more\r\n"), 1);
}

TEST_F(CopyThreadProcTest, AShareDestinationThatDropsItsConnectionIsWaitedForAndContinued) {
  CShareAlias alias(fs);
  CMountGuard mount("//srv"_path, alias);
  const std::string bytes = CMemFileSystem::PatternBytes(3, 0, 5000);
  fs.AddFile("/mem/src/big.bin"_path, bytes);
  fs.AddFolder("/mem/out"_path);
  front.SetDestination("//srv/out"_path);
  g_RunState.bufferSize = 1024;
  // The server goes away while the fourth block is on its way to it, and
  // stays away for a few attempts.
  fs.SetOnRead([&](const std::string& path, uint64_t offset, size_t) {
    if (path != "/mem/src/big.bin"_path || offset != 3072 || fs.OpenFailCount("/mem/out/big.bin"_path) > 0)
      return;
    fs.FailWrites("/mem/out/big.bin"_path, 1, ECONNRESET);
    fs.FailOpens("/mem/out/big.bin"_path, 4, ECONNRESET);
  });
  EXPECT_EQ(Run({"/mem/src/big.bin"_path}), 0u);
  fs.SetOnRead({});
  EXPECT_EQ(fs.FileBytes("/mem/out/big.bin"_path), bytes);
  EXPECT_GE(fs.OpenFailCount("/mem/out/big.bin"_path), 1);

  // A write refused for space stays a write failure.
  fs.AddFile("/mem/src/c.bin"_path, bytes);
  fs.FailWrites("/mem/out/c.bin"_path, 1, ENOSPC);
  g_RunState.runFlag = true;
  EXPECT_EQ(Run({"/mem/src/c.bin"_path}), 4u);
}

TEST_F(CopyThreadProcTest, ANameTheShareCannotHoldIsNamedAsSuchAndTheRestIsCopied) {
  CShareAlias alias(fs);
  CMountGuard mount("//srv"_path, alias);
  const std::string bad = std::string("b\xff") + "d.txt";
  fs.AddFile("/mem/src/a.txt"_path, "a");
  fs.AddFile("/mem/src/"_path + bad, "b");
  fs.AddFile("/mem/src/c.txt"_path, "c");
  fs.AddFolder("/mem/out"_path);
  front.SetDestination("//srv/out"_path);
  // The share refuses the name in its request, as it refuses a name that is
  // no UTF-8: waiting cannot mend that.
  fs.FailOpens("/mem/out/src/"_path + bad, CMemFileSystem::kForever, EILSEQ);
  g_RunState.reconnectLimit = 300;
  const int64_t start = TimeNow();
  EXPECT_EQ(Run({"/mem/src"_path}), 4u);
  EXPECT_LT(TimeNow() - start, 5);
  EXPECT_EQ(fs.FileBytes("/mem/out/src/a.txt"_path), "a");
  EXPECT_EQ(fs.FileBytes("/mem/out/src/c.txt"_path), "c");
  EXPECT_EQ(CountMessages("//srv/out/src/"_path + bad + " : a name the share cannot hold\r\n"), 1)
      << front.LogText();
  ASSERT_EQ(front.Summaries().size(), 1u);
  ASSERT_EQ(front.Summaries()[0].leftOut.size(), 1u);
  EXPECT_EQ(front.Summaries()[0].leftOut[0].cause,
            "the destination does not open: a name the share cannot hold");
}

TEST_F(CopyThreadProcTest, AnEmptyDestinationIsTheCurrentDirectory) {
  front.SetDestination("");
  g_RunState.reconnectLimit = 0;
  EXPECT_EQ(Run({"/mem/missing"_path}), 2u);
  EXPECT_EQ(
      CountMessages("from " + "/mem/missing"_path + "  to " + CurrentDirectory() + ",    0 sec limit..."), 1);
}

TEST_F(CopyThreadProcTest, AnEmptySourceListStillEndsWithTheStartCommand) {
  EXPECT_EQ(Run({}), 0u);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"buf_size = 1048576 bytes", "reconnect_limit = 300 sec"}));
  EXPECT_EQ(front.startCommands, 1);
}

TEST_F(CopyThreadProcTest, ASpecialFileSourceIsNotOpened) {
  fs.AddSpecial("/mem/fifo"_path);
  EXPECT_EQ(Run({"/mem/fifo"_path}), 2u);
  EXPECT_EQ(CountMessages("\r\n" + "/mem/fifo"_path + " : not a regular file, not copied\r\n"), 1);
  EXPECT_EQ(fs.OpenCount("/mem/fifo"_path), 0);
}

}  // namespace
