// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cerrno>

#include <string>
#include <vector>

#include "engine/FileNode.h"
#include "tests/support/EngineFixture.h"

namespace {

class ScanFolderTest : public CEngineTest {
protected:
  std::vector<std::string> ChildNames(const CFileNode& node) {
    std::vector<std::string> names;
    for (const auto& child : node.m_children) names.push_back(child->m_data.name);
    return names;
  }

  // Adds count files named f000, f001 ... to folder.
  void AddFiles(const std::string& folder, int count) {
    for (int i = 0; i < count; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "f%03d", i);
      fs.AddFile(folder + kPathSeparator + name, "x");
    }
  }
};

TEST_F(ScanFolderTest, ListsSortsAndTotalsATree) {
  fs.AddFile("/mem/src/x.txt"_path, "12345");
  fs.AddFolder("/mem/src/b"_path);
  fs.AddFile("/mem/src/Y.TXT"_path, "1");
  fs.AddFolder("/mem/src/a.z"_path);
  fs.AddFile("/mem/src/readme"_path, "12");
  fs.AddFile("/mem/src/a.bat"_path, "123");
  fs.AddFile("/mem/src/b/inner.dat"_path, std::string(1000, 'i'));
  fs.AddFolder("/mem/src/a.z/empty"_path);

  CFileNode root;
  uint64_t total = 0;
  int32_t files = 0, folders = 0;
  EXPECT_EQ(root.ScanFolder("/mem/src"_path, &total, &files, &folders), 0u);
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"b", "a.z", "readme", "Y.TXT", "a.bat", "x.txt"}));
  EXPECT_EQ(total, 1011u);
  EXPECT_EQ(files, 5);
  EXPECT_EQ(folders, 3);  // b, a.z and a.z/empty; the source folder itself is not counted
  EXPECT_EQ(CountMessages("scanning folder " + "/mem/src"_path), 1);
  EXPECT_EQ(CountMessages("scanning folder " + "/mem/src/a.z/empty"_path), 1);
  // Each scanning line replaces the one before it; b is scanned before a.z.
  EXPECT_EQ(front.LogText(), "scanning folder " + "/mem/src/a.z/empty"_path);
}

TEST_F(ScanFolderTest, DotNamesAreListedButTheFolderAndItsParentAreNot) {
  fs.AddFolder("/mem/src"_path);
  CFileNode empty;
  EXPECT_EQ(empty.ScanFolder("/mem/src"_path), 0u);
  EXPECT_EQ(empty.ChildCount(), 0);

  fs.AddFile("/mem/src/.profile"_path, "p");
  fs.AddFile("/mem/src/.git/HEAD"_path, "ref");
  CFileNode root;
  int32_t files = 0, folders = 0;
  EXPECT_EQ(root.ScanFolder("/mem/src"_path, nullptr, &files, &folders), 0u);
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{".git", ".profile"}));
  EXPECT_EQ(files, 2);
  EXPECT_EQ(folders, 1);

  // Without dot entries, the first entry of a listing is a child like any other.
  fs.SetDotEntries(false);
  CFileNode again;
  EXPECT_EQ(again.ScanFolder("/mem/src"_path), 0u);
  EXPECT_EQ(again.ChildCount(), 2);
}

TEST_F(ScanFolderTest, AFolderOfMoreThan1024EntriesIsListedWhole) {
  AddFiles("/mem/big"_path, 3000);
  CFileNode root;
  int32_t files = 0;
  EXPECT_EQ(root.ScanFolder("/mem/big"_path, nullptr, &files, nullptr), 0u);
  EXPECT_EQ(root.ChildCount(), 3000);
  EXPECT_EQ(files, 3000);
}

