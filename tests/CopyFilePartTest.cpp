// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/Crc32.h"
#include "engine/FileNode.h"
#include "tests/support/EngineFixture.h"

namespace {

constexpr uint32_t kMiB = 1048576;
const std::string kSource = "/mem/src/big.bin"_path;
const std::string kPart = "/mem/dst/big.bin"_path;

// One Read call on the source as the file system saw it.
struct CReadCall {
  uint64_t offset;
  size_t count;
  bool operator==(const CReadCall&) const = default;
};

class CopyFilePartTest : public CEngineTest {
protected:
  CopyFilePartTest() {
    fs.AddFolder("/mem/dst"_path);
    AllocateBuffer(kMiB);
    front.copyByParts = true;
    fs.SetOnRead([this](const std::string& path, uint64_t offset, size_t count) {
      if (path == kSource) reads.push_back({offset, count});
    });
    fs.SetOnOpen([this](const std::string& path, OpenMode mode) {
      if (path == kPart) partOpens.push_back(mode);
    });
  }
  ~CopyFilePartTest() override {
    fs.SetOnRead({});
    fs.SetOnOpen({});
  }

  // Puts a pattern source of size bytes in place and lists it as the scan would.
  void AddSource(uint64_t size, uint32_t seed) {
    m_seed = seed;
    fs.AddPatternFile(kSource, size, seed);
    ASSERT_TRUE(::FindFirst(kSource, node.m_data));
  }
  std::string Pattern(uint64_t offset, size_t count) const {
    return CMemFileSystem::PatternBytes(m_seed, offset, count);
  }

  // Extracts the part as a run of its own would.
  ResultFlags Extract() {
    g_RunState.destinationClaims.Clear();
    return node.CopyFilePart(kSource, "/mem/dst"_path);
  }

  // The progress line of the part file at length bytes.
  static std::string Line(uint64_t length, uint64_t percent) {
    char text[128];
    std::snprintf(text, sizeof text, "\"big.bin\"  %10llu bytes, %4llu mb, %3llu%%",
                  static_cast<unsigned long long>(length), static_cast<unsigned long long>(length >> 20),
                  static_cast<unsigned long long>(percent));
    return text;
  }

  std::vector<std::string> ProgressLines() const {
    std::vector<std::string> lines;
    for (const std::string& m : Messages())
      if (m.starts_with("\"big.bin\"")) lines.push_back(m);
    return lines;
  }
  std::vector<uint32_t> Permille() const {
    std::vector<uint32_t> permille;
    for (const CProgressSnapshot& p : front.Progress()) permille.push_back(p.fileProgress);
    return permille;
  }
  int ReadsAt(uint64_t offset) const {
    int n = 0;
    for (const CReadCall& r : reads) n += r.offset == offset && r.count > 0;
    return n;
  }

