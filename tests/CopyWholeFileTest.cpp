// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Crc32.h"
#include "engine/FileNode.h"
#include "tests/support/EngineFixture.h"

namespace {

constexpr uint32_t kMiB = 1048576;

class CopyWholeFileTest : public CEngineTest {
protected:
  CopyWholeFileTest() {
    fs.AddFolder("/mem/dst"_path);
    AllocateBuffer(kMiB);
  }

  // A node as the scan would list the file at path.
  std::unique_ptr<CFileNode> NodeOf(const std::string& path) {
    auto node = std::make_unique<CFileNode>();
    auto search = ::FindFirst(path, node->m_data);
    EXPECT_TRUE(search) << path;
    return node;
  }

  // Copies the file as a run of its own would.
  ResultFlags Copy(CFileNode& node, const std::string& path) {
    g_RunState.destinationClaims.Clear();
    return node.CopyWholeFile(path, "/mem/dst"_path);
  }

  // Messages that are progress lines of file name.
  std::vector<std::string> ProgressLines(const std::string& name) {
    std::vector<std::string> lines;
    for (const std::string& m : Messages())
      if (m.starts_with("\"" + name + "\"")) lines.push_back(m);
    return lines;
  }

  static uint32_t Crc(const std::string& bytes) { return ~CrcUpdate(0xFFFFFFFF, bytes.data(), bytes.size()); }
};

TEST_F(CopyWholeFileTest, ThreeMebibytesInOneMebibyteBlocksShowSixProgressPoints) {
  fs.AddPatternFile("/mem/src/big.bin"_path, 3 * kMiB, 7, 1234567);
  auto node = NodeOf("/mem/src/big.bin"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/big.bin"_path), 0u);

  EXPECT_EQ(fs.FileBytes("/mem/dst/big.bin"_path), CMemFileSystem::PatternBytes(7, 0, 3 * kMiB));
  EXPECT_EQ(ProgressLines("big.bin"), (std::vector<std::string>{
                                          "\"big.bin\"           0 bytes,    0 mb,   0%",
                                          "\"big.bin\"     1048576 bytes,    1 mb,  33%",
                                          "\"big.bin\"     1048576 bytes,    1 mb,  33%",
                                          "\"big.bin\"     2097152 bytes,    2 mb,  66%",
                                          "\"big.bin\"     2097152 bytes,    2 mb,  66%",
                                          "\"big.bin\"     3145728 bytes,    3 mb, 100%",
                                      }));
  std::vector<uint32_t> permille;
  for (const CProgressSnapshot& p : front.Progress()) permille.push_back(p.fileProgress);
  EXPECT_EQ(permille, (std::vector<uint32_t>{0, 333, 333, 666, 666, 1000}));
  // The first progress line replaced the count-down; "\r\n" closed the last one.
  EXPECT_EQ(Messages().front(), "trying to connect to " + "/mem/src/big.bin"_path + ",  300 sec left...");
  EXPECT_EQ(front.LogText(), "\"big.bin\"     3145728 bytes,    3 mb, 100%\r\n");
  EXPECT_EQ(~g_RunState.runCrc, Crc(CMemFileSystem::PatternBytes(7, 0, 3 * kMiB)));
  EXPECT_EQ(fs.TimeWrite("/mem/dst/big.bin"_path), 1234567);
  EXPECT_EQ(fs.TimeAccess("/mem/dst/big.bin"_path), 1234567);
}

TEST_F(CopyWholeFileTest, ACompleteDestinationStampedWithTheSourcesTimeIsSkippedUnread) {
  fs.AddFile("/mem/src/a.txt"_path, "source bytes", 99);
  fs.AddFile("/mem/dst/a.txt"_path, "source bytes", 99);
  auto node = NodeOf("/mem/src/a.txt"_path);
  g_RunState.bytesDone = 100;
  EXPECT_EQ(Copy(*node, "/mem/src/a.txt"_path), 0u);
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"\"a.txt\"          12 bytes,    0 mb, 100% - allready exist\r\n"}));
  EXPECT_EQ(g_RunState.bytesDone, 112u);
  EXPECT_EQ(g_RunState.fileProgress, 1000u);
  EXPECT_EQ(fs.TimeWrite("/mem/dst/a.txt"_path), 99);
  EXPECT_EQ(fs.OpenCount("/mem/src/a.txt"_path), 0);
}