TEST_F(ScanFolderTest, AListingThatBreaksOffSpendsATryOnlyWhenItGotFurther) {
  AddFiles("/mem/src"_path, 40);
  fs.BreakListing("/mem/src"_path, {10, 20, 30});
  g_RunState.reconnectLimit = 300;
  CFileNode root;
  int32_t files = 0;
  EXPECT_EQ(root.ScanFolder("/mem/src"_path, nullptr, &files, nullptr), 8u);
  EXPECT_EQ(root.ChildCount(), 30);
  // An incomplete folder's files are kept for the copy, and counted.
  EXPECT_EQ(files, 30);
  EXPECT_EQ(fs.FindFirstCount("/mem/src/*.*"_path), 3);
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 5u);
  EXPECT_EQ(messages[1], "try limit : 2, errno = 5, left  300 sec");
  EXPECT_EQ(messages[2], "try limit : 1, errno = 5, left  300 sec");
  EXPECT_EQ(messages[3], "try limit : 0, errno = 5, left  299 sec");
  EXPECT_EQ(messages[4], "\r\ncannot list folder " + "/mem/src"_path + " : Input/output error\r\n");
  ASSERT_EQ(g_RunState.leftOut.size(), 1u);
  EXPECT_EQ(g_RunState.leftOut[0].cause, "listing incomplete, Input/output error");
  EXPECT_EQ(clock.SleptMs(), 1500u);
}

TEST_F(ScanFolderTest, ARetryThatListsLessCostsNoTryAndTheLastAttemptIsKept) {
  AddFiles("/mem/src"_path, 40);
  fs.BreakListing("/mem/src"_path, {10, 5});
  CFileNode root;
  EXPECT_EQ(root.ScanFolder("/mem/src"_path), 0u);  // the third listing is complete
  EXPECT_EQ(root.ChildCount(), 40);
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[1], "try limit : 2, errno = 5, left  300 sec");
  EXPECT_EQ(messages[2], "try limit : 2, errno = 5, left  300 sec");
}

TEST_F(ScanFolderTest, AFolderThatCannotBeListedIsRetriedUntilTheReconnectLimit) {
  fs.AddFolder("/mem/src"_path);
  fs.FailListingOpen("/mem/src"_path, CMemFileSystem::kForever, EHOSTUNREACH);
  g_RunState.reconnectLimit = 10;
  CFileNode root;
  EXPECT_EQ(root.ScanFolder("/mem/src"_path), 8u);
  // One attempt every 500 ms: seconds 0 to 10 hold 21 attempts.
  EXPECT_EQ(fs.FindFirstCount("/mem/src/*.*"_path), 21);
  const auto messages = Messages();
  EXPECT_EQ(messages[1], "try limit : 3, errno = " + std::to_string(EHOSTUNREACH) + ", left  10 sec");
  EXPECT_EQ(messages.back(), "try limit : 3, errno = " + std::to_string(EHOSTUNREACH) + ", left  0 sec");
}

TEST_F(ScanFolderTest, AListingRefusedForGoodIsNamedOnceAndNeverRetried) {
  // A server that sent a separator in a name: the backend refuses the whole
  // listing and says it will never give it.
  fs.AddFile("/mem/src/bad/fine.txt"_path, "f");
  fs.AddFile("/mem/src/good.txt"_path, "g");
  fs.FailListingOpen("/mem/src/bad"_path, CMemFileSystem::kForever, EILSEQ);
  g_RunState.reconnectLimit = 300;
  CFileNode root;
  int32_t folders = 0;
  EXPECT_EQ(root.ScanFolder("/mem/src"_path, nullptr, nullptr, &folders), 8u);
  EXPECT_EQ(fs.FindFirstCount("/mem/src/bad/*.*"_path), 1);
  EXPECT_EQ(clock.SleepCount(), 0);
  EXPECT_EQ(folders, 1);
  EXPECT_EQ(CountMessages("\r\nskipped " + "/mem/src/bad"_path +
                          " : it holds an unsafe name, its listing cannot be read\r\n"),
            1);
  for (const std::string& m : Messages()) EXPECT_FALSE(m.starts_with("try limit")) << m;
}