  CFileNode node;
  std::vector<CReadCall> reads;
  std::vector<OpenMode> partOpens;

private:
  uint32_t m_seed = 0;
};

TEST_F(CopyFilePartTest, DefaultsCutTheHeaderAndTheFirstHundredMebibytes) {
  AddSource(300000000, 21);
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(g_RunState.totalBytes, 104857600u);
  ASSERT_EQ(fs.FileSize(kPart), 104858624u);
  const std::string expected = Pattern(0, 104858624);
  EXPECT_TRUE(fs.FileBytes(kPart) == expected);
  EXPECT_EQ(g_RunState.runCrc, CrcUpdate(0xFFFFFFFF, expected.data(), expected.size()));
  // The header block, then the part from part start 1024 up to part end.
  ASSERT_GE(reads.size(), 2u);
  EXPECT_EQ(reads[0], (CReadCall{0, 1024}));
  EXPECT_EQ(reads[1], (CReadCall{1024, kMiB}));
  EXPECT_EQ(reads.back(), (CReadCall{1024 + 99 * uint64_t{kMiB}, kMiB}));
  EXPECT_EQ(fs.BytesRead(kSource), 104858624u);

  EXPECT_EQ(Messages().front(), "part 1, size 104857600\r\n");
  EXPECT_EQ(ProgressLines().back(), "\"big.bin\"   104858624 bytes,  100 mb, 100%");
  EXPECT_EQ(Messages().back(), "\r\n");
  EXPECT_EQ(Permille().back(), 1000u);
  EXPECT_EQ(front.Progress().back().bytesDone, 104857600u);
  // Opened without emptying, and emptied only once it was known to be safe.
  EXPECT_EQ(partOpens, std::vector<OpenMode>{OpenMode::kAppend});
}

TEST_F(CopyFilePartTest, TheThirdPartOfAShorterSourceEndsWithTheSource) {
  front.partNumber = 3;
  AddSource(250000000, 22);
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(g_RunState.totalBytes, 40283776u);
  ASSERT_EQ(fs.FileSize(kPart), 40284800u);
  EXPECT_TRUE(fs.FileBytes(kPart) == Pattern(0, 1024) + Pattern(209716224, 40283776));
  ASSERT_GE(reads.size(), 2u);
  EXPECT_EQ(reads[1].offset, 209716224u);

  EXPECT_EQ(Messages().front(), "part 3, size 104857600\r\n");
  const std::vector<std::string> lines = ProgressLines();
  ASSERT_GE(lines.size(), 3u);
  // The first pass starts from nothing; after the header block the part is still at 0 percent.
  EXPECT_EQ(lines[0], "\"big.bin\"           0 bytes,    0 mb,   0%");
  EXPECT_EQ(lines[1], "\"big.bin\"        1024 bytes,    0 mb,   0%");
  // The part ends with the source: finished, at 100 percent of its own length.
  EXPECT_EQ(lines.back(), "\"big.bin\"    40284800 bytes,   38 mb, 100%");
  const std::vector<uint32_t> permille = Permille();
  EXPECT_EQ(permille[0], 0u);
  EXPECT_EQ(permille[1], 0u);
  EXPECT_EQ(permille.back(), 1000u);
  EXPECT_EQ(front.Progress()[1].bytesDone, 0u);
  EXPECT_EQ(front.Progress().back().bytesDone, 40283776u);
  EXPECT_EQ(front.Progress().back().totalBytes, 40283776u);
  EXPECT_EQ(Messages().back(), "\r\n");
}

TEST_F(CopyFilePartTest, APartSizeOfZeroLeavesTheHeaderAlone) {
  front.partSize = 0;
  AddSource(10000, 23);
  g_RunState.totalBytes = 999;
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(g_RunState.totalBytes, 0u);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 1024));
  EXPECT_EQ(Messages().front(), "part 1, size 0\r\n");
  // An empty part has nothing left to fetch: 100 percent throughout.
  EXPECT_EQ(ProgressLines(), (std::vector<std::string>{Line(0, 100), Line(1024, 100)}));
  EXPECT_EQ(Permille(), (std::vector<uint32_t>{1000, 1000}));
  EXPECT_EQ(Messages().back(), "\r\n");
}

TEST_F(CopyFilePartTest, AHeaderOfZeroGivesThePartAlone) {
  front.header = 0;
  front.partNumber = 2;
  front.partSize = 3000;
  AddSource(10000, 24);
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(3000, 3000));
  EXPECT_EQ(ReadsAt(0), 0);
  EXPECT_EQ(g_RunState.totalBytes, 3000u);
}

TEST_F(CopyFilePartTest, APartBeyondTheSourcesEndLeavesTheHeaderAlone) {
  front.partNumber = 5;
  front.partSize = 4000;
  AddSource(10000, 25);
  g_RunState.totalBytes = 999;
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(g_RunState.totalBytes, 0u);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 1024));
  EXPECT_EQ(Messages().back(), "\r\n");
}

TEST_F(CopyFilePartTest, ASourceShorterThanTheHeaderIsCopiedWhole) {
  AddSource(500, 26);
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(g_RunState.totalBytes, 0u);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 500));
  EXPECT_EQ(Messages().back(), "\r\n");
}

TEST_F(CopyFilePartTest, WithoutReGetAnExistingPartFileIsEmptiedFirst) {
  front.partNumber = 2;
  front.partSize = 3000;
  AddSource(10000, 27);
  fs.AddFile(kPart, std::string(50000, 'z'));
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 1024) + Pattern(4024, 3000));
  EXPECT_EQ(partOpens, std::vector<OpenMode>{OpenMode::kAppend});
}

