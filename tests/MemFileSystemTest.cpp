// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileServices.h"
#include "tests/support/MemFileSystem.h"
#include "tests/support/TestClock.h"
#include "tests/support/TestPaths.h"

namespace {

constexpr uint64_t kGiB = 1024ull * 1024 * 1024;

// Every test reaches the file system through the platform functions, with the test clock installed.
class MemFileSystemTest : public ::testing::Test {
protected:
  CTestClock m_clock;
  CClockInstall m_clockInstall{m_clock};
  CMemFileSystem m_fs{"/mem"_path};
  CMountGuard m_mount{m_fs};
};

// Result of listing a pattern to its end.
struct CListing {
  bool opened = false;
  int openErrno = 0;
  std::vector<CFindData> records;
  int endErrno = 0;

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const CFindData& record : records) names.push_back(record.name);
    return names;
  }
};

CListing List(const std::string& pattern) {
  CListing listing;
  CFindData data;
  errno = 0;
  std::unique_ptr<CFindHandle> handle = FindFirst(pattern, data);
  listing.opened = handle != nullptr;
  if (!handle) {
    listing.openErrno = errno;
    return listing;
  }
  do {
    listing.records.push_back(data);
  } while (handle->FindNext(data));
  listing.endErrno = errno;
  return listing;
}

std::vector<std::string> NumberedNames(int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back("f" + std::to_string(i));
  return names;
}

std::string ReadAll(CStream& stream) {
  std::string result;
  char buffer[7];  // small on purpose: many reads, the last one short
  size_t got = 0;
  while ((got = stream.Read(buffer, sizeof buffer)) > 0) result.append(buffer, got);
  return result;
}

void WriteText(CStream& stream, const std::string& text) {
  ASSERT_EQ(stream.Write(text.data(), text.size()), text.size());
  ASSERT_FALSE(stream.Error());
}

