// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cerrno>

#include <string>
#include <vector>

#include "engine/FileNode.h"
#include "tests/support/EngineFixture.h"

namespace {

class CopyFolderTest : public CEngineTest {
protected:
  CopyFolderTest() {
    fs.AddFolder("/mem/dst"_path);
    AllocateBuffer(1024);
  }

  // Scans the folder at path into root, as the run driver does.
  void Scan(const std::string& path) {
    auto search = ::FindFirst(path, root.m_data);
    ASSERT_TRUE(search);
    ASSERT_EQ(root.ScanFolder(path, &g_RunState.totalBytes, &g_RunState.fileCount, &g_RunState.folderCount),
              0u);
  }

  CFileNode root;
};

TEST_F(CopyFolderTest, RecreatesTheTreeAndNumbersFilesInWalkOrder) {
  fs.AddFile("/mem/src/z.txt"_path, "zz");
  fs.AddFile("/mem/src/sub/inner.txt"_path, "inner");
  fs.AddFolder("/mem/src/sub/empty"_path);
  fs.AddFile("/mem/src/a.txt"_path, "a");
  fs.AddFile("/mem/src/.hidden"_path, "h");
  Scan("/mem/src"_path);

  std::vector<std::pair<std::string, int32_t>> numbers;
  front.onMessage = [&](const std::string& m) {
    if (m.starts_with("trying")) numbers.emplace_back(m, g_RunState.currentFileNumber);
  };
  EXPECT_EQ(root.CopyFolder("/mem/src"_path, "/mem/dst"_path), 0u);

  EXPECT_EQ(fs.FileBytes("/mem/dst/src/z.txt"_path), "zz");
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/a.txt"_path), "a");
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/.hidden"_path), "h");
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/sub/inner.txt"_path), "inner");
  EXPECT_TRUE(fs.IsFolder("/mem/dst/src/sub/empty"_path));

  // Folders first (sub, and in it empty before inner.txt), then .hidden, a.txt, z.txt.
  EXPECT_EQ(numbers, (std::vector<std::pair<std::string, int32_t>>{
                         {"trying to connect to " + "/mem/src/sub/inner.txt"_path + ",  300 sec left...", 1},
                         {"trying to connect to " + "/mem/src/.hidden"_path + ",  300 sec left...", 2},
                         {"trying to connect to " + "/mem/src/a.txt"_path + ",  300 sec left...", 3},
                         {"trying to connect to " + "/mem/src/z.txt"_path + ",  300 sec left...", 4},
                     }));
  EXPECT_EQ(CountMessages("sub/"_path + "\r\n"), 1);
  EXPECT_EQ(CountMessages("empty/"_path + "\r\n"), 1);
  EXPECT_EQ(CountMessages("src/"_path + "\r\n"), 0);  // the root gets no line of its own
  EXPECT_EQ(g_RunState.currentFileNumber, 4);
}

TEST_F(CopyFolderTest, AnExistingFolderIsFilledAndSkippedFilesAreStillNumbered) {
  fs.AddFile("/mem/src/a.txt"_path, "aaa");
  fs.AddFile("/mem/src/b.txt"_path, "bbb");
  fs.AddFile("/mem/dst/src/a.txt"_path, "aaa");
  Scan("/mem/src"_path);
  EXPECT_EQ(root.CopyFolder("/mem/src"_path, "/mem/dst"_path), 0u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/b.txt"_path), "bbb");
  EXPECT_EQ(CountMessages("\"a.txt\"           3 bytes,    0 mb, 100% - allready exist\r\n"), 1);
  EXPECT_EQ(g_RunState.currentFileNumber, 2);
}

// ---- One entry that fails on its own is named and passed; only a source
// that stops answering ends the walk.

TEST_F(CopyFolderTest, FilesThatFailOnTheirOwnAreNamedAndPassedAtOnce) {
  fs.AddFile("/mem/src/perm/a_ok.txt"_path, "a");
  fs.AddFile("/mem/src/perm/b_denied.txt"_path, "b");
  fs.AddFile("/mem/src/perm/c_gone.txt"_path, "c");
  fs.AddFile("/mem/src/perm/d_full.txt"_path, "d");
  fs.AddFile("/mem/src/perm/e_ok.txt"_path, "e");
  Scan("/mem/src"_path);
  fs.FailOpens("/mem/src/perm/b_denied.txt"_path, CMemFileSystem::kForever, EACCES);
  fs.FailOpens("/mem/src/perm/c_gone.txt"_path, CMemFileSystem::kForever, ENOENT);
  fs.FailWrites("/mem/dst/src/perm/d_full.txt"_path, 1, ENOSPC);
  const int64_t start = TimeNow();
  EXPECT_EQ(root.CopyFolder("/mem/src"_path, "/mem/dst"_path), 6u);
  EXPECT_LT(TimeNow() - start, 5);  // nothing waited for the reconnect limit
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/perm/a_ok.txt"_path), "a");
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/perm/e_ok.txt"_path), "e");
  EXPECT_EQ(CountMessages("\r\n" + "/mem/src/perm/b_denied.txt"_path + " : access denied\r\n"), 1);
  EXPECT_EQ(CountMessages("\r\n" + "/mem/src/perm/c_gone.txt"_path + " : not found\r\n"), 1);
  ASSERT_EQ(g_RunState.leftOut.size(), 3u);
  EXPECT_EQ(g_RunState.leftOut[0].path, "/mem/src/perm/b_denied.txt"_path);
  EXPECT_EQ(g_RunState.leftOut[0].cause, "access denied");
  EXPECT_EQ(g_RunState.leftOut[1].cause, "not found");
  EXPECT_EQ(g_RunState.leftOut[2].path, "/mem/src/perm/d_full.txt"_path);
  EXPECT_EQ(g_RunState.leftOut[2].cause, "write error: No space left on device");
  EXPECT_FALSE(g_RunState.sourceLost);
}

TEST_F(CopyFolderTest, AFileThatCannotBeReadPastOnePlaceIsPassedAtTheReconnectLimit) {
  fs.AddFile("/mem/src/a_bad.bin"_path, std::string(5000, 'a'));
  fs.AddFile("/mem/src/b_ok.txt"_path, "b");
  Scan("/mem/src"_path);
  fs.FailReadAt("/mem/src/a_bad.bin"_path, 3000, CMemFileSystem::kForever);
  g_RunState.reconnectLimit = 3;
  EXPECT_EQ(root.CopyFolder("/mem/src"_path, "/mem/dst"_path), 2u);
  EXPECT_EQ(fs.FileSize("/mem/dst/src/a_bad.bin"_path), 2048u);  // the blocks before the bad one
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/b_ok.txt"_path), "b");
  ASSERT_EQ(g_RunState.leftOut.size(), 1u);
  EXPECT_EQ(g_RunState.leftOut[0].cause, "reads keep failing at one place, reconnect limit over");
}

TEST_F(CopyFolderTest, ASourceThatStopsAnsweringEndsTheWalk) {
  fs.AddFile("/mem/src/sub/a.txt"_path, "a");
  fs.AddFile("/mem/src/sub/b.txt"_path, "b");
  fs.AddFile("/mem/src/top.txt"_path, "t");
  Scan("/mem/src"_path);
  fs.FailOpens("/mem/src/sub/a.txt"_path, CMemFileSystem::kForever, ECONNRESET);
  g_RunState.reconnectLimit = 3;
  EXPECT_EQ(root.CopyFolder("/mem/src"_path, "/mem/dst"_path), 2u);
  EXPECT_EQ(Messages().back(), "/mem/src/sub/a.txt"_path + " reconnect limit over, try again\r\n");
  EXPECT_TRUE(g_RunState.sourceLost);
  EXPECT_TRUE(g_RunState.leftOut.empty());
  EXPECT_EQ(fs.OpenCount("/mem/src/sub/b.txt"_path), 0);
  EXPECT_EQ(fs.OpenCount("/mem/src/top.txt"_path), 0);
}

TEST_F(CopyFolderTest, AFolderThatCannotBeCreatedIsNamedWithItsCauseAndPassed) {
  fs.AddFile("/mem/src/a.txt"_path, "a");
  Scan("/mem/src"_path);
  fs.AddFile("/mem/dst/src"_path, "a file in the way");
  EXPECT_EQ(root.CopyFolder("/mem/src"_path, "/mem/dst"_path), 4u);
  EXPECT_EQ(Messages().back(), "\r\ncannot create folder " + "/mem/dst/src"_path + " : File exists\r\n");
  EXPECT_EQ(fs.OpenCount("/mem/src/a.txt"_path), 0);

  // An empty folder that cannot be made fails just the same, though no file
  // of it would ever have failed to open.
  fs.AddFolder("/mem/src/b/c"_path);
  fs.AddFile("/mem/src/z.txt"_path, "z");
  Scan("/mem/src"_path);
  fs.FailMakeDir("/mem/out/src/b"_path, 1, ENOSPC);
  fs.AddFolder("/mem/out"_path);
  EXPECT_EQ(root.CopyFolder("/mem/src"_path, "/mem/out"_path), 4u);
  EXPECT_EQ(
      CountMessages("\r\ncannot create folder " + "/mem/out/src/b"_path + " : No space left on device\r\n"),
      1);
  EXPECT_EQ(fs.FileBytes("/mem/out/src/z.txt"_path), "z");
  ASSERT_FALSE(g_RunState.leftOut.empty());
  EXPECT_EQ(g_RunState.leftOut.back().path, "/mem/src/b"_path);
  EXPECT_TRUE(g_RunState.leftOut.back().folder);

  // A folder that exists already is simply filled.
  EXPECT_EQ(root.CopyFolder("/mem/src"_path, "/mem/out"_path), 0u);
  EXPECT_EQ(fs.FileBytes("/mem/out/src/z.txt"_path), "z");
}

TEST_F(CopyFolderTest, CopyByPartsIsReadForEachFile) {
  fs.AddFile("/mem/src/a.txt"_path, std::string(3000, 'a'));
  fs.AddFile("/mem/src/b.txt"_path, std::string(3000, 'b'));
  Scan("/mem/src"_path);
  front.header = 10;
  front.partSize = 100;
  front.partNumber = 2;
  front.onMessage = [&](const std::string& m) {
    if (m == "\r\n") front.copyByParts = true;  // switched on after the first file
  };
  EXPECT_EQ(root.CopyFolder("/mem/src"_path, "/mem/dst"_path), 0u);
  EXPECT_EQ(fs.FileSize("/mem/dst/src/a.txt"_path), 3000u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/b.txt"_path), std::string(110, 'b'));
  EXPECT_EQ(CountMessages("part 2, size 100\r\n"), 1);
}

}  // namespace