TEST_F(CopyFilePartTest, ReGetOnACompletePartFileMovesAnEmptyBlock) {
  front.partNumber = 2;
  front.partSize = 3000;
  front.reget = true;
  AddSource(10000, 28);
  const std::string complete = Pattern(0, 1024) + Pattern(4024, 3000);
  fs.AddFile(kPart, complete);
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), complete);
  EXPECT_EQ(fs.BytesWritten(kPart), 0u);
  EXPECT_EQ(Messages(), (std::vector<std::string>{
                            "part 2, size 3000\r\n",
                            "trying to connect to " + "/mem/src/big.bin"_path + ",  300 sec left...",
                            "\"big.bin\"        4024 bytes,    0 mb, 100%",
                            "\"big.bin\"        4024 bytes,    0 mb, 100%", "\r\n"}));
  // The part file is compared with the header and part before its end, then
  // nothing is left to move.
  EXPECT_EQ(reads, (std::vector<CReadCall>{{0, 1024}, {4024, 3000}, {7024, 0}}));
  EXPECT_EQ(Permille(), (std::vector<uint32_t>{1000, 1000}));
  EXPECT_EQ(partOpens, (std::vector<OpenMode>{OpenMode::kAppend, OpenMode::kRead}));
}

TEST_F(CopyFilePartTest, ReGetOnAPartFileLongerThanThePartCountsItCompleteWhenItsBytesAreTheSources) {
  front.partNumber = 2;
  front.partSize = 3000;
  front.reget = true;
  AddSource(10000, 29);
  const std::string longer = Pattern(0, 1024) + Pattern(4024, 3004);
  fs.AddFile(kPart, longer);
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), longer);
  EXPECT_EQ(ProgressLines(), (std::vector<std::string>{Line(4028, 100), Line(4028, 100)}));
  EXPECT_EQ(Messages().back(), "\r\n");

  // Bytes of anything else after the part: not this part file.
  const std::string foreign = Pattern(0, 1024) + Pattern(4024, 3000) + "tail";
  fs.AddFile(kPart, foreign);
  EXPECT_EQ(Extract(), 4u);
  EXPECT_EQ(Messages().back(), "\r\n" + kPart + " differs from its source, left alone\r\n");
  EXPECT_EQ(fs.FileBytes(kPart), foreign);
}

// ---- A part file is continued only when it holds this source's header and
// part, and copy by parts never empties a file that may be its source.

TEST_F(CopyFilePartTest, APartFileOfAnotherPartIsContinuedNeitherAsAPartNorAsTheWholeFile) {
  front.partNumber = 2;
  front.partSize = 20000;
  AddSource(100000, 31);
  EXPECT_EQ(Extract(), 0u);
  const std::string part2 = Pattern(0, 1024) + Pattern(21024, 20000);
  ASSERT_EQ(fs.FileBytes(kPart), part2);

  // ReGet with part 3.
  front.partNumber = 3;
  front.reget = true;
  reads.clear();
  EXPECT_EQ(Extract(), 4u);
  EXPECT_EQ(Messages().back(), "\r\n" + kPart + " differs from its source, left alone\r\n");
  EXPECT_EQ(fs.FileBytes(kPart), part2);

  // The whole file.
  EXPECT_EQ(node.CopyWholeFile(kSource, "/mem/dst"_path), 4u);
  EXPECT_EQ(Messages().back(), "\r\n" + kPart + " differs from its source, left alone\r\n");
  EXPECT_EQ(fs.FileBytes(kPart), part2);
  EXPECT_EQ(fs.BytesWritten(kPart), 1024u + 20000u);  // the first extraction's only

  // Part 2 again with ReGet: its own part file, with one read of its tail.
  front.partNumber = 2;
  reads.clear();
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), part2);
  ASSERT_FALSE(reads.empty());
  EXPECT_EQ(reads.front(), (CReadCall{0, 1024}));  // the stretch before its end: header, then part
}

TEST_F(CopyFilePartTest, AFileThatMayBeTheSourceItselfIsNeverEmptied) {
  AddSource(50000, 32);
  const std::string whole = Pattern(0, 50000);
  // A complete copy with the source's time: the source reached by another
  // name looks exactly so.
  fs.AddFile(kPart, whole, node.m_data.time_write);
  EXPECT_EQ(Extract(), 4u);
  EXPECT_EQ(Messages().back(),
            "\r\n" + kPart + " is the source itself or a complete copy of it, not emptied\r\n");
  EXPECT_EQ(fs.FileBytes(kPart), whole);

  // A second name of the source.
  fs.AddHardLink("/mem/dst2/big.bin"_path, kSource);
  g_RunState.destinationClaims.Clear();
  EXPECT_EQ(node.CopyFilePart(kSource, "/mem/dst2"_path), 4u);
  EXPECT_EQ(Messages().back(), "\r\n" + "/mem/dst2/big.bin"_path + " is the source itself, not written\r\n");
  EXPECT_EQ(fs.FileBytes(kSource), whole);

  // Another time or other pages: an old part file, emptied and cut anew.
  fs.AddFile(kPart, whole, node.m_data.time_write + 1);
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 50000));
  std::string changed = whole;
  changed[49999] ^= 1;
  fs.AddFile(kPart, changed, node.m_data.time_write);
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), whole);
}

