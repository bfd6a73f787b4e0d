#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineFixture.h"
#include "FileNode.h"

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
    ASSERT_EQ(root.ScanFolder(path, &g_RunState.totalBytes, &g_RunState.fileCount, &g_RunState.folderCount), 0u);
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

TEST_F(CopyFolderTest, AFailingFileEndsTheWalkOfTheWholeTree) {
  fs.AddFile("/mem/src/sub/a.txt"_path, "a");
  fs.AddFile("/mem/src/sub/b.txt"_path, "b");
  fs.AddFile("/mem/src/top.txt"_path, "t");
  Scan("/mem/src"_path);
  fs.FailWrites("/mem/dst/src/sub/a.txt"_path, 1, ENOSPC);
  EXPECT_EQ(root.CopyFolder("/mem/src"_path, "/mem/dst"_path), 4u);
  EXPECT_FALSE(fs.Exists("/mem/dst/src/sub/b.txt"_path));
  EXPECT_FALSE(fs.Exists("/mem/dst/src/top.txt"_path));
  EXPECT_EQ(fs.OpenCount("/mem/src/sub/b.txt"_path), 0);
}

TEST_F(CopyFolderTest, AFolderThatCannotBeCreatedIsNamedWithItsCauseAndEndsTheWalk) {
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
  EXPECT_EQ(Messages().back(),
            "\r\ncannot create folder " + "/mem/out/src/b"_path + " : No space left on device\r\n");
  EXPECT_FALSE(fs.Exists("/mem/out/src/z.txt"_path));

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
