// SPDX-License-Identifier: GPL-3.0-or-later
// Pass unreadable: a stretch that stays unreadable is narrowed to its
// failing pages, which are zeroed and recorded in NAME.unreadable; a later
// run fills what reads again and removes the record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/DestinationState.h"
#include "engine/FileNode.h"
#include "engine/PassedPages.h"
#include "tests/support/EngineFixture.h"

namespace {

constexpr uint32_t kBlock = 16384;
constexpr uint64_t kSize = 40000;
constexpr uint32_t kSeed = 21;
const std::string kSource = "/mem/src/bad.bin"_path;
const std::string kCopy = "/mem/dst/bad.bin"_path;
const std::string kRecord = "/mem/dst/bad.bin.unreadable"_path;

class PassUnreadableTest : public CEngineTest {
protected:
  PassUnreadableTest() {
    fs.AddFolder("/mem/dst"_path);
    AllocateBuffer(kBlock);
    g_RunState.reconnectLimit = 1;
    g_RunState.passUnreadable = true;
    fs.AddPatternFile(kSource, kSize, kSeed, 1234567);
    EXPECT_TRUE(::FindFirst(kSource, node.m_data));
  }

  ResultFlags Copy() {
    g_RunState.destinationClaims.Clear();
    return node.CopyWholeFile(kSource, "/mem/dst"_path);
  }

  ResultFlags Extract() {
    g_RunState.destinationClaims.Clear();
    return node.CopyFilePart(kSource, "/mem/dst"_path);
  }

  // The source's bytes with [offset, offset + length) zeroed, for each pair.
  static std::string WithZeros(std::string bytes, const std::vector<std::pair<size_t, size_t>>& zeros) {
    for (const auto& [offset, length] : zeros) bytes.replace(offset, length, std::string(length, '\0'));
    return bytes;
  }

  // Names where two contents differ, without printing them.
  static std::string Differences(const std::string& got, const std::string& expected) {
    if (got.size() != expected.size())
      return "length " + std::to_string(got.size()) + " instead of " + std::to_string(expected.size());
    for (size_t i = 0; i < got.size(); ++i)
      if (got[i] != expected[i]) return "first difference at " + std::to_string(i);
    return "";
  }

  static std::string Source() { return CMemFileSystem::PatternBytes(kSeed, 0, kSize); }