TEST_F(CopyFilePartTest, ReGetOnAPartFileHoldingTheHeaderResumesAtPartStart) {
  front.partNumber = 2;
  front.partSize = 3000;
  front.reget = true;
  AddSource(10000, 30);
  fs.AddFile(kPart, Pattern(0, 1024));
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 1024) + Pattern(4024, 3000));
  ASSERT_FALSE(reads.empty());
  // The header is compared, then the part is read from its start.
  EXPECT_EQ(reads, (std::vector<CReadCall>{{0, 1024}, {4024, 3000}}));
  EXPECT_EQ(ProgressLines(), (std::vector<std::string>{Line(1024, 0), Line(4024, 100)}));
}

TEST_F(CopyFilePartTest, ReGetOnAPartFileShorterThanTheHeaderWritesItAnew) {
  front.partNumber = 2;
  front.partSize = 3000;
  front.reget = true;
  AddSource(10000, 31);
  fs.AddFile(kPart, std::string(500, 'j'));
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 1024) + Pattern(4024, 3000));
  ASSERT_FALSE(reads.empty());
  EXPECT_EQ(reads.front(), (CReadCall{0, 1024}));
  EXPECT_EQ(ProgressLines().front(), Line(0, 0));
}

TEST_F(CopyFilePartTest, AReadFailureAfterTheHeaderResumesAtPartStartWithoutASecondHeader) {
  front.partNumber = 2;
  front.partSize = 5000;
  AddSource(20000, 32);
  fs.FailReadAt(kSource, 6024);
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 1024) + Pattern(6024, 5000));
  EXPECT_EQ(fs.OpenCount(kSource), 2);
  EXPECT_EQ(partOpens, (std::vector<OpenMode>{OpenMode::kAppend, OpenMode::kAppend}));
  EXPECT_EQ(ReadsAt(0), 1);
  EXPECT_EQ(ReadsAt(6024), 2);
  EXPECT_EQ(CountMessages("error 32 reading big.bin"), 1);
  // The second pass pauses before it reconnects, then starts where the header ends.
  EXPECT_EQ(clock.SleepCount(), 1);
  EXPECT_EQ(clock.SleptMs(), 50u);
  EXPECT_EQ(ProgressLines(), (std::vector<std::string>{Line(0, 0), Line(1024, 0), Line(1024, 0),
                                                       Line(1024, 0), Line(6024, 100)}));
  EXPECT_EQ(g_RunState.runCrc, CrcUpdate(0xFFFFFFFF, fs.FileBytes(kPart).data(), 6024));
}

TEST_F(CopyFilePartTest, AHeaderLargerThanTheBufferMovesInSeveralBlocks) {
  AllocateBuffer(4096);
  front.header = 10000;
  front.partNumber = 2;
  front.partSize = 3000;
  AddSource(30000, 33);
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 10000) + Pattern(13000, 3000));
  EXPECT_EQ(reads, (std::vector<CReadCall>{{0, 4096}, {4096, 4096}, {8192, 1808}, {13000, 3000}}));
  EXPECT_EQ(ProgressLines(),
            (std::vector<std::string>{Line(0, 0), Line(4096, 0), Line(4096, 0), Line(8192, 0), Line(8192, 0),
                                      Line(10000, 0), Line(10000, 0), Line(13000, 100)}));
}

TEST_F(CopyFilePartTest, AHeaderCutShortByAReadFailureIsWrittenAgainFromItsStart) {
  AllocateBuffer(4096);
  front.header = 10000;
  front.partNumber = 2;
  front.partSize = 3000;
  AddSource(30000, 34);
  fs.FailReadAt(kSource, 5000);
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 10000) + Pattern(13000, 3000));
  EXPECT_EQ(ReadsAt(0), 2);
  EXPECT_EQ(CountMessages("error 32 reading big.bin"), 1);
}