TEST_F(ScanFolderTest, AReconnectLimitOfZeroMakesOneAttempt) {
  fs.AddFolder("/mem/src"_path);
  fs.FailListingOpen("/mem/src"_path, 1);
  g_RunState.reconnectLimit = 0;
  CFileNode root;
  EXPECT_EQ(root.ScanFolder("/mem/src"_path), 8u);
  EXPECT_EQ(fs.FindFirstCount("/mem/src/*.*"_path), 1);
}

TEST_F(ScanFolderTest, AFolderThatCannotBeListedIsNamedAndItsSiblingsAreScanned) {
  fs.AddFolder("/mem/src/a"_path);
  fs.AddFolder("/mem/src/b"_path);
  fs.AddFile("/mem/src/b/keep.txt"_path, "k");
  fs.AddFolder("/mem/src/b/deeper"_path);
  fs.AddFile("/mem/src/c/in_c.txt"_path, "123");
  fs.AddFile("/mem/src/top.txt"_path, "12345");
  fs.FailListingOpen("/mem/src/b"_path, CMemFileSystem::kForever, EACCES);
  g_RunState.reconnectLimit = 300;

  CFileNode root;
  uint64_t total = 0;
  int32_t files = 0, folders = 0;
  EXPECT_EQ(root.ScanFolder("/mem/src"_path, &total, &files, &folders), 8u);
  EXPECT_EQ(folders, 3);
  EXPECT_EQ(files, 2);
  EXPECT_EQ(total, 8u);
  EXPECT_EQ(fs.FindFirstCount("/mem/src/c/*.*"_path), 1);
  // Access denied heals by no waiting: one attempt, no pause.
  EXPECT_EQ(fs.FindFirstCount("/mem/src/b/*.*"_path), 1);
  EXPECT_EQ(clock.SleepCount(), 0);
  EXPECT_EQ(CountMessages("\r\ncannot list folder " + "/mem/src/b"_path + " : access denied\r\n"), 1);
  ASSERT_EQ(g_RunState.leftOut.size(), 1u);
  EXPECT_EQ(g_RunState.leftOut[0].path, "/mem/src/b"_path);
  EXPECT_EQ(g_RunState.leftOut[0].cause, "cannot be listed, access denied");
  EXPECT_TRUE(g_RunState.leftOut[0].folder);

  // A server that stops answering ends the scan there.
  fs.ClearFaults();
  g_RunState.leftOut.clear();
  fs.FailListingOpen("/mem/src/b"_path, CMemFileSystem::kForever, ECONNRESET);
  g_RunState.reconnectLimit = 0;
  CFileNode again;
  EXPECT_EQ(again.ScanFolder("/mem/src"_path), 8u);
  EXPECT_TRUE(g_RunState.sourceLost);
  EXPECT_TRUE(g_RunState.leftOut.empty());
  EXPECT_EQ(fs.FindFirstCount("/mem/src/c/*.*"_path), 1);  // from the first scan only
}

