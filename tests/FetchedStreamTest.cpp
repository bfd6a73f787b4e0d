// SPDX-License-Identifier: GPL-3.0-or-later
// The stream of a file fetched ahead: it serves the fetched bytes while reads
// go on from where they begin, and reaches the file itself for anything else.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/FetchedStream.h"
#include "tests/support/MemFileSystem.h"
#include "tests/support/TestPaths.h"

namespace {

class FetchedStreamTest : public ::testing::Test {
protected:
  FetchedStreamTest() : m_mount(fs) {
    // The file holds other bytes than those fetched, so that each read tells where it came from.
    fs.AddFile(kPath, std::string(100, 'f'));
  }

  // Returns a stream of the fetched bytes data, read at start.
  std::unique_ptr<CStream> Fetched(uint64_t start, const std::string& data, bool end) {
    return MakeFetchedStream(kPath, start, std::vector<uint8_t>(data.begin(), data.end()), end,
                             CFileId{7, 9});
  }

  static std::string ReadText(CStream& stream, size_t count) {
    std::string text(count, '\0');
    text.resize(stream.Read(text.data(), count));
    return text;
  }

  const std::string kPath = "/mem/a.bin"_path;
  CMemFileSystem fs{"/mem"_path};

private:
  CMountGuard m_mount;
};

TEST_F(FetchedStreamTest, ServesTheFetchedBytesFromTheirStartWithoutOpeningTheFile) {
  const auto stream = Fetched(40, "abcdef", true);
  ASSERT_EQ(stream->Seek(40, SeekOrigin::kSet), 0);
  EXPECT_EQ(ReadText(*stream, 4), "abcd");
  EXPECT_EQ(stream->Tell(), 44);
  EXPECT_EQ(ReadText(*stream, 10), "ef");
  EXPECT_TRUE(stream->Eof());
  EXPECT_FALSE(stream->Error());
  CFileId id;
  EXPECT_TRUE(stream->Identify(id));
  EXPECT_EQ(id, (CFileId{7, 9}));
  EXPECT_EQ(stream->Close(), 0);
  EXPECT_EQ(fs.OpenCount(kPath), 0);
}

TEST_F(FetchedStreamTest, ReadsPastTheFetchedBytesComeFromTheFile) {
  const auto stream = Fetched(0, "abc", false);
  EXPECT_EQ(ReadText(*stream, 5), "abcff");
  EXPECT_EQ(stream->Tell(), 5);
  EXPECT_EQ(ReadText(*stream, 2), "ff");
  EXPECT_EQ(fs.OpenCount(kPath), 1);
}

TEST_F(FetchedStreamTest, AMoveElsewhereDropsTheFetchedBytesForGood) {
  const auto stream = Fetched(10, "abcdef", true);
  ASSERT_EQ(stream->Seek(12, SeekOrigin::kSet), 0);
  EXPECT_EQ(ReadText(*stream, 3), "fff");
  ASSERT_EQ(stream->Seek(10, SeekOrigin::kSet), 0);
  EXPECT_EQ(ReadText(*stream, 3), "fff");
  EXPECT_EQ(fs.OpenCount(kPath), 1);
}

TEST_F(FetchedStreamTest, ADropOfTheCacheAndTheReadingsReachTheFile) {
  const auto stream = Fetched(0, "abcdef", true);
  EXPECT_EQ(ReadText(*stream, 2), "ab");
  // Readings go to the file; the stream's own reads go on as before.
  CReadQueue& readings = stream->Readings();
  alignas(4096) static uint8_t scratch[kReadingScratchBytes];
  readings.Start(0, 0, 4, scratch);
  uint32_t got = 0;
  const uint8_t* data = readings.Finish(0, got);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), got), "ffff");
  ASSERT_EQ(stream->Seek(2, SeekOrigin::kSet), 0);
  EXPECT_EQ(ReadText(*stream, 2), "cd");
  stream->DropCache(0, 6);
  EXPECT_EQ(ReadText(*stream, 2), "ff");
}

}  // namespace