TEST_F(CopyFilePartTest, AnAbortBetweenBlocksKeepsWhatWasWrittenForALaterReGet) {
  AllocateBuffer(4096);
  front.partNumber = 2;
  front.partSize = 20000;
  AddSource(60000, 36);
  // Cleared once the first block of the part is in.
  front.onMessage = [](const std::string& message) {
    if (message.starts_with("\"big.bin\"        5120 bytes")) g_RunState.runFlag = false;
  };
  EXPECT_EQ(Extract(), 0u);
  front.onMessage = nullptr;
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 1024) + Pattern(21024, 4096));
  EXPECT_EQ(Messages().back(), "\r\n");

  g_RunState.runFlag = true;
  front.reget = true;
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 1024) + Pattern(21024, 20000));
}

TEST_F(CopyFilePartTest, AWriteFailureEndsTheExtraction) {
  AddSource(10000, 37);
  fs.FailWrites(kPart, 1);
  EXPECT_EQ(Extract(), 4u);
  EXPECT_EQ(CountMessages("\r\neror 32 writing big.bin\r\n"), 1);
  EXPECT_EQ(fs.OpenCount(kSource), 1);
  EXPECT_EQ(fs.FileBytes(kPart), "");
}

TEST_F(CopyFilePartTest, ADestinationThatDoesNotOpenEndsTheExtraction) {
  AddSource(10000, 38);
  EXPECT_EQ(node.CopyFilePart(kSource, "/mem/missing"_path), 4u);
  EXPECT_EQ(CountMessages("\r\neror opening destination " + "/mem/missing/big.bin"_path + "\r\n"), 1);
  EXPECT_EQ(Messages().back(), "/mem/missing/big.bin"_path + " : No such file or directory\r\n");
  EXPECT_EQ(fs.OpenStreams(), 0);
}

TEST_F(CopyFilePartTest, ASourceThatNeverOpensGivesUpAtTheReconnectLimit) {
  AddSource(10000, 39);
  g_RunState.reconnectLimit = 0;
  fs.FailOpens(kSource, CMemFileSystem::kForever);
  EXPECT_EQ(Extract(), 2u);
  EXPECT_EQ(Messages().back(), "/mem/src/big.bin"_path + " reconnect limit over, try again\r\n");
  EXPECT_FALSE(fs.Exists(kPart));
}

TEST_F(CopyFilePartTest, VerifiedReadingsMendAGlitchInThePart) {
  g_RunState.checkAfterCopy = true;
  AllocateBuffer(65536);
  front.partNumber = 2;
  front.partSize = 30000;
  AddSource(100000, 40);
  const uint64_t glitch = 31024 + 2048;
  fs.Glitch(kSource, glitch, {CMemFileSystem::PatternByte(40, glitch) ^ 0x5A});
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 1024) + Pattern(31024, 30000));
  EXPECT_EQ(g_RunState.errorsFixed, 1);
}

TEST_F(CopyFilePartTest, AVerifiedPartOfAShortenedSourceEndsWithTheSource) {
  g_RunState.checkAfterCopy = true;
  AllocateBuffer(8192);
  front.partSize = 30000;
  AddSource(20000, 41);
  node.m_data.size = 40000;  // listed before the source lost its tail
  int sourceReads = 0;
  fs.SetOnRead([&sourceReads](const std::string& path, uint64_t, size_t) {
    if (path == kSource && ++sourceReads > 1000) g_RunState.runFlag = false;
  });
  EXPECT_EQ(Extract(), 0u);
  EXPECT_TRUE(g_RunState.runFlag);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 20000));
  EXPECT_EQ(Messages().back(), "\r\n");
}

TEST_F(CopyFilePartTest, FormChangesDuringTheRunDoNotMoveThePart) {
  front.partNumber = 2;
  front.partSize = 3000;
  AddSource(10000, 35);
  front.onMessage = [this](const std::string& message) {
    if (message.starts_with("\"big.bin\"")) {
      front.header = 7;
      front.partSize = 11;
      front.partNumber = 9;
    }
  };
  EXPECT_EQ(Extract(), 0u);
  front.onMessage = nullptr;
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 1024) + Pattern(4024, 3000));
  EXPECT_EQ(ProgressLines().back(), Line(4024, 100));
  EXPECT_EQ(Permille().back(), 1000u);
}