TEST_F(ScanFolderTest, AClearedRunFlagEndsTheScanIncompleteWithoutWaiting) {
  AddFiles("/mem/src"_path, 10);
  g_RunState.runFlag = false;
  CFileNode root;
  EXPECT_EQ(root.ScanFolder("/mem/src"_path), 8u);
  EXPECT_EQ(root.ChildCount(), 0);
  EXPECT_EQ(clock.SleepCount(), 0);
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(ScanFolderTest, SpecialFilesAndLinkLoopsAreLeftOutAndNamed) {
  fs.AddFile("/mem/src/a.txt"_path, "a");
  fs.AddSpecial("/mem/src/fifo"_path);
  CFileNode root;
  int32_t files = 0;
  EXPECT_EQ(root.ScanFolder("/mem/src"_path, nullptr, &files, nullptr), 0u);
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(files, 1);
  EXPECT_EQ(CountMessages("\r\nskipped " + "/mem/src/fifo"_path + " : not a regular file\r\n"), 1);
}

TEST_F(ScanFolderTest, AFolderThatIsItsOwnAncestorIsNotWalkedAgain) {
  // A listing that reports a subfolder with the identity of the folder
  // being scanned: what a symbolic link back up the tree looks like.
  class CLoopingFs : public CMemFileSystem {
  public:
    using CMemFileSystem::CMemFileSystem;
    std::unique_ptr<CFindHandle> FindFirst(const std::string& pattern, CFindData& data) override {
      auto search = CMemFileSystem::FindFirst(pattern, data);
      if (search) Rewrite(data);
      return search ? std::make_unique<CRewriting>(std::move(search), *this) : nullptr;
    }
    void Rewrite(CFindData& data) {
      if (data.name == "loop") {
        data.dev = loopDev;
        data.ino = loopIno;
      }
    }
    uint64_t loopDev = 0, loopIno = 0;

  private:
    class CRewriting : public CFindHandle {
    public:
      CRewriting(std::unique_ptr<CFindHandle> inner, CLoopingFs& fs) : m_inner(std::move(inner)), m_fs(fs) {}
      bool FindNext(CFindData& data) override {
        if (!m_inner->FindNext(data)) return false;
        m_fs.Rewrite(data);
        return true;
      }

    private:
      std::unique_ptr<CFindHandle> m_inner;
      CLoopingFs& m_fs;
    };
  };
  CLoopingFs loops("/loop"_path);
  CMountGuard mount(loops);
  loops.AddFolder("/loop/src/sub/loop"_path);
  loops.AddFile("/loop/src/sub/file"_path, "f");

  CFileNode root;
  auto search = ::FindFirst("/loop/src"_path, root.m_data);
  ASSERT_TRUE(search);
  loops.loopDev = root.m_data.dev;
  loops.loopIno = root.m_data.ino;
  int32_t folders = 0;
  EXPECT_EQ(root.ScanFolder("/loop/src"_path, nullptr, nullptr, &folders), 0u);
  EXPECT_EQ(folders, 1);
  EXPECT_EQ(root.m_children[0]->ChildCount(), 1);
  EXPECT_EQ(
      CountMessages("\r\nskipped " + "/loop/src/sub/loop"_path + " : link to a folder that contains it\r\n"),
      1);
}

TEST_F(ScanFolderTest, NamesThatWouldLeaveTheFolderAreNeverStored) {
  class CHostileFs : public CMemFileSystem {
  public:
    using CMemFileSystem::CMemFileSystem;
    std::unique_ptr<CFindHandle> FindFirst(const std::string& pattern, CFindData& data) override {
      auto search = CMemFileSystem::FindFirst(pattern, data);
      if (search && data.name == ".") data.name = "../../etc";
      return search;
    }
  };
  CHostileFs hostile("/evil"_path);
  CMountGuard mount(hostile);
  hostile.AddFile("/evil/share/ok.txt"_path, "ok");
  CFileNode root;
  EXPECT_EQ(root.ScanFolder("/evil/share"_path), 8u);
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"ok.txt"}));
  EXPECT_EQ(
      CountMessages("\r\nskipped an entry of " + "/evil/share"_path + " : unsafe name \"../../etc\"\r\n"), 1);
}

TEST_F(ScanFolderTest, FreeChildrenReleasesTheTreeAndARescanStartsAfresh) {
  fs.AddFile("/mem/src/a/b/c.txt"_path, "c");
  CFileNode root;
  EXPECT_EQ(root.ScanFolder("/mem/src"_path), 0u);
  ASSERT_EQ(root.ChildCount(), 1);
  root.FreeChildren();
  EXPECT_EQ(root.ChildCount(), 0);
  EXPECT_EQ(root.ScanFolder("/mem/src"_path), 0u);
  EXPECT_EQ(root.ChildCount(), 1);
  EXPECT_EQ(root.m_children[0]->m_children[0]->ChildCount(), 1);
}

}  // namespace