TEST_F(MemFileSystemTest, ReadSetsEofOnlyWhenShortAtTheEnd) {
  m_fs.AddFile("/mem/a.txt"_path, "0123456789");
  auto stream = FileOpen("/mem/a.txt"_path, OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  char buffer[16];

  EXPECT_EQ(stream->Read(buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(stream->Read(buffer, 6), 6u);  // exactly up to the end
  EXPECT_FALSE(stream->Eof());
  EXPECT_EQ(stream->Tell(), 10);
  EXPECT_EQ(stream->Read(buffer, 6), 0u);
  EXPECT_TRUE(stream->Eof());
  EXPECT_FALSE(stream->Error());

  ASSERT_EQ(stream->Seek(7, SeekOrigin::kSet), 0);
  EXPECT_FALSE(stream->Eof());
  EXPECT_EQ(stream->Read(buffer, 16), 3u);
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_TRUE(stream->Eof());
  EXPECT_EQ(m_fs.ReadCount("/mem/a.txt"_path), 4);
  EXPECT_EQ(m_fs.BytesRead("/mem/a.txt"_path), 13u);
}

TEST_F(MemFileSystemTest, SeekRulesAndIndicators) {
  m_fs.AddFile("/mem/a"_path, "abcdef");
  auto stream = FileOpen("/mem/a"_path, OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  char buffer[4];

  ASSERT_EQ(stream->Seek(100, SeekOrigin::kSet), 0);  // past the end is allowed
  EXPECT_EQ(stream->Tell(), 100);
  EXPECT_EQ(stream->Read(buffer, 4), 0u);
  EXPECT_TRUE(stream->Eof());

  errno = 0;
  EXPECT_EQ(stream->Seek(-1, SeekOrigin::kSet), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(stream->Tell(), 100);  // unchanged
  EXPECT_EQ(stream->Seek(-7, SeekOrigin::kEnd), -1);
  EXPECT_EQ(errno, EINVAL);

  ASSERT_EQ(stream->Seek(-2, SeekOrigin::kEnd), 0);
  ASSERT_EQ(stream->Seek(-1, SeekOrigin::kCur), 0);
  EXPECT_EQ(stream->Tell(), 3);
  EXPECT_EQ(stream->Read(buffer, 2), 2u);
  EXPECT_EQ(std::string(buffer, 2), "de");

  // Seek clears the end-of-file indicator, never the error indicator.
  EXPECT_EQ(stream->Write("x", 1), 0u);  // a read stream cannot write
  EXPECT_TRUE(stream->Error());
  EXPECT_EQ(errno, EBADF);
  stream->Read(buffer, 4);
  ASSERT_TRUE(stream->Eof());
  ASSERT_EQ(stream->Seek(0, SeekOrigin::kSet), 0);
  EXPECT_FALSE(stream->Eof());
  EXPECT_TRUE(stream->Error());
  stream->ClearErr();
  EXPECT_FALSE(stream->Error());
}

TEST_F(MemFileSystemTest, OpenErrors) {
  m_fs.AddFolder("/mem/dir"_path);
  m_fs.AddSpecial("/mem/fifo"_path);
  m_fs.AddFile("/mem/file"_path, "x");
  struct CCase {
    std::string path;
    OpenMode mode;
    int err;
  };
  const std::vector<CCase> cases = {
      {"/mem/missing"_path, OpenMode::kRead, ENOENT},     {"/mem/dir"_path, OpenMode::kRead, EINVAL},
      {"/mem/fifo"_path, OpenMode::kRead, EINVAL},        {"/mem/fifo"_path, OpenMode::kAppend, EINVAL},
      {"/mem/dir"_path, OpenMode::kAppend, EISDIR},       {"/mem/dir"_path, OpenMode::kWrite, EISDIR},
      {"/mem/nodir/new"_path, OpenMode::kAppend, ENOENT}, {"/mem/nodir/new"_path, OpenMode::kWrite, ENOENT},
      {"/mem/file/new"_path, OpenMode::kWrite, ENOTDIR},  {"/memory/x"_path, OpenMode::kAppend, ENOENT},
  };
  for (const CCase& c : cases) {
    SCOPED_TRACE(c.path);
    errno = 0;
    EXPECT_EQ(FileOpen(c.path, c.mode), nullptr);
    EXPECT_EQ(errno, c.err);
  }
  EXPECT_FALSE(m_fs.Exists("/mem/nodir"_path));
  EXPECT_EQ(m_fs.OpenCount("/mem/dir"_path), 3);
  EXPECT_EQ(m_fs.OpenFailCount("/mem/dir"_path), 3);
  EXPECT_EQ(m_fs.OpenStreams(), 0);
}

TEST_F(MemFileSystemTest, AppendCreatesAndAlwaysWritesAtTheEnd) {
  m_clock.Advance(5000);
  auto stream = FileOpen("/mem/new.bin"_path, OpenMode::kAppend);
  ASSERT_NE(stream, nullptr);
  EXPECT_TRUE(m_fs.IsFile("/mem/new.bin"_path));
  EXPECT_EQ(m_fs.TimeWrite("/mem/new.bin"_path), CTestClock::kDefaultStart + 5);
  EXPECT_EQ(m_fs.TimeAccess("/mem/new.bin"_path), CTestClock::kDefaultStart + 5);
  EXPECT_EQ(stream->Tell(), 0);
  WriteText(*stream, "abc");
  ASSERT_EQ(stream->Seek(0, SeekOrigin::kSet), 0);
  WriteText(*stream, "de");
  EXPECT_EQ(stream->Tell(), 5);
  EXPECT_EQ(m_fs.FileBytes("/mem/new.bin"_path), "abcde");
  char byte;
  EXPECT_EQ(stream->Read(&byte, 1), 0u);  // an append stream cannot read
  EXPECT_TRUE(stream->Error());
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(stream->Close(), 0);

  // Reopened, it starts at the end; another stream's writes land at the end too.
  m_fs.AddFile("/mem/part"_path, "12345", 77);
  auto first = FileOpen("/mem/part"_path, OpenMode::kAppend);
  auto second = FileOpen("/mem/part"_path, OpenMode::kAppend);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->Tell(), 5);
  WriteText(*first, "6");
  WriteText(*second, "78");
  EXPECT_EQ(second->Tell(), 8);
  WriteText(*first, "9");
  EXPECT_EQ(first->Tell(), 9);
  EXPECT_EQ(m_fs.FileBytes("/mem/part"_path), "123456789");
  EXPECT_EQ(m_fs.TimeWrite("/mem/part"_path), 77);  // writes leave the times alone
}

TEST_F(MemFileSystemTest, WriteModeEmptiesAndStreamsShareContent) {
  m_fs.AddFile("/mem/f"_path, "old content");
  auto reader = FileOpen("/mem/f"_path, OpenMode::kRead);
  auto writer = FileOpen("/mem/f"_path, OpenMode::kWrite);
  ASSERT_NE(reader, nullptr);
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(m_fs.FileSize("/mem/f"_path), 0u);
  EXPECT_EQ(m_fs.TimeWrite("/mem/f"_path), CTestClock::kDefaultStart);
  WriteText(*writer, "new");
  ASSERT_EQ(writer->Seek(5, SeekOrigin::kSet), 0);
  WriteText(*writer, "!");  // the gap reads as zero bytes
  EXPECT_EQ(m_fs.FileBytes("/mem/f"_path), std::string("new\0\0!", 6));
  EXPECT_EQ(ReadAll(*reader), std::string("new\0\0!", 6));
  EXPECT_EQ(m_fs.StoredBytes(), 6u);
}

TEST_F(MemFileSystemTest, CloseFlushAndDropCacheAreCounted) {
  m_fs.AddFile("/mem/f"_path, "data");
  {
    auto stream = FileOpen("/mem/f"_path, OpenMode::kRead);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(m_fs.OpenStreams(), 1);
    EXPECT_EQ(stream->Flush(), 0);
    stream->DropCache(0, 4096);
    stream->DropCache(4096, 8192);
    EXPECT_EQ(stream->Close(), 0);
    errno = 0;
    EXPECT_EQ(stream->Close(), -1);  // later calls fail
    EXPECT_EQ(errno, EBADF);
    char byte;
    EXPECT_EQ(stream->Read(&byte, 1), 0u);
    EXPECT_EQ(stream->Tell(), -1);
  }
  { auto unclosed = FileOpen("/mem/f"_path, OpenMode::kRead); }  // destroying closes it
  EXPECT_EQ(m_fs.OpenStreams(), 0);
  EXPECT_EQ(m_fs.CloseCount("/mem/f"_path), 3);
  EXPECT_EQ(m_fs.FlushCount("/mem/f"_path), 1);
  EXPECT_EQ(m_fs.DropCacheCount("/mem/f"_path), 2);
  EXPECT_EQ(m_fs.DropCacheRanges("/mem/f"_path),
            (std::vector<CMemFileSystem::CByteRange>{{0, 4096}, {4096, 8192}}));

  m_fs.FailClose("/mem/f"_path, 1, EIO);
  auto stream = FileOpen("/mem/f"_path, OpenMode::kAppend);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->Close(), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_TRUE(stream->Error());
  EXPECT_EQ(m_fs.OpenStreams(), 0);
}

TEST_F(MemFileSystemTest, ListingKeepsInsertionOrderAndFillsRecords) {
  m_fs.AddFolder("/mem/src"_path, 111);
  m_fs.AddFile("/mem/src/zeta"_path, "12345", 222);
  m_fs.AddFolder("/mem/src/Alpha"_path, 333);
  m_fs.AddSpecial("/mem/src/sock"_path);
  m_fs.AddFile("/mem/src/beta"_path, "");

  CListing listing = List("/mem/src/*.*"_path);
  ASSERT_TRUE(listing.opened);
  EXPECT_EQ(listing.Names(), (std::vector<std::string>{".", "..", "zeta", "Alpha", "sock", "beta"}));
  EXPECT_EQ(listing.endErrno, ENOENT);

  const CFindData& dot = listing.records[0];
  EXPECT_EQ(dot.attrib, kAttribSubdir);
  EXPECT_EQ(dot.time_write, 111);
  EXPECT_EQ(listing.records[1].attrib, kAttribSubdir);
  const CFindData& zeta = listing.records[2];
  EXPECT_EQ(zeta.attrib, 0u);
  EXPECT_EQ(zeta.size, 5u);
  EXPECT_EQ(zeta.time_create, -1);
  EXPECT_EQ(zeta.time_write, 222);
  EXPECT_EQ(zeta.time_access, 222);
  EXPECT_EQ(zeta.dev, CMemFileSystem::kDev);
  EXPECT_NE(zeta.ino, 0u);
  const CFindData& alpha = listing.records[3];
  EXPECT_EQ(alpha.attrib, kAttribSubdir);
  EXPECT_EQ(alpha.size, 0u);
  EXPECT_EQ(listing.records[4].attrib, kAttribSpecial);
  std::vector<uint64_t> inodes;
  for (const CFindData& record : listing.records) inodes.push_back(record.ino);
  std::sort(inodes.begin() + 2, inodes.end());
  EXPECT_EQ(std::adjacent_find(inodes.begin() + 2, inodes.end()), inodes.end());
  EXPECT_EQ(dot.ino, List("/mem/src"_path).records.at(0).ino);

  m_fs.SetDotEntries(false);
  EXPECT_EQ(List("/mem//src/*.*"_path).Names(), (std::vector<std::string>{"zeta", "Alpha", "sock", "beta"}));
  EXPECT_EQ(m_fs.FindFirstCount("/mem/src/*.*"_path), 2);

  m_fs.AddFolder("/mem/empty"_path);
  CListing empty = List("/mem/empty/*.*"_path);
  EXPECT_FALSE(empty.opened);
  EXPECT_EQ(empty.openErrno, ENOENT);
  EXPECT_EQ(m_fs.ListNames("/mem/src"_path), (std::vector<std::string>{"zeta", "Alpha", "sock", "beta"}));
}

TEST_F(MemFileSystemTest, ListingErrorsAndPlainPaths) {
  m_fs.AddFile("/mem/dir/file.txt"_path, "abc", 444);
  EXPECT_TRUE(m_fs.IsFolder("/mem/dir"_path));  // created on the way

  CListing missing = List("/mem/nothing/*.*"_path);
  EXPECT_FALSE(missing.opened);
  EXPECT_EQ(missing.openErrno, ENOENT);
  EXPECT_EQ(List("/mem/dir/file.txt/*.*"_path).openErrno, ENOTDIR);

  CListing one = List("/mem/dir/file.txt"_path);
  ASSERT_TRUE(one.opened);
  ASSERT_EQ(one.records.size(), 1u);
  EXPECT_EQ(one.records[0].name, "file.txt");
  EXPECT_EQ(one.records[0].size, 3u);
  EXPECT_EQ(one.records[0].time_write, 444);
  EXPECT_EQ(one.endErrno, ENOENT);
  EXPECT_EQ(List("/mem/dir/"_path).Names(), std::vector<std::string>{"dir"});
  EXPECT_EQ(List("/mem/dir/*.txt"_path).openErrno, ENOENT);  // no wildcards but "*.*"
  EXPECT_EQ(List("/mem/gone"_path).openErrno, ENOENT);
}

TEST_F(MemFileSystemTest, BrokenListingsThenComplete) {
  m_fs.AddFolder("/mem/big"_path);
  for (const std::string& name : NumberedNames(50)) m_fs.AddFile("/mem/big/"_path + name, "x");
  m_fs.BreakListing("/mem/big"_path, {10, 20, 30}, EIO);

  for (int entries : {10, 20, 30}) {
    SCOPED_TRACE(entries);
    CListing listing = List("/mem/big/*.*"_path);
    ASSERT_TRUE(listing.opened);
    ASSERT_EQ(listing.records.size(), static_cast<size_t>(entries) + 2);  // the dot entries do not count
    EXPECT_EQ(listing.records.back().name, "f" + std::to_string(entries - 1));
    EXPECT_EQ(listing.endErrno, EIO);
  }
  CListing complete = List("/mem/big/*.*"_path);
  EXPECT_EQ(complete.records.size(), 52u);
  EXPECT_EQ(complete.endErrno, ENOENT);

  // Without dot entries a listing broken before its first entry fails in FindFirst.
  m_fs.SetDotEntries(false);
  m_fs.BreakListing("/mem/big"_path, {0, -1, 60}, ENETRESET);
  CListing none = List("/mem/big/*.*"_path);
  EXPECT_FALSE(none.opened);
  EXPECT_EQ(none.openErrno, ENETRESET);
  EXPECT_EQ(List("/mem/big/*.*"_path).endErrno, ENOENT);  // -1: complete
  CListing longer = List("/mem/big/*.*"_path);
  EXPECT_EQ(longer.records.size(), 50u);  // all the folder has, and still the failure
  EXPECT_EQ(longer.endErrno, ENETRESET);
  EXPECT_EQ(List("/mem/big/*.*"_path).endErrno, ENOENT);
}

TEST_F(MemFileSystemTest, ListingOpenFailsTimesAndForever) {
  m_fs.AddFile("/mem/d/a"_path, "");
  m_fs.FailListingOpen("/mem/d"_path, 2, ETIMEDOUT);
  m_fs.BreakListing("/mem/d"_path, {0});  // used by the first listing that opens
  for (int i = 0; i < 2; ++i) {
    CListing listing = List("/mem/d/*.*"_path);
    EXPECT_FALSE(listing.opened);
    EXPECT_EQ(listing.openErrno, ETIMEDOUT);
  }
  CListing broken = List("/mem/d/*.*"_path);
  EXPECT_EQ(broken.Names(), (std::vector<std::string>{".", ".."}));
  EXPECT_EQ(broken.endErrno, EIO);
  EXPECT_EQ(List("/mem/d/*.*"_path).Names(), (std::vector<std::string>{".", "..", "a"}));
  EXPECT_TRUE(List("/mem/d/a"_path).opened);  // plain paths are not listings

  m_fs.FailListingOpen("/mem/d"_path, CMemFileSystem::kForever);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(List("/mem/d/*.*"_path).openErrno, EIO);
  EXPECT_EQ(m_fs.FindFirstCount("/mem/d/*.*"_path), 9);
  m_fs.ClearFaults();
  EXPECT_TRUE(List("/mem/d/*.*"_path).opened);
}

#if defined(_WIN32)
// Either separator, in any mix, names one entry, and the counters keep one count for it.
TEST_F(MemFileSystemTest, OnWindowsASlashAndABackslashNameTheSameEntry) {
  m_fs.AddFile("C:/mem/d/f.txt", "abc");
  EXPECT_EQ(m_fs.ListNames("C:\\mem\\d\\"), std::vector<std::string>{"f.txt"});
  auto stream = FileOpen("C:\\mem/d\\f.txt", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ReadAll(*stream), "abc");
  EXPECT_EQ(m_fs.OpenCount("C:/mem//d/f.txt"), 1);
  EXPECT_EQ(List("C:/mem/d/*.*").Names(), (std::vector<std::string>{".", "..", "f.txt"}));
  EXPECT_EQ(m_fs.FindFirstCount("C:\\mem\\d\\*.*"), 1);
  errno = 0;
  EXPECT_EQ(MakeDir("C:/mem\\d/"), -1);
  EXPECT_EQ(errno, EEXIST);
}
#endif

TEST_F(MemFileSystemTest, OpenFailsTimesThenHeals) {
  m_fs.AddFile("/mem/f"_path, "abc");
  m_fs.FailOpens("/mem/f"_path, 3, EIO);
  for (int i = 0; i < 3; ++i) {
    errno = 0;
    EXPECT_EQ(FileOpen("/mem/f"_path, i == 1 ? OpenMode::kAppend : OpenMode::kRead), nullptr);
    EXPECT_EQ(errno, EIO);
  }
  EXPECT_NE(FileOpen("/mem/f"_path, OpenMode::kRead), nullptr);
  EXPECT_EQ(m_fs.OpenCount("/mem/f"_path), 4);
  EXPECT_EQ(m_fs.OpenFailCount("/mem/f"_path), 3);

  m_fs.FailOpens("/mem/f"_path, CMemFileSystem::kForever);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(FileOpen("/mem/f"_path, OpenMode::kRead), nullptr);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(m_fs.FileBytes("/mem/f"_path), "abc");  // failed opens change nothing
}

TEST_F(MemFileSystemTest, OpenFailsUntilTheClockReachesASecond) {
  m_fs.AddFile("/mem/f"_path, "abc");
  const int64_t back = CTestClock::kDefaultStart + 300;
  m_fs.FailOpensUntil("/mem/f"_path, back, ENETDOWN);
  int attempts = 0;
  std::unique_ptr<CStream> stream;
  while (!(stream = FileOpen("/mem/f"_path, OpenMode::kRead))) {
    ASSERT_EQ(errno, ENETDOWN);
    ++attempts;
    SleepMs(1000);
  }
  EXPECT_EQ(attempts, 300);
  EXPECT_EQ(TimeNow(), back);
  EXPECT_EQ(m_clock.SleepCount(), 300);
}

TEST_F(MemFileSystemTest, ReadFailsAtAnOffsetWithTheExactShortCountThenHeals) {
  const std::string content = CMemFileSystem::PatternBytes(7, 0, 10000);
  m_fs.AddFile("/mem/f"_path, content);
  m_fs.FailReadAt("/mem/f"_path, 5000, 2, EIO);
  auto stream = FileOpen("/mem/f"_path, OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  std::string buffer(8192, '\0');

  ASSERT_EQ(stream->Read(buffer.data(), 4096), 4096u);  // ends before the offset
  errno = 0;
  EXPECT_EQ(stream->Read(buffer.data(), 4096), 904u);
  EXPECT_TRUE(stream->Error());
  EXPECT_FALSE(stream->Eof());
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(buffer.substr(0, 904), content.substr(4096, 904));
  EXPECT_EQ(stream->Tell(), 5000);

  stream->ClearErr();
  EXPECT_EQ(stream->Read(buffer.data(), 100), 0u);  // starts at the offset: nothing before it
  EXPECT_TRUE(stream->Error());
  stream->ClearErr();
  ASSERT_EQ(stream->Seek(4000, SeekOrigin::kSet), 0);
  ASSERT_EQ(stream->Read(buffer.data(), 8192), 6000u);  // healed
  EXPECT_EQ(buffer.substr(0, 6000), content.substr(4000));
  EXPECT_TRUE(stream->Eof());
  EXPECT_FALSE(stream->Error());
}

TEST_F(MemFileSystemTest, GlitchScriptsBytesPerReadOrdinal) {
  const std::string content = CMemFileSystem::PatternBytes(3, 0, 8192);
  m_fs.AddFile("/mem/f"_path, content);
  const uint64_t offset = 4100;
  const int truth = static_cast<unsigned char>(content[offset]);
  m_fs.Glitch("/mem/f"_path, offset, {0x41, 0x42, -1, 0x41});
  auto stream = FileOpen("/mem/f"_path, OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  std::string page(4096, '\0');
  auto readPage = [&](uint64_t start, size_t count) {
    EXPECT_EQ(stream->Seek(static_cast<int64_t>(start), SeekOrigin::kSet), 0);
    EXPECT_EQ(stream->Read(page.data(), count), count);
  };
  auto byteAt = [&](uint64_t start) {
    return static_cast<int>(static_cast<unsigned char>(page[static_cast<size_t>(offset - start)]));
  };

  readPage(0, 4096);  // does not cover the offset: no ordinal used
  EXPECT_EQ(page, content.substr(0, 4096));
  readPage(4096, 4096);
  EXPECT_EQ(byteAt(4096), 0x41);
  readPage(4000, 200);
  EXPECT_EQ(byteAt(4000), 0x42);
  readPage(offset, 1);
  EXPECT_EQ(byteAt(offset), truth);
  readPage(4096, 10);
  EXPECT_EQ(byteAt(4096), 0x41);
  EXPECT_EQ(page.substr(0, 4), content.substr(4096, 4));  // the other bytes are true
  readPage(4096, 4096);                                   // beyond the script
  EXPECT_EQ(page, content.substr(4096, 4096));
}

TEST_F(MemFileSystemTest, FullDiskStoresWhatFitsThenFailsWithEnospc) {
  m_fs.AddFile("/mem/other"_path, std::string(900, 'o'));
  m_fs.AddPatternFile("/mem/huge"_path, 100 * kGiB, 1);  // does not take space
  m_fs.SetCapacity(1000);
  auto stream = FileOpen("/mem/out"_path, OpenMode::kWrite);
  ASSERT_NE(stream, nullptr);
  const std::string data = CMemFileSystem::PatternBytes(9, 0, 150);
  errno = 0;
  EXPECT_EQ(stream->Write(data.data(), data.size()), 100u);
  EXPECT_TRUE(stream->Error());
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(m_fs.FileBytes("/mem/out"_path), data.substr(0, 100));
  EXPECT_EQ(stream->Tell(), 100);
  EXPECT_EQ(m_fs.StoredBytes(), 1000u);

  // Overwriting takes no space; the truncation of a wb open frees it.
  stream->ClearErr();
  ASSERT_EQ(stream->Seek(0, SeekOrigin::kSet), 0);
  EXPECT_EQ(stream->Write("zz", 2), 2u);
  EXPECT_FALSE(stream->Error());
  EXPECT_EQ(FileOpen("/mem/other"_path, OpenMode::kWrite)->Close(), 0);
  EXPECT_EQ(m_fs.StoredBytes(), 100u);
}

TEST_F(MemFileSystemTest, WritesFailForAPath) {
  m_fs.FailWrites("/mem/out"_path, 1, EIO);
  auto stream = FileOpen("/mem/out"_path, OpenMode::kAppend);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->Write("abc", 3), 0u);
  EXPECT_TRUE(stream->Error());
  EXPECT_EQ(errno, EIO);
  stream->ClearErr();
  WriteText(*stream, "abc");
  EXPECT_EQ(m_fs.FileBytes("/mem/out"_path), "abc");
  EXPECT_EQ(m_fs.WriteCount("/mem/out"_path), 2);
  EXPECT_EQ(m_fs.BytesWritten("/mem/out"_path), 3u);
}

TEST_F(MemFileSystemTest, PatternFileOfFiveGibibytes) {
  const uint64_t size = 5 * kGiB;
  m_fs.AddPatternFile("/mem/big.iso"_path, size, 42);
  EXPECT_EQ(m_fs.StoredBytes(), 0u);
  EXPECT_EQ(m_fs.FileSize("/mem/big.iso"_path), size);
  EXPECT_EQ(List("/mem/big.iso"_path).records.at(0).size, size);

  auto stream = FileOpen("/mem/big.iso"_path, OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(stream->Seek(static_cast<int64_t>(size) - 10, SeekOrigin::kSet), 0);
  char buffer[20];
  EXPECT_EQ(stream->Read(buffer, sizeof buffer), 10u);
  EXPECT_TRUE(stream->Eof());
  EXPECT_FALSE(stream->Error());
  EXPECT_EQ(std::string(buffer, 10), CMemFileSystem::PatternBytes(42, size - 10, 10));
  EXPECT_EQ(stream->Tell(), static_cast<int64_t>(size));

  // Appending stores only the new bytes after the synthetic ones.
  auto append = FileOpen("/mem/big.iso"_path, OpenMode::kAppend);
  ASSERT_NE(append, nullptr);
  EXPECT_EQ(append->Tell(), static_cast<int64_t>(size));
  WriteText(*append, "tail");
  EXPECT_EQ(m_fs.StoredBytes(), 4u);
  ASSERT_EQ(stream->Seek(-6, SeekOrigin::kEnd), 0);
  EXPECT_EQ(stream->Read(buffer, sizeof buffer), 6u);
  EXPECT_EQ(std::string(buffer, 6), CMemFileSystem::PatternBytes(42, size - 2, 2) + "tail");
}

TEST(MemFileSystemPatternTest, PatternIsDeterministicPerSeedAndOffset) {
  const std::string whole = CMemFileSystem::PatternBytes(5, 0, 100);
  EXPECT_EQ(CMemFileSystem::PatternBytes(5, 0, 100), whole);
  EXPECT_EQ(CMemFileSystem::PatternBytes(5, 13, 50), whole.substr(13, 50));
  EXPECT_EQ(CMemFileSystem::PatternByte(5, 77), static_cast<uint8_t>(whole[77]));
  EXPECT_NE(CMemFileSystem::PatternBytes(6, 0, 100), whole);
  EXPECT_NE(whole.substr(0, 50), whole.substr(50, 50));
  char buffer[3];
  CMemFileSystem::FillPattern(5, 4 * kGiB + 7, buffer, 3);
  EXPECT_EQ(std::string(buffer, 3), CMemFileSystem::PatternBytes(5, 4 * kGiB + 7, 3));
}

TEST_F(MemFileSystemTest, HooksRunBeforeTheCallWithoutTheLock) {
  m_fs.AddFile("/mem/f"_path, std::string(10, 'x'));
  std::vector<std::string> calls;
  m_fs.SetOnOpen([&](const std::string& path, OpenMode mode) {
    calls.push_back("open " + path + (mode == OpenMode::kRead ? " r" : " w"));
    calls.push_back("opens so far " + std::to_string(m_fs.OpenCount(path)));
  });
  m_fs.SetOnRead([&](const std::string& path, uint64_t offset, size_t count) {
    calls.push_back("read " + path + " " + std::to_string(offset) + " " + std::to_string(count));
    if (m_fs.ReadCount(path) == 1) m_fs.FailReadAt(path, 6);
  });
  auto stream = FileOpen("/mem//f"_path, OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  char buffer[4];
  EXPECT_EQ(stream->Read(buffer, 4), 4u);
  EXPECT_EQ(stream->Read(buffer, 4), 2u);  // the fault the hook set before this read
  EXPECT_EQ(calls,
            (std::vector<std::string>{"open " + "/mem/f"_path + " r", "opens so far 0",
                                      "read " + "/mem/f"_path + " 0 4", "read " + "/mem/f"_path + " 4 4"}));
}

TEST_F(MemFileSystemTest, MakeDirAndSetFileTimes) {
  m_fs.AddFile("/mem/file"_path, "");
  m_clock.Advance(2000);
  EXPECT_EQ(MakeDir("/mem/dst"_path), 0);
  EXPECT_TRUE(m_fs.IsFolder("/mem/dst"_path));
  EXPECT_EQ(m_fs.TimeWrite("/mem/dst"_path), CTestClock::kDefaultStart + 2);
  struct CCase {
    std::string path;
    int err;
  };
  for (const CCase& c : std::vector<CCase>{{"/mem/dst"_path, EEXIST},
                                           {"/mem/file"_path, EEXIST},
                                           {"/mem"_path, EEXIST},
                                           {"/mem/a/b"_path, ENOENT},
                                           {"/mem/file/sub"_path, ENOTDIR}}) {
    SCOPED_TRACE(c.path);
    errno = 0;
    EXPECT_EQ(MakeDir(c.path), -1);
    EXPECT_EQ(errno, c.err);
  }
  EXPECT_EQ(m_fs.MakeDirCount("/mem/dst"_path), 2);

  EXPECT_EQ(SetFileTimes("/mem/file"_path, 100, 200), 0);
  EXPECT_EQ(m_fs.TimeAccess("/mem/file"_path), 100);
  EXPECT_EQ(m_fs.TimeWrite("/mem/file"_path), 200);
  EXPECT_EQ(SetFileTimes("/mem/none"_path, 1, 2), -1);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(MemFileSystemTest, WorkerThreadReadsWhileTheTestInspects) {
  m_fs.AddPatternFile("/mem/f"_path, 1 << 20, 11);
  std::atomic<bool> done{false};
  std::thread worker([&done] {
    auto stream = FileOpen("/mem/f"_path, OpenMode::kRead);
    std::vector<char> buffer(4096);
    while (stream && stream->Read(buffer.data(), buffer.size()) == buffer.size()) {
    }
    done = true;
  });
  while (!done) {
    EXPECT_LE(m_fs.ReadCount("/mem/f"_path), 257);
    std::this_thread::yield();
  }
  worker.join();
  EXPECT_EQ(m_fs.ReadCount("/mem/f"_path), 257);
  EXPECT_EQ(m_fs.OpenStreams(), 0);
}

TEST(TestClockTest, SleepAndAdvanceMoveTimeAtOnce) {
  CTestClock clock(1000);
  EXPECT_EQ(clock.Now(), 1000);
  clock.Sleep(999);
  EXPECT_EQ(clock.Now(), 1000);
  clock.Sleep(1);
  EXPECT_EQ(clock.Now(), 1001);
  clock.Advance(300 * 1000);
  EXPECT_EQ(clock.Now(), 1301);
  clock.Advance(-2500);
  EXPECT_EQ(clock.NowMs(), 1298500);
  EXPECT_EQ(clock.SleepCount(), 2);
  EXPECT_EQ(clock.SleptMs(), 1000u);

  clock.SetAutoAdvance(400);
  EXPECT_EQ(clock.Now(), 1298);  // read first, then advanced
  EXPECT_EQ(clock.Now(), 1298);
  EXPECT_EQ(clock.Now(), 1299);
  EXPECT_EQ(clock.NowMs(), 1299700);
}

TEST(TestClockTest, InstallServesThePlatformFunctionsAndRestores) {
  CTestClock clock;
  {
    CClockInstall install(clock);
    EXPECT_EQ(TimeNow(), CTestClock::kDefaultStart);
    SleepMs(300 * 1000);  // returns at once
    EXPECT_EQ(TimeNow(), CTestClock::kDefaultStart + 300);
    EXPECT_EQ(clock.NowCount(), 2);
  }
  EXPECT_GT(TimeNow(), CTestClock::kDefaultStart + 100000);  // the system clock again
  EXPECT_EQ(clock.NowCount(), 2);
}

}  // namespace