// The header's bytes, lent by the source, are summed before the seek to the
// part start (which spoils them); the part's are summed where they lie.
TEST_F(CopyFilePartTest, LentHeaderAndPartAreSummedBeforeTheSourceMoves) {
  fs.SetOnRead({});
  fs.SetLending(true);
  AllocateBuffer(4096);
  front.partNumber = 2;
  front.partSize = 3 * 4096;
  front.header = 2 * 4096;
  AddSource(100000, 41);
  EXPECT_EQ(Extract(), 0u);
  const std::string expected = Pattern(0, 2 * 4096) + Pattern(2 * 4096 + 3 * 4096, 3 * 4096);
  EXPECT_TRUE(fs.FileBytes(kPart) == expected);
  EXPECT_EQ(g_RunState.runCrc, CrcUpdate(0xFFFFFFFF, expected.data(), expected.size()));
  EXPECT_EQ(fs.LendCount(kSource), 5);
}

}  // namespace

// ---- Part files that must not be written.

TEST_F(CopyFilePartTest, APartFileThatIsTheSourceItselfIsNeverEmptied) {
  front.partSize = 1000000;
  AddSource(3000000, 41);
  // No destination folder given: the part file would be the source.
  g_RunState.destinationClaims.Clear();
  EXPECT_EQ(node.CopyFilePart(kSource, "/mem/src"_path), 4u);
  EXPECT_EQ(Messages().back(), "\r\n" + "/mem/src/big.bin"_path + " is the source itself, not written\r\n");
  EXPECT_EQ(fs.FileSize(kSource), 3000000u);
  EXPECT_EQ(fs.FileBytes(kSource), Pattern(0, 3000000));

  // Nor a second name of it, with or without ReGet.
  fs.AddHardLink(kPart, kSource);
  EXPECT_EQ(Extract(), 4u);
  front.reget = true;
  EXPECT_EQ(Extract(), 4u);
  EXPECT_EQ(CountMessages("\r\n" + "/mem/dst/big.bin"_path + " is the source itself, not written\r\n"), 2);
  EXPECT_EQ(fs.FileBytes(kSource), Pattern(0, 3000000));
}

TEST_F(CopyFilePartTest, APartFileAnotherCopyHoldsIsNeitherEmptiedNorAppendedTo) {
  front.partSize = 3000;
  AddSource(10000, 42);
  fs.AddFile(kPart, "held by another copy");
  std::unique_ptr<CStream> other = FileOpen(kPart, OpenMode::kAppend);
  ASSERT_EQ(other->LockExclusive(), 0);
  EXPECT_EQ(Extract(), 4u);
  EXPECT_EQ(Messages().back(),
            "\r\n" + "/mem/dst/big.bin"_path + " is in use by another copy, left alone\r\n");
  EXPECT_EQ(fs.FileBytes(kPart), "held by another copy");
  other.reset();
  EXPECT_EQ(Extract(), 0u);
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 4024));
}

TEST_F(CopyFilePartTest, PassesThatNeverGetFurtherEndWithTheReconnectLimit) {
  g_RunState.reconnectLimit = 1;
  front.partSize = 3 * kMiB;
  AddSource(4 * kMiB, 43);
  fs.FailReadAt(kSource, 1024 + kMiB + 10, CMemFileSystem::kForever);
  EXPECT_EQ(Extract(), 2u);
  EXPECT_EQ(Messages().back(), "/mem/src/big.bin"_path + " reconnect limit over, try again\r\n");
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 1024 + kMiB));
}

TEST_F(CopyFilePartTest, PassesThatWriteAHeaderCutShortAgainEndWithTheReconnectLimit) {
  AllocateBuffer(4096);
  g_RunState.reconnectLimit = 1;
  front.header = 10000;
  AddSource(30000, 44);
  fs.FailReadAt(kSource, 5000, CMemFileSystem::kForever);
  // Every pass writes the header's first block again and fails in its second:
  // it gets no further, however much it writes.
  int readCalls = 0;
  fs.SetOnRead([&readCalls](const std::string&, uint64_t, size_t) {
    if (++readCalls > 10000) g_RunState.runFlag = false;
  });
  EXPECT_EQ(Extract(), 2u);
  EXPECT_TRUE(g_RunState.runFlag);
  EXPECT_EQ(Messages().back(), "/mem/src/big.bin"_path + " reconnect limit over, try again\r\n");
  EXPECT_EQ(fs.FileBytes(kPart), Pattern(0, 4096));
}
