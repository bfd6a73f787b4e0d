// SPDX-License-Identifier: GPL-3.0-or-later
// Trees that real file systems make hard: paths longer than the kernel takes
// in one call, sources that change while they are copied, and destinations
// that refuse what is written to them.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <map>
#include <string>
#include <vector>

#include "engine/CopyThreadProc.h"
#include "engine/FileNode.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/TempDir.h"

namespace {

// Walks real trees by folder handles, so that no path is ever longer than
// one name. Every call is made relative to an open folder.
class CTreeAt {
public:
  // Returns "d" for a folder and the bytes of a file (with its write time)
  // for every entry below folder, keyed by the path relative to it.
  static std::map<std::string, std::string> Describe(const std::string& folder) {
    std::map<std::string, std::string> entries;
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) DescribeAt(fd, "", entries);
    return entries;
  }

  // Removes name inside the folder dir with everything below it. Returns
  // true when it is gone.
  static bool RemoveAt(int dir, const std::string& name) {
    if (unlinkat(dir, name.c_str(), 0) == 0 || errno == ENOENT) return true;
    const int fd = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    for (const std::string& child : Names(fd)) RemoveAt(fd, child);
    close(fd);
    return unlinkat(dir, name.c_str(), AT_REMOVEDIR) == 0;
  }

private:
  static std::vector<std::string> Names(int fd) {
    std::vector<std::string> names;
    DIR* dir = fdopendir(dup(fd));
    if (!dir) return names;
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    return names;
  }

  static void DescribeAt(int fd, const std::string& prefix, std::map<std::string, std::string>& entries) {
    for (const std::string& name : Names(fd)) {
      struct stat st {};
      fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
      const int child = openat(fd, name.c_str(), O_RDONLY | O_CLOEXEC);
      if (S_ISDIR(st.st_mode)) {
        entries[prefix + name] = "d";
        DescribeAt(child, prefix + name + "/", entries);
      } else {
        std::string bytes = std::to_string(st.st_mtim.tv_sec) + ":";
        char buffer[4096];
        for (ssize_t got; (got = read(child, buffer, sizeof buffer)) > 0;)
          bytes.append(buffer, static_cast<size_t>(got));
        entries[prefix + name] = bytes;
      }
      close(child);
    }
  }
};

// Serves its mount point from the in-memory file system as a file system
// that does not tell capital from small letters: each name is taken as the
// entry that exists under any case, as FAT, SMB and NTFS do.
class CCaseBlindFileSystem : public CFileSystem {
public:
  explicit CCaseBlindFileSystem(CMemFileSystem& fs) : m_fs(fs) {}
  std::unique_ptr<CStream> Open(const std::string& path, OpenMode mode) override {
    return m_fs.Open(Fold(path), mode);
  }
  std::unique_ptr<CFindHandle> FindFirst(const std::string& pattern, CFindData& data) override {
    return m_fs.FindFirst(Fold(pattern), data);
  }
  int MakeDir(const std::string& path) override { return m_fs.MakeDir(Fold(path)); }
  int SetFileTimes(const std::string& path, int64_t a, int64_t w) override {
    return m_fs.SetFileTimes(Fold(path), a, w);
  }

private:
  static bool SameBlind(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
        return false;
    return true;
  }
  // Returns path with every name replaced by the stored one it matches.
  std::string Fold(const std::string& path) const {
    std::string folded;
    size_t start = 1;
    while (start <= path.size()) {
      size_t end = path.find('/', start);
      if (end == std::string::npos) end = path.size();
      std::string name = path.substr(start, end - start);
      for (const std::string& stored : m_fs.ListNames(folded.empty() ? "/" : folded))
        if (SameBlind(stored, name)) name = stored;
      folded += "/" + name;
      start = end + 1;
    }
    return folded;
  }
  CMemFileSystem& m_fs;
};

class HardCasesTest : public CEngineTest {
protected:
  HardCasesTest() {
    fs.AddFolder("/mem/dst");
    front.SetDestination("/mem/dst");
  }

  // Runs the driver on this thread over sources, as the worker would.
  ResultFlags Run(std::vector<std::string> sources) {
    g_RunState.sources = std::move(sources);
    g_RunState.runFlag = true;
    return CopyThreadProc();
  }

  bool Logged(const std::string& text) const { return CountMessages(text) > 0; }
};

// ---- Paths longer than PATH_MAX.