// ---- A destination that is not this source's copy is never continued,
// counted complete or written over.

TEST_F(CopyWholeFileTest, AForeignFileOfTheSourcesNameIsLeftAloneWhateverItsLength) {
  const std::string summary = "Final v2: revenue 2,999 and more text here";
  fs.AddFile("/mem/src/summary.txt"_path, summary, 500);
  fs.AddFile("/mem/dst/summary.txt"_path, "Draft v1: revenue 1", 400);  // shorter
  fs.AddFile("/mem/src/same.txt"_path, "AAAA", 500);
  fs.AddFile("/mem/dst/same.txt"_path, "BBBB", 400);  // as long
  fs.AddFile("/mem/src/longer.txt"_path, "AAAA", 500);
  fs.AddFile("/mem/dst/longer.txt"_path, "AAAA and more", 500);  // longer, even stamped
  for (const char* name : {"summary.txt", "same.txt", "longer.txt"}) {
    const std::string source = "/mem/src/"_path + name;
    const std::string destination = "/mem/dst/"_path + name;
    const std::string before = fs.FileBytes(destination);
    const int64_t time = fs.TimeWrite(destination);
    auto node = NodeOf(source);
    EXPECT_EQ(Copy(*node, source), 4u) << name;
    EXPECT_EQ(Messages().back(), "\r\n" + destination + " differs from its source, left alone\r\n");
    EXPECT_EQ(fs.FileBytes(destination), before) << name;
    EXPECT_EQ(fs.TimeWrite(destination), time) << name;
  }
  EXPECT_EQ(fs.BytesWritten("/mem/dst/summary.txt"_path) + fs.BytesWritten("/mem/dst/same.txt"_path), 0u);
}

TEST_F(CopyWholeFileTest, AnUnstampedDestinationIsComparedBeforeItIsContinuedOrCountedComplete) {
  // As long as the source and equal at the pages compared: complete.
  const std::string bytes = CMemFileSystem::PatternBytes(5, 0, 100000);
  fs.AddFile("/mem/src/whole.bin"_path, bytes, 500);
  fs.AddFile("/mem/dst/whole.bin"_path, bytes, 400);
  auto node = NodeOf("/mem/src/whole.bin"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/whole.bin"_path), 0u);
  EXPECT_EQ(Messages().back(), "\"whole.bin\"      100000 bytes,    0 mb, 100% - allready exist\r\n");
  EXPECT_EQ(fs.BytesRead("/mem/src/whole.bin"_path), 3 * 4096u);  // first, middle and last page
  EXPECT_EQ(fs.TimeWrite("/mem/dst/whole.bin"_path), 400);

  // Shorter and a true prefix: continued, after one read of the stretch
  // before its end.
  fs.AddFile("/mem/src/part.bin"_path, bytes, 500);
  fs.AddFile("/mem/dst/part.bin"_path, bytes.substr(0, 70000), 400);
  node = NodeOf("/mem/src/part.bin"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/part.bin"_path), 0u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/part.bin"_path), bytes);
  EXPECT_EQ(fs.BytesRead("/mem/src/part.bin"_path), 65536u + 30000u);
  EXPECT_EQ(fs.ReadCount("/mem/src/part.bin"_path), 2);
  EXPECT_EQ(~g_RunState.runCrc, Crc(bytes.substr(70000)));

  // A stamped partial copy is continued without that read.
  fs.AddFile("/mem/src/stamped.bin"_path, bytes, 500);
  fs.AddFile("/mem/dst/stamped.bin"_path, bytes.substr(0, 70000), 500);
  node = NodeOf("/mem/src/stamped.bin"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/stamped.bin"_path), 0u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/stamped.bin"_path), bytes);
  EXPECT_EQ(fs.BytesRead("/mem/src/stamped.bin"_path), 30000u);

  // A stretch that cannot be read is retried like any read failure.
  fs.AddFile("/mem/src/flaky.bin"_path, bytes, 500);
  fs.AddFile("/mem/dst/flaky.bin"_path, bytes.substr(0, 1000), 400);
  fs.FailReadAt("/mem/src/flaky.bin"_path, 0);
  node = NodeOf("/mem/src/flaky.bin"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/flaky.bin"_path), 0u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/flaky.bin"_path), bytes);
  EXPECT_EQ(CountMessages("error 32 reading flaky.bin"), 1);
}