  CFileNode node;
};

TEST_F(PassUnreadableTest, OnlyTheFailingPageIsZeroedAndRecorded) {
  // Every read that covers byte 20000 fails: the page 16384..20479 only.
  fs.FailReadAt(kSource, 20000, CMemFileSystem::kForever);
  EXPECT_EQ(Copy(), 2u);
  EXPECT_TRUE(fs.FileBytes(kCopy) == WithZeros(Source(), {{16384, 4096}}))
      << Differences(fs.FileBytes(kCopy), WithZeros(Source(), {{16384, 4096}}));
  EXPECT_EQ(fs.FileBytes(kRecord), "ferrox-unreadable 1 40000 1234567 0 0\n16384 4096\n");
  EXPECT_EQ(CountMessages("\r\n" + kSource + " cannot be read at 16384, reading it page by page\r\n"), 1);
  EXPECT_EQ(Messages().back(),
            "\"bad.bin\"       40000 bytes,    0 mb, 100%, 4096 bytes passed as zeros\r\n");
  EXPECT_EQ(g_RunState.passedBytes, 4096u);
  EXPECT_EQ(g_RunState.failureCause, "4096 bytes could not be read, passed as zeros");
  // The copy is stamped, but the record keeps it partial for the scan.
  CFindData listing = node.m_data;
  const CDestinationVerdict verdict = ClassifyDestination(kSource, listing, kCopy, nullptr);
  EXPECT_EQ(verdict.state, CDestinationState::kPartial);
  EXPECT_EQ(verdict.bytesToRead, 4096u);
}

TEST_F(PassUnreadableTest, TwoFailingSpotsGiveTwoRuns) {
  fs.FailReadAt(kSource, 5000, CMemFileSystem::kForever);
  fs.FailReadAt(kSource, 36000, CMemFileSystem::kForever);
  EXPECT_EQ(Copy(), 2u);
  EXPECT_TRUE(fs.FileBytes(kCopy) == WithZeros(Source(), {{4096, 4096}, {32768, 4096}}))
      << Differences(fs.FileBytes(kCopy), WithZeros(Source(), {{4096, 4096}, {32768, 4096}}));
  EXPECT_EQ(fs.FileBytes(kRecord), "ferrox-unreadable 1 40000 1234567 0 0\n4096 4096\n32768 4096\n");
  EXPECT_EQ(Messages().back(),
            "\"bad.bin\"       40000 bytes,    0 mb, 100%, 8192 bytes passed as zeros\r\n");
}

TEST_F(PassUnreadableTest, ALaterRunFillsWhatReadsNowAndRemovesTheRecord) {
  fs.FailReadAt(kSource, 20000, CMemFileSystem::kForever);
  ASSERT_EQ(Copy(), 2u);
  fs.ClearFaults();
  fs.ResetCounters();
  g_RunState.passUnreadable = false;  // the option is not needed to fill
  g_RunState.passedBytes = 0;
  EXPECT_EQ(Copy(), 0u);
  EXPECT_TRUE(fs.FileBytes(kCopy) == Source()) << Differences(fs.FileBytes(kCopy), Source());
  EXPECT_FALSE(fs.Exists(kRecord));
  EXPECT_EQ(CountMessages("\r\n\"bad.bin\" : 4096 of 4096 bytes that could not be read are copied now\r\n"),
            1);
  EXPECT_EQ(fs.BytesRead(kSource), 4096u);
  for (const std::string& m : Messages()) EXPECT_EQ(m.find("allready exist"), std::string::npos) << m;
  // Now it is complete.
  EXPECT_EQ(Copy(), 0u);
  EXPECT_EQ(Messages().back(), "\"bad.bin\"       40000 bytes,    0 mb, 100% - allready exist\r\n");
}

TEST_F(PassUnreadableTest, ALaterRunWithoutTheOptionKeepsTheCopyPartial) {
  fs.FailReadAt(kSource, 20000, CMemFileSystem::kForever);
  ASSERT_EQ(Copy(), 2u);
  g_RunState.passUnreadable = false;
  g_RunState.passedBytes = 0;
  EXPECT_EQ(Copy(), 2u);
  EXPECT_TRUE(fs.FileBytes(kCopy) == WithZeros(Source(), {{16384, 4096}}))
      << Differences(fs.FileBytes(kCopy), WithZeros(Source(), {{16384, 4096}}));
  EXPECT_EQ(fs.FileBytes(kRecord), "ferrox-unreadable 1 40000 1234567 0 0\n16384 4096\n");
  EXPECT_EQ(Messages().back(),
            "\"bad.bin\"       40000 bytes,    0 mb, 100%, 4096 bytes passed as zeros\r\n");
  for (const std::string& m : Messages()) EXPECT_EQ(m.find("allready exist"), std::string::npos) << m;
}

TEST_F(PassUnreadableTest, WithoutTheOptionTheFileEndsAsBefore) {
  g_RunState.passUnreadable = false;
  fs.FailReadAt(kSource, 20000, CMemFileSystem::kForever);
  EXPECT_EQ(Copy(), 2u);
  EXPECT_EQ(Messages().back(), kSource + " reconnect limit over, try again\r\n");
  EXPECT_TRUE(fs.FileBytes(kCopy) == Source().substr(0, kBlock))
      << Differences(fs.FileBytes(kCopy), Source().substr(0, kBlock));
  EXPECT_FALSE(fs.Exists(kRecord));
}

TEST_F(PassUnreadableTest, AFileInTheRecordsPlaceIsNeverWrittenOver) {
  fs.AddFile(kRecord, "my notes");
  fs.FailReadAt(kSource, 20000, CMemFileSystem::kForever);
  EXPECT_EQ(Copy(), 4u);
  EXPECT_EQ(fs.FileBytes(kRecord), "my notes");
  EXPECT_EQ(CountMessages("\r\n" + kRecord + " is not a record of unreadable pages, left alone\r\n"), 1);
  // Nothing was zeroed: the copy holds a true prefix only.
  EXPECT_TRUE(fs.FileBytes(kCopy) == Source().substr(0, kBlock))
      << Differences(fs.FileBytes(kCopy), Source().substr(0, kBlock));
}

TEST_F(PassUnreadableTest, ARecordOfAnotherVersionOfTheSourceLeavesTheCopyAlone) {
  fs.AddFile(kCopy, std::string(kSize, 'x'), 1234567);
  fs.AddFile(kRecord, "ferrox-unreadable 1 40000 999 0 0\n0 4096\n");
  EXPECT_EQ(Copy(), 4u);
  EXPECT_EQ(CountMessages("\r\n" + kCopy + " differs from its source, left alone\r\n"), 1);
  EXPECT_TRUE(fs.FileBytes(kCopy) == std::string(kSize, 'x'))
      << Differences(fs.FileBytes(kCopy), std::string(kSize, 'x'));
}

TEST_F(PassUnreadableTest, WithCheckAfterCopyOnlyTheFailingPageIsZeroed) {
  g_RunState.checkAfterCopy = true;
  AllocateBuffer(kBlock);
  fs.FailReadAt(kSource, 30000, CMemFileSystem::kForever);
  EXPECT_EQ(Copy(), 2u);
  EXPECT_TRUE(fs.FileBytes(kCopy) == WithZeros(Source(), {{28672, 4096}}))
      << Differences(fs.FileBytes(kCopy), WithZeros(Source(), {{28672, 4096}}));
  EXPECT_EQ(fs.FileBytes(kRecord), "ferrox-unreadable 1 40000 1234567 0 0\n28672 4096\n");
}

TEST_F(PassUnreadableTest, APartFileRecordsOffsetsInThePartFile) {
  // Header 1000, part 2 of 20000 bytes from source offset 21000: the
  // source's page 28672..32767 lies at 8672..12767 of the part file.
  front.copyByParts = true;
  front.header = 1000;
  front.partNumber = 2;
  front.partSize = 20000;
  fs.FailReadAt(kSource, 30000, CMemFileSystem::kForever);
  EXPECT_EQ(Extract(), 2u);
  const std::string part = Source().substr(0, 1000) + Source().substr(21000);
  EXPECT_TRUE(fs.FileBytes(kCopy) == WithZeros(part, {{8672, 4096}}))
      << Differences(fs.FileBytes(kCopy), WithZeros(part, {{8672, 4096}}));
  EXPECT_EQ(fs.FileBytes(kRecord), "ferrox-unreadable 1 40000 1234567 1000 21000\n8672 4096\n");
  // A later run reads the page again and completes the part file.
  fs.ClearFaults();
  EXPECT_EQ(Extract(), 0u);
  EXPECT_TRUE(fs.FileBytes(kCopy) == part) << Differences(fs.FileBytes(kCopy), part);
  EXPECT_FALSE(fs.Exists(kRecord));
}

TEST_F(PassUnreadableTest, AFailingPageInAPartFilesHeaderIsPassedToo) {
  front.copyByParts = true;
  front.header = 1000;
  front.partNumber = 2;
  front.partSize = 20000;
  fs.FailReadAt(kSource, 500, CMemFileSystem::kForever);
  EXPECT_EQ(Extract(), 2u);
  const std::string part = Source().substr(0, 1000) + Source().substr(21000);
  EXPECT_TRUE(fs.FileBytes(kCopy) == WithZeros(part, {{0, 1000}}))
      << Differences(fs.FileBytes(kCopy), WithZeros(part, {{0, 1000}}));
  EXPECT_EQ(fs.FileBytes(kRecord), "ferrox-unreadable 1 40000 1234567 1000 21000\n0 1000\n");
  fs.ClearFaults();
  EXPECT_EQ(Extract(), 0u);
  EXPECT_TRUE(fs.FileBytes(kCopy) == part) << Differences(fs.FileBytes(kCopy), part);
  EXPECT_FALSE(fs.Exists(kRecord));
}

TEST_F(PassUnreadableTest, APageWhoseCheckReadingsFailIsPassed) {
  // The copy's own reads of the page succeed; every reading of the check
  // after copy that covers it fails, so the check can never settle it.
  g_RunState.checkAfterCopy = true;
  AllocateBuffer(kBlock);
  fs.SetReadingsDepth(4);
  fs.FailReadingsAt(kSource, 30000, CMemFileSystem::kForever);
  EXPECT_EQ(Copy(), 2u);
  EXPECT_TRUE(fs.FileBytes(kCopy) == WithZeros(Source(), {{28672, 4096}}))
      << Differences(fs.FileBytes(kCopy), WithZeros(Source(), {{28672, 4096}}));
  EXPECT_EQ(fs.FileBytes(kRecord), "ferrox-unreadable 1 40000 1234567 0 0\n28672 4096\n");
  fs.ClearFaults();
  EXPECT_EQ(Copy(), 0u);
  EXPECT_TRUE(fs.FileBytes(kCopy) == Source()) << Differences(fs.FileBytes(kCopy), Source());
  EXPECT_FALSE(fs.Exists(kRecord));
}

TEST(PassedPagesTest, RecordTextRoundTrips) {
  CPassedPages pages;
  pages.sourceSize = 5000000000;
  pages.sourceTime = 1700000000;
  pages.Add(4096, 4096);
  pages.Add(8192, 4096);  // joined
  pages.Add(4294967296, 100);
  EXPECT_EQ(pages.Text(), "ferrox-unreadable 1 5000000000 1700000000 0 0\n4096 8192\n4294967296 100\n");
  CPassedPages parsed;
  ASSERT_TRUE(parsed.Parse(pages.Text()));
  EXPECT_EQ(parsed.runs, pages.runs);
  EXPECT_EQ(parsed.Bytes(), 8292u);
  EXPECT_FALSE(parsed.Parse("my notes"));
  EXPECT_FALSE(parsed.Parse("ferrox-unreadable 2 1 1 0 0\n"));
  EXPECT_FALSE(parsed.Parse("ferrox-unreadable 1 1 1 0 0\n1 x\n"));
}

}  // namespace