TEST_F(HardCasesTest, ATreeDeeperThanPathMaxIsCopiedIdentically) {
  CTempDir temp;
  // What the shell cannot remove, handles can: the trees go before the
  // temporary folder does, whatever the test's outcome.
  struct CRemoveTrees {
    const std::string folder;
    ~CRemoveTrees() {
      const int top = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      EXPECT_TRUE(CTreeAt::RemoveAt(top, "src") && CTreeAt::RemoveAt(top, "dst"));
      close(top);
    }
  } removeTrees{temp.Path()};
  const std::string source = temp / "src";
  ASSERT_EQ(mkdir(source.c_str(), 0777), 0);
  // Folders of 200-byte names, 30 deep: more than 6000 bytes of path, which
  // no single system call takes; built and read by handles only.
  int folder = open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  std::string deepest = source;
  for (int level = 0; level < 30; ++level) {
    const std::string name(200, static_cast<char>('a' + level % 26));
    ASSERT_EQ(mkdirat(folder, name.c_str(), 0777), 0);
    if (level % 10 == 9 || level == 29) {
      const int file = openat(folder, "f.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
      const std::string bytes =
          "level " + std::to_string(level) + std::string(static_cast<size_t>(level) * 100, 'x');
      ASSERT_EQ(write(file, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
      close(file);
    }
    const int next = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(folder);
    folder = next;
    deepest += "/" + name;
  }
  ASSERT_EQ(mkdirat(folder, "empty", 0777), 0);
  close(folder);
  ASSERT_GT(deepest.size(), size_t{PATH_MAX});
  // A name too long for the file system fails as such at any depth.
  for (const std::string& name : {std::string(300, 'n'), std::string(PATH_MAX + 10, 'n')}) {
    EXPECT_FALSE(FileOpen(deepest + "/" + name, OpenMode::kAppend));
    EXPECT_EQ(errno, ENAMETOOLONG);
  }

  g_RunState.reconnectLimit = 2;
  front.SetDestination(temp.Path() + "/dst");
  ASSERT_EQ(mkdir((temp / "dst").c_str(), 0777), 0);
  EXPECT_EQ(Run({source}), 0u);
  EXPECT_TRUE(Logged("\r\nsuccesfully copyed\r\n"));
  // The log names the deepest folder by its whole path.
  EXPECT_TRUE(Logged("scanning folder " + deepest));
  const auto copied = CTreeAt::Describe(temp / "dst/src");
  EXPECT_EQ(copied.size(), 34u);
  EXPECT_EQ(copied, CTreeAt::Describe(source));

  // The copy is complete: a second run skips every file.
  EXPECT_EQ(Run({source}), 0u);
  EXPECT_EQ(CountMessages("\"f.txt\"        2908 bytes,    0 mb, 100% - allready exist\r\n"), 1);
}

// ---- Sources that change under the copy. Each file ends with what was read
// of it, never past its listed size; the run ends on its own.

TEST_F(HardCasesTest, FilesThatChangeBetweenTheScanAndTheCopyOrDuringItEndAsRead) {
  const std::string grown = CMemFileSystem::PatternBytes(1, 0, 5000);
  const std::string other = CMemFileSystem::PatternBytes(2, 0, 6000);
  for (const bool check : {false, true}) {
    SCOPED_TRACE(check ? "check after copy" : "plain");
    const std::string dst = check ? "/mem/checked" : "/mem/plain";
    fs.AddFolder(dst);
    front.SetDestination(dst);
    fs.AddFile("/mem/src/grows", grown.substr(0, 3000));
    fs.AddFile("/mem/src/shrinks", grown);
    fs.AddFile("/mem/src/replaced", other.substr(0, 5000));
    fs.AddFile("/mem/src/whilecopied", grown);
    g_RunState.checkAfterCopy = check;
    g_RunState.checkCycles = 3;
    g_RunState.bufferSize = 1024;
    // The changes are tied to the worker's own opens and reads: one file at
    // a time.
    g_RunState.fetchFiles = 0;
    // Between the scan and the first read of each file, or after its first
    // block.
    fs.SetOnOpen([&](const std::string& path, OpenMode mode) {
      if (mode != OpenMode::kRead) return;
      if (path == "/mem/src/grows") fs.AddFile(path, grown);
      if (path == "/mem/src/shrinks") fs.AddFile(path, grown.substr(0, 1500));
      if (path == "/mem/src/replaced") fs.AddFile(path, grown);
    });
    fs.SetOnRead([&](const std::string& path, uint64_t offset, size_t) {
      if (path == "/mem/src/whilecopied" && offset == 1024 && fs.FileSize(path) == 5000)
        fs.AddFile(path, other.substr(0, 2500), CMemFileSystem::kDefaultTime + 5);
    });
    // The file changed while it was copied ends with what was read of it,
    // named as changed: its copy is not what it holds now.
    EXPECT_EQ(Run({"/mem/src"}), 2u);
    EXPECT_EQ(
        CountMessages("\r\n/mem/src/whilecopied changed during the copy, its copy is kept as a partial\r\n"),
        check ? 2 : 1);
    fs.SetOnOpen(nullptr);
    fs.SetOnRead(nullptr);
    EXPECT_EQ(fs.FileBytes(dst + "/src/grows"), grown.substr(0, 3000));
    EXPECT_EQ(fs.FileBytes(dst + "/src/shrinks"), grown.substr(0, 1500));
    EXPECT_EQ(fs.FileBytes(dst + "/src/replaced"), grown);
    EXPECT_EQ(fs.FileBytes(dst + "/src/whilecopied"), grown.substr(0, 1024) + other.substr(1024, 1476));
    EXPECT_EQ(fs.OpenStreams(), 0);

    // The next run lists the files anew: the grown one is continued, the
    // shrunk ones are as long as their sources and skipped, and the copy of
    // the changed one is named as not its copy.
    EXPECT_EQ(Run({"/mem/src"}), 4u);
    EXPECT_EQ(fs.FileBytes(dst + "/src/grows"), grown);
    EXPECT_EQ(fs.FileBytes(dst + "/src/shrinks"), grown.substr(0, 1500));
    EXPECT_EQ(CountMessages("\r\n" + dst + "/src/whilecopied differs from its source, left alone\r\n"), 1);
  }
}

TEST_F(HardCasesTest, AFolderRemovedOrAFileTurnedFolderAfterTheScanFailsAsUnreachable) {
  CTempDir temp;
  ASSERT_EQ(mkdir((temp / "src").c_str(), 0777), 0);
  ASSERT_EQ(mkdir((temp / "src/gone").c_str(), 0777), 0);
  ASSERT_EQ(mkdir((temp / "dst").c_str(), 0777), 0);
  for (const char* name : {"src/gone/a.txt", "src/b.txt"}) {
    const int fd = open((temp / name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_EQ(write(fd, "bytes", 5), 5);
    close(fd);
  }
  g_RunState.reconnectLimit = 3;
  AllocateBuffer(4096);
  CFileNode root;
  ASSERT_TRUE(::FindFirst(temp / "src", root.m_data));
  ASSERT_EQ(root.ScanFolder(temp / "src"), 0u);

  ASSERT_EQ(unlink((temp / "src/gone/a.txt").c_str()), 0);
  ASSERT_EQ(rmdir((temp / "src/gone").c_str()), 0);
  // The source itself still answers, so what failed is that entry alone.
  const std::string source = temp / "src";
  g_RunState.currentSourcePath = &source;
  EXPECT_EQ(root.CopyFolder(temp / "src", temp / "dst"), 2u);
  EXPECT_TRUE(Logged(temp / "src/gone/a.txt reconnect limit over, try again\r\n"));
  EXPECT_FALSE(CTreeAt::Describe(temp / "dst/src").contains("gone/a.txt"));

  // The walk went on past the file that failed.
  EXPECT_TRUE(CTreeAt::Describe(temp / "dst/src").contains("b.txt"));

  // A file replaced by a folder of its name is never opened as the file.
  ASSERT_EQ(unlink((temp / "dst/src/b.txt").c_str()), 0);
  ASSERT_EQ(unlink((temp / "src/b.txt").c_str()), 0);
  ASSERT_EQ(mkdir((temp / "src/b.txt").c_str(), 0777), 0);
  root.m_children.erase(root.m_children.begin());
  EXPECT_EQ(root.CopyFolder(temp / "src", temp / "dst"), 2u);
  EXPECT_TRUE(Logged(temp / "src/b.txt reconnect limit over, try again\r\n"));
  EXPECT_FALSE(CTreeAt::Describe(temp / "dst/src").contains("b.txt"));
}

// ---- Destinations that refuse. Each refusal names the path and the cause
// and fails the source; nothing is ever reported as copied that was not.

TEST_F(HardCasesTest, ARefusedFolderOrFileIsNamedWithItsCauseAndFailsTheSource) {
  fs.AddFile("/mem/s1/sub/a.txt", "a");
  fs.AddFile("/mem/s2/b.txt", "b");
  fs.AddFolder("/mem/s3/x.txt");
  fs.AddFile("/mem/s4/" + std::string(300, 'n'), "long name");
  // A read-only destination folder, and a file standing where a folder goes.
  fs.AddFolder("/mem/dst/s1");
  fs.FailMakeDir("/mem/dst/s1/sub", CMemFileSystem::kForever, EROFS);
  fs.AddFile("/mem/dst/s2", "a file in the way");
  // A file standing where a folder is to be copied, and the reverse.
  fs.AddFile("/mem/dst/s3/x.txt", "in the way");
  EXPECT_EQ(Run({"/mem/s1", "/mem/s2", "/mem/s3"}), 4u);
  EXPECT_TRUE(Logged("\r\ncannot create folder /mem/dst/s1/sub : Read-only file system\r\n"));
  EXPECT_TRUE(Logged("\r\ncannot create folder /mem/dst/s2 : File exists\r\n"));
  EXPECT_TRUE(Logged("\r\ncannot create folder /mem/dst/s3/x.txt : File exists\r\n"));
  fs.AddFile("/mem/t/y", "a file");
  fs.AddFolder("/mem/dst/y");
  fs.FailOpens("/mem/dst/t/y", CMemFileSystem::kForever, EACCES);
  EXPECT_EQ(Run({"/mem/t/y", "/mem/t"}), 4u);
  EXPECT_TRUE(Logged("/mem/dst/y : Is a directory\r\n"));
  EXPECT_TRUE(Logged("\r\neror opening destination /mem/dst/t/y\r\n"));
  EXPECT_TRUE(Logged("/mem/dst/t/y : Permission denied\r\n"));

  // A name too long for a real file system.
  CTempDir temp;
  front.SetDestination(temp.Path());
  EXPECT_EQ(Run({"/mem/s4"}), 4u);
  EXPECT_TRUE(Logged(temp / "s4/" + std::string(300, 'n') + " : File name too long\r\n"));
  EXPECT_EQ(CountMessages("\r\nsuccesfully copyed\r\n"), 0);
  ASSERT_EQ(front.Summaries().size(), 6u);
  for (const CSourceSummary& summary : front.Summaries()) EXPECT_EQ(summary.result, 4u) << summary.path;
}

TEST_F(HardCasesTest, TwoNamesACaseBlindDestinationCannotHoldApartNeverPassForCopies) {
  CCaseBlindFileSystem blind(fs);
  CMountGuard mount("/mem/dst", blind);
  // Capitals sort first: "A" and "B" are copied, then "a" finds "A", longer
  // than itself, and "b" finds "B", shorter.
  fs.AddFile("/mem/s1/A", "capital A, longer");
  fs.AddFile("/mem/s1/a", "small a");
  fs.AddFile("/mem/s2/B", "B");
  fs.AddFile("/mem/s2/b", "small b, longer");
  fs.AddFile("/mem/s3/D/x", "in D");
  fs.AddFile("/mem/s3/d/x", "in d");
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(Run({"/mem/s1", "/mem/s2", "/mem/s3"}), 4u);
    EXPECT_EQ(CountMessages("\r\nsuccesfully copyed\r\n"), 0);
    EXPECT_EQ(fs.ListNames("/mem/dst/s1"), (std::vector<std::string>{"A"}));
    EXPECT_EQ(fs.FileBytes("/mem/dst/s1/A"), "capital A, longer");
    EXPECT_EQ(fs.FileBytes("/mem/dst/s2/B"), "B");
    EXPECT_EQ(fs.FileBytes("/mem/dst/s3/D/x"), "in D");
  }
  EXPECT_EQ(
      CountMessages("\r\n/mem/dst/s1/a is already the copy of another file of this run, left alone\r\n"), 2);
  EXPECT_EQ(
      CountMessages("\r\n/mem/dst/s2/b is already the copy of another file of this run, left alone\r\n"), 2);
  EXPECT_EQ(
      CountMessages("\r\n/mem/dst/s3/d/x is already the copy of another file of this run, left alone\r\n"),
      2);
}

}  // namespace