TEST_F(CopyWholeFileTest, ASourceThatShrinksDuringTheCopyIsNoSuccessAndItsCopyNeverCountsComplete) {
  const std::string bytes = CMemFileSystem::PatternBytes(6, 0, 3 * kMiB);
  fs.AddFile("/mem/src/s.bin"_path, bytes, 500);
  auto node = NodeOf("/mem/src/s.bin"_path);
  // The file is cut to 100000 bytes once the first block has been read.
  bool cut = false;
  fs.SetOnRead([&](const std::string& path, uint64_t offset, size_t) {
    if (!cut && path == "/mem/src/s.bin"_path && offset >= kMiB) {
      cut = true;
      fs.AddFile("/mem/src/s.bin"_path, bytes.substr(0, 100000), 600);
    }
  });
  EXPECT_EQ(Copy(*node, "/mem/src/s.bin"_path), 2u);
  fs.SetOnRead({});
  EXPECT_EQ(Messages().back(),
            "\r\n" + "/mem/src/s.bin"_path + " changed during the copy, its copy is kept as a partial\r\n");
  EXPECT_EQ(fs.FileBytes("/mem/dst/s.bin"_path), bytes.substr(0, kMiB));

  // A later run finds a copy longer than the source: not its copy.
  node = NodeOf("/mem/src/s.bin"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/s.bin"_path), 4u);
  EXPECT_EQ(Messages().back(), "\r\n" + "/mem/dst/s.bin"_path + " differs from its source, left alone\r\n");

  // A source that ends early and holds exactly what its copy holds is copied.
  fs.AddFile("/mem/src/t.bin"_path, "twelve bytes", 500);
  node = NodeOf("/mem/src/t.bin"_path);
  node->m_data.size = 50;
  EXPECT_EQ(Copy(*node, "/mem/src/t.bin"_path), 0u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/t.bin"_path), "twelve bytes");
}

TEST_F(CopyWholeFileTest, AShorterDestinationIsContinuedFromItsEnd) {
  const std::string bytes = CMemFileSystem::PatternBytes(3, 0, 5000);
  fs.AddFile("/mem/src/a.bin"_path, bytes);
  fs.AddFile("/mem/dst/a.bin"_path, bytes.substr(0, 1200));
  auto node = NodeOf("/mem/src/a.bin"_path);
  g_RunState.bytesDone = 10;
  EXPECT_EQ(Copy(*node, "/mem/src/a.bin"_path), 0u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/a.bin"_path), bytes);
  EXPECT_EQ(ProgressLines("a.bin").front(), "\"a.bin\"        1200 bytes,    0 mb,  24%");
  EXPECT_EQ(front.Progress().front().bytesDone, 1210u);
  EXPECT_EQ(fs.BytesRead("/mem/src/a.bin"_path), 3800u);
  // Only the bytes fetched in this run go into the CRC.
  EXPECT_EQ(~g_RunState.runCrc, Crc(bytes.substr(1200)));
}

TEST_F(CopyWholeFileTest, AReadFailureReconnectsAndResumesAtTheDestinationsLength) {
  fs.AddPatternFile("/mem/src/big.bin"_path, 3 * kMiB, 11);
  fs.FailReadAt("/mem/src/big.bin"_path, kMiB + 5000);
  auto node = NodeOf("/mem/src/big.bin"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/big.bin"_path), 0u);
  const std::string expected = CMemFileSystem::PatternBytes(11, 0, 3 * kMiB);
  EXPECT_EQ(fs.FileBytes("/mem/dst/big.bin"_path), expected);
  EXPECT_EQ(CountMessages("error 32 reading big.bin"), 1);
  EXPECT_EQ(fs.OpenCount("/mem/src/big.bin"_path), 2);
  EXPECT_EQ(CountMessages("\"big.bin\"     1048576 bytes,    1 mb,  33%"), 3);
  EXPECT_EQ(~g_RunState.runCrc, Crc(expected));
}

TEST_F(CopyWholeFileTest, ASourceThatStaysAwayEndsWithTheReconnectLimit) {
  fs.AddFile("/mem/src/a.txt"_path, "abc");
  auto node = NodeOf("/mem/src/a.txt"_path);
  fs.FailOpens("/mem/src/a.txt"_path, CMemFileSystem::kForever);
  g_RunState.reconnectLimit = 3;
  EXPECT_EQ(Copy(*node, "/mem/src/a.txt"_path), 2u);
  const auto messages = Messages();
  EXPECT_EQ(messages.front(), "trying to connect to " + "/mem/src/a.txt"_path + ",    3 sec left...");
  EXPECT_EQ(CountMessages("trying to connect to " + "/mem/src/a.txt"_path + ",    0 sec left..."), 1);
  EXPECT_EQ(messages.back(), "/mem/src/a.txt"_path + " reconnect limit over, try again\r\n");
  EXPECT_EQ(messages.size(), 5u);  // one count-down line per second, then the verdict
  EXPECT_FALSE(fs.Exists("/mem/dst/a.txt"_path));
  // Attempts are paced, not back to back: 3 seconds at 50 ms.
  EXPECT_EQ(fs.OpenCount("/mem/src/a.txt"_path), 61);
}

TEST_F(CopyWholeFileTest, AReconnectLimitOfZeroMakesExactlyOneAttempt) {
  fs.AddFile("/mem/src/a.txt"_path, "abc");
  auto node = NodeOf("/mem/src/a.txt"_path);
  fs.FailOpens("/mem/src/a.txt"_path, CMemFileSystem::kForever);
  g_RunState.reconnectLimit = 0;
  EXPECT_EQ(Copy(*node, "/mem/src/a.txt"_path), 2u);
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"trying to connect to " + "/mem/src/a.txt"_path + ",    0 sec left...",
                                      "/mem/src/a.txt"_path + " reconnect limit over, try again\r\n"}));
  EXPECT_EQ(fs.OpenCount("/mem/src/a.txt"_path), 1);
  EXPECT_FALSE(fs.Exists("/mem/dst/a.txt"_path));
}

TEST_F(CopyWholeFileTest, ASourceBackWithinTheLimitIsCopied) {
  fs.AddFile("/mem/src/a.txt"_path, "abc");
  auto node = NodeOf("/mem/src/a.txt"_path);
  fs.FailOpensUntil("/mem/src/a.txt"_path, clock.Now() + 2);
  EXPECT_EQ(Copy(*node, "/mem/src/a.txt"_path), 0u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/a.txt"_path), "abc");
  EXPECT_EQ(CountMessages("trying to connect to " + "/mem/src/a.txt"_path + ",  298 sec left..."), 1);
}

TEST_F(CopyWholeFileTest, AFullDiskIsAWriteFailureWithoutFurtherPasses) {
  fs.AddPatternFile("/mem/src/big.bin"_path, 3 * kMiB, 5, 777);
  fs.SetCapacity(kMiB + 100);
  auto node = NodeOf("/mem/src/big.bin"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/big.bin"_path), 4u);
  EXPECT_EQ(CountMessages("\r\neror 32 writing big.bin\r\n"), 1);
  EXPECT_EQ(fs.OpenCount("/mem/src/big.bin"_path), 1);
  // What reached the disk is the source's prefix, stamped, for a later run to continue.
  EXPECT_EQ(fs.FileBytes("/mem/dst/big.bin"_path), CMemFileSystem::PatternBytes(5, 0, kMiB + 100));
  EXPECT_EQ(fs.TimeWrite("/mem/dst/big.bin"_path), 777);
  // The failed block adds nothing to the CRC.
  EXPECT_EQ(~g_RunState.runCrc, Crc(CMemFileSystem::PatternBytes(5, 0, kMiB)));
}

TEST_F(CopyWholeFileTest, AnAbortBetweenBlocksLeavesAStampedPartialCopy) {
  fs.AddPatternFile("/mem/src/big.bin"_path, 3 * kMiB, 9, 4242);
  int reads = 0;
  fs.SetOnRead([&](const std::string&, uint64_t, size_t) {
    if (++reads == 2) g_RunState.runFlag = false;
  });
  auto node = NodeOf("/mem/src/big.bin"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/big.bin"_path), 0u);
  // The second block was read but not written; it still counts in the CRC.
  EXPECT_EQ(fs.FileSize("/mem/dst/big.bin"_path), kMiB);
  EXPECT_EQ(fs.TimeWrite("/mem/dst/big.bin"_path), 4242);
  EXPECT_EQ(Messages().back(), "\r\n");
  EXPECT_EQ(~g_RunState.runCrc, Crc(CMemFileSystem::PatternBytes(9, 0, 2 * kMiB)));
}

TEST_F(CopyWholeFileTest, AnEmptySourceMakesAnEmptyStampedCopy) {
  fs.AddFile("/mem/src/empty"_path, "", 555);
  auto node = NodeOf("/mem/src/empty"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/empty"_path), 0u);
  EXPECT_TRUE(fs.IsFile("/mem/dst/empty"_path));
  EXPECT_EQ(fs.TimeWrite("/mem/dst/empty"_path), 555);
  EXPECT_EQ(ProgressLines("empty"), (std::vector<std::string>{"\"empty\"           0 bytes,    0 mb, 100%",
                                                              "\"empty\"           0 bytes,    0 mb, 100%"}));
  EXPECT_EQ(Messages().back(), "\r\n");
  EXPECT_EQ(g_RunState.runCrc, 0xFFFFFFFFu);
}

TEST_F(CopyWholeFileTest, ASourceShorterThanListedEndsWithoutLooping) {
  fs.AddFile("/mem/src/a.bin"_path, std::string(3000, 'a'));
  auto node = NodeOf("/mem/src/a.bin"_path);
  node->m_data.size = 10000;  // listed before it shrank
  EXPECT_EQ(Copy(*node, "/mem/src/a.bin"_path), 0u);
  EXPECT_EQ(fs.FileSize("/mem/dst/a.bin"_path), 3000u);
  EXPECT_EQ(fs.OpenCount("/mem/src/a.bin"_path), 1);
}

TEST_F(CopyWholeFileTest, ADestinationThatDoesNotOpenIsAWriteFailure) {
  fs.AddFile("/mem/src/a.txt"_path, "abc");
  auto node = NodeOf("/mem/src/a.txt"_path);
  EXPECT_EQ(node->CopyWholeFile("/mem/src/a.txt"_path, "/mem/missing"_path), 4u);
  EXPECT_EQ(CountMessages("\r\neror opening destination " + "/mem/missing/a.txt"_path + "\r\n"), 1);
  EXPECT_EQ(Messages().back(), "/mem/missing/a.txt"_path + " : No such file or directory\r\n");
  EXPECT_EQ(fs.OpenStreams(), 0);
}

TEST_F(CopyWholeFileTest, AFailedCloseIsAWriteFailure) {
  fs.AddFile("/mem/src/a.txt"_path, "abc");
  fs.FailClose("/mem/dst/a.txt"_path);
  auto node = NodeOf("/mem/src/a.txt"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/a.txt"_path), 4u);
  EXPECT_EQ(CountMessages("\r\neror 32 writing a.txt\r\n"), 1);
}

TEST_F(CopyWholeFileTest, FilesOfMoreThanFourGibibytesAreCopiedWhole) {
  // A source of 5 GiB whose destination already holds all but the last
  // 3 MiB: only the tail is fetched, at offsets beyond 32 bits.
  constexpr uint64_t kSize = 5ull << 30;
  fs.AddPatternFile("/mem/src/huge.bin"_path, kSize, 21);
  fs.AddPatternFile("/mem/dst/huge.bin"_path, kSize - 3 * kMiB, 21);
  auto node = NodeOf("/mem/src/huge.bin"_path);
  EXPECT_EQ(node->m_data.size, kSize);
  EXPECT_EQ(Copy(*node, "/mem/src/huge.bin"_path), 0u);
  EXPECT_EQ(fs.FileSize("/mem/dst/huge.bin"_path), kSize);
  EXPECT_EQ(fs.BytesRead("/mem/src/huge.bin"_path), 3 * kMiB);
  EXPECT_EQ(ProgressLines("huge.bin").back(), "\"huge.bin\"  5368709120 bytes, 5120 mb, 100%");
  EXPECT_EQ(ProgressLines("huge.bin").front(), "\"huge.bin\"  5365563392 bytes, 5117 mb,  99%");
  EXPECT_EQ(~g_RunState.runCrc, Crc(CMemFileSystem::PatternBytes(21, kSize - 3 * kMiB, 3 * kMiB)));
}

// A source that holds its bytes already (read ahead) lends them: the copy
// writes and sums them where they lie, and never keeps them past the next
// call on the source (the file system spoils what it lent at that call).
// With check after copy the blocks go through the copy buffer, where the
// check settles their pages.
TEST_F(CopyWholeFileTest, BytesLentByTheSourceAreCopiedAndSummedInPlaceUnlessChecked) {
  const uint64_t size = 5 * uint64_t{kMiB} + 4321;
  const std::string bytes = CMemFileSystem::PatternBytes(9, 0, size);
  fs.AddPatternFile("/mem/src/lent.bin"_path, size, 9);
  fs.SetLending(true);
  {
    auto node = NodeOf("/mem/src/lent.bin"_path);
    EXPECT_EQ(Copy(*node, "/mem/src/lent.bin"_path), 0u);
  }
  EXPECT_TRUE(fs.FileBytes("/mem/dst/lent.bin"_path) == bytes);
  EXPECT_EQ(~g_RunState.runCrc, Crc(bytes));
  // Every block was lent, the short last one too (it ends at the listed
  // size), and nothing was read besides.
  EXPECT_EQ(fs.LendCount("/mem/src/lent.bin"_path), 6);
  EXPECT_EQ(fs.ReadCount("/mem/src/lent.bin"_path), 6);
  EXPECT_EQ(fs.BytesRead("/mem/src/lent.bin"_path), size);

  fs.AddPatternFile("/mem/src/checked.bin"_path, size, 9);
  g_RunState.runCrc = 0xFFFFFFFF;
  g_RunState.checkAfterCopy = true;
  AllocateBuffer(kMiB);
  {
    auto node = NodeOf("/mem/src/checked.bin"_path);
    EXPECT_EQ(Copy(*node, "/mem/src/checked.bin"_path), 0u);
  }
  EXPECT_TRUE(fs.FileBytes("/mem/dst/checked.bin"_path) == bytes);
  EXPECT_EQ(~g_RunState.runCrc, Crc(bytes));
  EXPECT_EQ(fs.LendCount("/mem/src/checked.bin"_path), 0);
}

}  // namespace

// ---- Files that must not be written: the source itself, a file another copy
// holds, a file another file of the same run took.

TEST_F(CopyWholeFileTest, TheSourceItselfIsNeverTakenAsItsOwnCopy) {
  fs.AddFile("/mem/src/a.txt"_path, "source bytes", 77);
  auto node = NodeOf("/mem/src/a.txt"_path);
  // The destination folder is the source's own folder.
  g_RunState.destinationClaims.Clear();
  EXPECT_EQ(node->CopyWholeFile("/mem/src/a.txt"_path, "/mem/src"_path), 4u);
  EXPECT_EQ(Messages().back(), "\r\n" + "/mem/src/a.txt"_path + " is the source itself, not written\r\n");

  // A second name of the same file, found complete or found short.
  fs.AddHardLink("/mem/dst/a.txt"_path, "/mem/src/a.txt"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/a.txt"_path), 4u);
  EXPECT_EQ(Messages().back(), "\r\n" + "/mem/dst/a.txt"_path + " is the source itself, not written\r\n");
  node->m_data.size = 50;  // listed longer than the file is
  EXPECT_EQ(Copy(*node, "/mem/src/a.txt"_path), 4u);
  node->m_data.dev = node->m_data.ino = 0;  // a listing without identities: the open streams tell
  EXPECT_EQ(Copy(*node, "/mem/src/a.txt"_path), 4u);
  EXPECT_EQ(CountMessages("\r\n" + "/mem/dst/a.txt"_path + " is the source itself, not written\r\n"), 3);
  EXPECT_EQ(fs.FileBytes("/mem/src/a.txt"_path), "source bytes");
  EXPECT_EQ(fs.WriteCount("/mem/src/a.txt"_path) + fs.WriteCount("/mem/dst/a.txt"_path), 0);
}

TEST_F(CopyWholeFileTest, AFileAnotherCopyHoldsIsLeftAlone) {
  fs.AddPatternFile("/mem/src/big.bin"_path, 3 * kMiB, 4);
  fs.AddFile("/mem/dst/big.bin"_path, CMemFileSystem::PatternBytes(4, 0, 1000));
  std::unique_ptr<CStream> other = FileOpen("/mem/dst/big.bin"_path, OpenMode::kAppend);
  ASSERT_EQ(other->LockExclusive(), 0);
  auto node = NodeOf("/mem/src/big.bin"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/big.bin"_path), 4u);
  EXPECT_EQ(Messages().back(),
            "\r\n" + "/mem/dst/big.bin"_path + " is in use by another copy, left alone\r\n");
  EXPECT_EQ(fs.FileSize("/mem/dst/big.bin"_path), 1000u);

  // Once the other copy is done with it, the file is continued.
  other.reset();
  EXPECT_EQ(Copy(*node, "/mem/src/big.bin"_path), 0u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/big.bin"_path), CMemFileSystem::PatternBytes(4, 0, 3 * kMiB));
}

TEST_F(CopyWholeFileTest, TwoFilesOfOneNameInOneRunNeverShareADestination) {
  fs.AddFile("/mem/a/x.bin"_path, "first source");
  fs.AddFile("/mem/b/x.bin"_path, "second");
  auto first = NodeOf("/mem/a/x.bin"_path);
  auto second = NodeOf("/mem/b/x.bin"_path);
  EXPECT_EQ(first->CopyWholeFile("/mem/a/x.bin"_path, "/mem/dst"_path), 0u);
  // Shorter than what the first wrote: it would be skipped as complete.
  EXPECT_EQ(second->CopyWholeFile("/mem/b/x.bin"_path, "/mem/dst"_path), 4u);
  EXPECT_EQ(Messages().back(), "\r\n" + "/mem/dst/x.bin"_path +
                                   " is already the copy of another file of this run, left alone\r\n");
  EXPECT_EQ(fs.FileBytes("/mem/dst/x.bin"_path), "first source");

  // A file found complete belongs to the file that found it, too; a longer
  // second file would otherwise be appended to it.
  fs.AddFile("/mem/c/y.bin"_path, "short");
  fs.AddFile("/mem/d/y.bin"_path, "a longer file");
  fs.AddFile("/mem/dst/y.bin"_path, "short");
  auto third = NodeOf("/mem/c/y.bin"_path);
  auto fourth = NodeOf("/mem/d/y.bin"_path);
  EXPECT_EQ(third->CopyWholeFile("/mem/c/y.bin"_path, "/mem/dst"_path), 0u);
  EXPECT_EQ(fourth->CopyWholeFile("/mem/d/y.bin"_path, "/mem/dst"_path), 4u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/y.bin"_path), "short");

  // A new file of a run made by the first of two: refused at the open.
  fs.AddFile("/mem/e/z.bin"_path, "e");
  fs.AddFile("/mem/f/z.bin"_path, "ff");
  auto fifth = NodeOf("/mem/e/z.bin"_path);
  auto sixth = NodeOf("/mem/f/z.bin"_path);
  EXPECT_EQ(fifth->CopyWholeFile("/mem/e/z.bin"_path, "/mem/dst"_path), 0u);
  EXPECT_EQ(sixth->CopyWholeFile("/mem/f/z.bin"_path, "/mem/dst"_path), 4u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/z.bin"_path), "e");
}

TEST_F(CopyWholeFileTest, AFolderOfTheFilesNameIsNoCopyOfIt) {
  fs.AddFile("/mem/src/empty"_path, "");
  fs.AddFolder("/mem/dst/empty"_path);
  auto node = NodeOf("/mem/src/empty"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/empty"_path), 4u);
  EXPECT_EQ(CountMessages("\r\neror opening destination " + "/mem/dst/empty"_path + "\r\n"), 1);
  EXPECT_EQ(Messages().back(), "/mem/dst/empty"_path + " : Is a directory\r\n");
}

// ---- A read failure that never heals.

TEST_F(CopyWholeFileTest, PassesThatNeverGetFurtherEndWithTheReconnectLimit) {
  g_RunState.reconnectLimit = 2;
  fs.AddPatternFile("/mem/src/bad.bin"_path, 3 * kMiB, 6);
  fs.FailReadAt("/mem/src/bad.bin"_path, kMiB + 5, CMemFileSystem::kForever);
  auto node = NodeOf("/mem/src/bad.bin"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/bad.bin"_path), 2u);
  EXPECT_EQ(Messages().back(), "/mem/src/bad.bin"_path + " reconnect limit over, try again\r\n");
  // The part before the bad spot stays for a later run; the passes stopped
  // once two seconds went by after the last one that got further.
  EXPECT_EQ(fs.FileBytes("/mem/dst/bad.bin"_path), CMemFileSystem::PatternBytes(6, 0, kMiB));
  EXPECT_GE(fs.OpenCount("/mem/src/bad.bin"_path), 40);
  EXPECT_LE(fs.OpenCount("/mem/src/bad.bin"_path), 62);
}

TEST_F(CopyWholeFileTest, PassesThatKeepGettingFurtherGoOnPastTheReconnectLimit) {
  g_RunState.reconnectLimit = 0;
  AllocateBuffer(4096);
  fs.AddPatternFile("/mem/src/slow.bin"_path, 40000, 8);
  // Each pass gets one block further, then fails; a pass takes a second.
  for (uint64_t offset = 4096; offset < 40000; offset += 4096)
    fs.FailReadAt("/mem/src/slow.bin"_path, offset + 1);
  fs.SetOnOpen([&](const std::string&, OpenMode mode) {
    if (mode == OpenMode::kRead) clock.Advance(1000);
  });
  auto node = NodeOf("/mem/src/slow.bin"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/slow.bin"_path), 0u);
  EXPECT_EQ(fs.FileBytes("/mem/dst/slow.bin"_path), CMemFileSystem::PatternBytes(8, 0, 40000));
}

TEST_F(CopyWholeFileTest, ABlockNotWrittenAfterAnAbortShowsNoProgressLine) {
  fs.AddPatternFile("/mem/src/big.bin"_path, 3 * kMiB, 9);
  int reads = 0;
  fs.SetOnRead([&](const std::string&, uint64_t, size_t) {
    if (++reads == 2) g_RunState.runFlag = false;
  });
  auto node = NodeOf("/mem/src/big.bin"_path);
  EXPECT_EQ(Copy(*node, "/mem/src/big.bin"_path), 0u);
  EXPECT_EQ(ProgressLines("big.bin"), (std::vector<std::string>{
                                          "\"big.bin\"           0 bytes,    0 mb,   0%",
                                          "\"big.bin\"     1048576 bytes,    1 mb,  33%",
                                          "\"big.bin\"     1048576 bytes,    1 mb,  33%",
                                      }));
}
