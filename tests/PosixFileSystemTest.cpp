// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the POSIX backend against the real kernel, each in a temporary
// folder of its own.
#include "platform/posix/PosixFileSystem.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/LargeBuffer.h"
#include "platform/posix/PosixReadings.h"
#include "tests/support/TempDir.h"

namespace {

constexpr uint64_t kGiB = uint64_t{1} << 30;
constexpr uint64_t kMiB = uint64_t{1} << 20;

// Returns count bytes of a fixed pattern that never repeats at a short period,
// so a misplaced window shows up as wrong bytes.
std::string PatternBytes(size_t count) {
  std::string bytes(count, '\0');
  uint32_t state = 12345;
  for (size_t i = 0; i < count; ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(state >> 24);
  }
  return bytes;
}

// Creates or replaces the file at path with bytes; returns true on success.
bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
    if (put <= 0) {
      close(fd);
      return false;
    }
    done += static_cast<size_t>(put);
  }
  return close(fd) == 0;
}

// Returns the whole content of the file at path (empty when it cannot be read).
std::string ReadFileBytes(const std::string& path) {
  std::string bytes;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  char buffer[65536];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(got));
  close(fd);
  return bytes;
}

// Returns stat(2) of path; fails the test when it does not exist.
struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path << ": " << std::strerror(errno);
  return st;
}

// Returns every record of the listing of pattern by name, and checks that the
// listing ends with errno ENOENT.
std::map<std::string, CFindData> ListAll(const std::string& pattern) {
  std::map<std::string, CFindData> entries;
  CFindData data;
  std::unique_ptr<CFindHandle> handle = PosixFileSystem().FindFirst(pattern, data);
  EXPECT_NE(handle, nullptr) << pattern << ": " << std::strerror(errno);
  if (!handle) return entries;
  do {
    EXPECT_TRUE(entries.emplace(data.name, data).second) << "listed twice: " << data.name;
  } while (handle->FindNext(data));
  EXPECT_EQ(errno, ENOENT);
  return entries;
}

// Opens path, on another thread, and gives up waiting after a few seconds:
// an open that blocks then fails the test instead of hanging it, and is
// released by opening the other end of the FIFO. Returns the stream; errno is
// the open's.
std::unique_ptr<CStream> OpenWithoutBlocking(const std::string& path, OpenMode mode) {
  std::unique_ptr<CStream> stream;
  int error = 0;
  std::promise<void> finished;
  std::future<void> done = finished.get_future();
  std::thread opener([&] {
    stream = PosixFileSystem().Open(path, mode);
    error = errno;
    finished.set_value();
  });
  bool returned = done.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  int otherEnd = -1;
  if (!returned) {
    otherEnd = open(path.c_str(), (mode == OpenMode::kRead ? O_WRONLY : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
  }
  opener.join();
  if (otherEnd >= 0) close(otherEnd);
  EXPECT_TRUE(returned) << "Open blocked on " << path;
  errno = error;
  return stream;
}

// Sets the process umask for the lifetime of the object.
class CUmaskScope {
public:
  explicit CUmaskScope(mode_t mask) : m_saved(umask(mask)) {}
  ~CUmaskScope() { umask(m_saved); }
  CUmaskScope(const CUmaskScope&) = delete;
  CUmaskScope& operator=(const CUmaskScope&) = delete;

private:
  mode_t m_saved;
};

// Makes path the current directory for the lifetime of the object.
class CCurrentDirScope {
public:
  explicit CCurrentDirScope(const std::string& path)
      : m_saved(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    EXPECT_EQ(chdir(path.c_str()), 0);
  }
  ~CCurrentDirScope() {
    if (m_saved >= 0) {
      EXPECT_EQ(fchdir(m_saved), 0);
      close(m_saved);
    }
  }
  CCurrentDirScope(const CCurrentDirScope&) = delete;
  CCurrentDirScope& operator=(const CCurrentDirScope&) = delete;

private:
  int m_saved;
};

// Limits the size of files the process may write, and ignores SIGXFSZ, for
// the lifetime of the object. Nothing may be logged to a file while it lives.
class CFileSizeLimit {
public:
  explicit CFileSizeLimit(rlim_t bytes) {
    m_haveLimit = getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    m_haveAction = sigaction(SIGXFSZ, &ignore, &m_savedAction) == 0;
    struct rlimit limit = m_saved;
    limit.rlim_cur = bytes;
    m_active = m_haveLimit && m_haveAction && setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~CFileSizeLimit() {
    if (m_haveLimit) setrlimit(RLIMIT_FSIZE, &m_saved);
    if (m_haveAction) sigaction(SIGXFSZ, &m_savedAction, nullptr);
  }
  CFileSizeLimit(const CFileSizeLimit&) = delete;
  CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;

  bool Active() const { return m_active; }

private:
  struct rlimit m_saved {};
  struct sigaction m_savedAction {};
  bool m_haveLimit = false;
  bool m_haveAction = false;
  bool m_active = false;
};

class CPosixFileSystemTest : public ::testing::Test {
protected:
  CFileSystem& m_fs = PosixFileSystem();
  CTempDir m_dir;
};

// ---- Where a path lies -------------------------------------------------------

TEST_F(CPosixFileSystemTest, ALocalFolderIsNotRemoteAndNeitherIsAPathThatCannotBeLookedAt) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", "x"));
  errno = 0;
  EXPECT_FALSE(m_fs.IsRemote(m_dir.Path()));
  EXPECT_FALSE(m_fs.IsRemote(m_dir / "f.bin"));
  EXPECT_FALSE(m_fs.IsRemote(m_dir / "missing"));
  EXPECT_EQ(errno, 0);
}

// ---- Reading ---------------------------------------------------------------

TEST_F(CPosixFileSystemTest, ReadInSeveralCallsGivesExactBytesAndEofOnlyAfterLastByte) {
  const std::string content = PatternBytes(10000);
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", content));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_NE(stream, nullptr) << std::strerror(errno);

  std::string got(10000, '\0');
  EXPECT_EQ(stream->Read(got.data(), 4096), 4096u);
  EXPECT_FALSE(stream->Eof());
  EXPECT_EQ(stream->Read(got.data() + 4096, 4096), 4096u);
  EXPECT_FALSE(stream->Eof());
  // Exactly the rest: the last byte is read, but the end is not seen yet.
  EXPECT_EQ(stream->Read(got.data() + 8192, 1808), 1808u);
  EXPECT_FALSE(stream->Eof());
  EXPECT_EQ(got, content);

  char extra = 0;
  EXPECT_EQ(stream->Read(&extra, 1), 0u);
  EXPECT_TRUE(stream->Eof());
  EXPECT_FALSE(stream->Error());
}

TEST_F(CPosixFileSystemTest, ReadBeyondTheRestReturnsTheRestWithEof) {
  const std::string content = PatternBytes(3000);
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", content));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);

  std::vector<char> buffer(1 << 20);
  ASSERT_EQ(stream->Read(buffer.data(), 1000), 1000u);
  EXPECT_EQ(stream->Read(buffer.data(), buffer.size()), 2000u);
  EXPECT_TRUE(stream->Eof());
  EXPECT_FALSE(stream->Error());
  EXPECT_EQ(std::string(buffer.data(), 2000), content.substr(1000));
  EXPECT_EQ(stream->Tell(), 3000);
}

TEST_F(CPosixFileSystemTest, ReadOfZeroBytesSetsNothingEvenAtTheEnd) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", "abc"));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(stream->Seek(0, SeekOrigin::kEnd), 0);
  char byte = 0;
  EXPECT_EQ(stream->Read(&byte, 0), 0u);
  EXPECT_FALSE(stream->Eof());
  EXPECT_FALSE(stream->Error());
}

TEST_F(CPosixFileSystemTest, EmptyFileReadsNothingWithEof) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "empty", ""));
  auto stream = m_fs.Open(m_dir / "empty", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  char byte = 0;
  EXPECT_EQ(stream->Read(&byte, 1), 0u);
  EXPECT_TRUE(stream->Eof());
  EXPECT_FALSE(stream->Error());
}

TEST_F(CPosixFileSystemTest, LargeBlocksRoundTripThroughWriteAndRead) {
  const std::string content = PatternBytes(3 * kMiB + 17);
  auto out = m_fs.Open(m_dir / "big.bin", OpenMode::kWrite);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->Write(content.data(), content.size()), content.size());
  EXPECT_FALSE(out->Error());
  EXPECT_EQ(out->Tell(), static_cast<int64_t>(content.size()));
  EXPECT_EQ(out->Flush(), 0);
  EXPECT_EQ(out->Close(), 0);

  auto in = m_fs.Open(m_dir / "big.bin", OpenMode::kRead);
  ASSERT_NE(in, nullptr);
  std::string got;
  std::vector<char> block(kMiB);
  size_t n;
  while ((n = in->Read(block.data(), block.size())) > 0) got.append(block.data(), n);
  EXPECT_TRUE(in->Eof());
  EXPECT_FALSE(in->Error());
  EXPECT_EQ(got.size(), content.size());
  EXPECT_TRUE(got == content);
}

TEST_F(CPosixFileSystemTest, WindowsReadAfterSeeksMatchTheFile) {
  const std::string content = PatternBytes(2 * kMiB + 333);
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", content));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);

  constexpr size_t kWindow = 6 * 1024;
  std::vector<char> window(kWindow);
  uint64_t state = 7;
  for (int i = 0; i < 200; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    size_t offset = static_cast<size_t>((state >> 33) % (content.size() - kWindow));
    ASSERT_EQ(stream->Seek(static_cast<int64_t>(offset), SeekOrigin::kSet), 0);
    ASSERT_EQ(stream->Read(window.data(), kWindow), kWindow);
    ASSERT_EQ(std::memcmp(window.data(), content.data() + offset, kWindow), 0) << "offset " << offset;
  }
  // The last window of the file, read backwards from the end.
  ASSERT_EQ(stream->Seek(-static_cast<int64_t>(kWindow), SeekOrigin::kEnd), 0);
  ASSERT_EQ(stream->Read(window.data(), kWindow), kWindow);
  EXPECT_EQ(std::memcmp(window.data(), content.data() + content.size() - kWindow, kWindow), 0);
}

// ---- Seek and Tell -----------------------------------------------------------

TEST_F(CPosixFileSystemTest, SeekClearsEofAndTellFollowsThePosition) {
  const std::string content = PatternBytes(1000);
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", content));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->Tell(), 0);

  std::vector<char> buffer(2000);
  EXPECT_EQ(stream->Read(buffer.data(), buffer.size()), 1000u);
  ASSERT_TRUE(stream->Eof());
  EXPECT_EQ(stream->Tell(), 1000);

  ASSERT_EQ(stream->Seek(100, SeekOrigin::kSet), 0);
  EXPECT_FALSE(stream->Eof());
  EXPECT_EQ(stream->Tell(), 100);
  char byte = 0;
  ASSERT_EQ(stream->Read(&byte, 1), 1u);
  EXPECT_EQ(byte, content[100]);

  ASSERT_EQ(stream->Seek(-51, SeekOrigin::kCur), 0);
  EXPECT_EQ(stream->Tell(), 50);
  ASSERT_EQ(stream->Read(&byte, 1), 1u);
  EXPECT_EQ(byte, content[50]);

  ASSERT_EQ(stream->Seek(-1, SeekOrigin::kEnd), 0);
  EXPECT_EQ(stream->Tell(), 999);
  ASSERT_EQ(stream->Read(&byte, 1), 1u);
  EXPECT_EQ(byte, content[999]);
  EXPECT_FALSE(stream->Eof());
}

TEST_F(CPosixFileSystemTest, SeekToANegativePositionFailsAndKeepsThePosition) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", PatternBytes(100)));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(stream->Seek(40, SeekOrigin::kSet), 0);

  errno = 0;
  EXPECT_EQ(stream->Seek(-1, SeekOrigin::kSet), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(stream->Tell(), 40);
  errno = 0;
  EXPECT_EQ(stream->Seek(-41, SeekOrigin::kCur), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(stream->Tell(), 40);
  errno = 0;
  EXPECT_EQ(stream->Seek(-101, SeekOrigin::kEnd), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(stream->Tell(), 40);
}

TEST_F(CPosixFileSystemTest, SeekPastTheEndIsAllowedAndReadsNothing) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", PatternBytes(100)));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(stream->Seek(500, SeekOrigin::kSet), 0);
  EXPECT_EQ(stream->Tell(), 500);
  char byte = 0;
  EXPECT_EQ(stream->Read(&byte, 1), 0u);
  EXPECT_TRUE(stream->Eof());
  EXPECT_FALSE(stream->Error());
}

TEST_F(CPosixFileSystemTest, SeekClearsEofButKeepsTheErrorIndicator) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", "abc"));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  char buffer[8];
  EXPECT_EQ(stream->Read(buffer, sizeof buffer), 3u);
  ASSERT_TRUE(stream->Eof());
  // Writing to a read-only stream is refused by the kernel.
  errno = 0;
  EXPECT_EQ(stream->Write("x", 1), 0u);
  EXPECT_EQ(errno, EBADF);
  ASSERT_TRUE(stream->Error());

  ASSERT_EQ(stream->Seek(0, SeekOrigin::kSet), 0);
  EXPECT_FALSE(stream->Eof());
  EXPECT_TRUE(stream->Error());
  stream->ClearErr();
  EXPECT_FALSE(stream->Error());
  EXPECT_EQ(ReadFileBytes(m_dir / "f.bin"), "abc");
}

TEST_F(CPosixFileSystemTest, ReadFromAWriteOnlyStreamSetsTheErrorIndicator) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", "abc"));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kAppend);
  ASSERT_NE(stream, nullptr);
  char buffer[4];
  errno = 0;
  EXPECT_EQ(stream->Read(buffer, sizeof buffer), 0u);
  EXPECT_EQ(errno, EBADF);
  EXPECT_TRUE(stream->Error());
  EXPECT_FALSE(stream->Eof());
}

// ---- Writing -----------------------------------------------------------------

TEST_F(CPosixFileSystemTest, AppendAddsToAnExistingFileAndEveryWriteGoesToItsEnd) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.txt", "hello"));
  auto stream = m_fs.Open(m_dir / "f.txt", OpenMode::kAppend);
  ASSERT_NE(stream, nullptr) << std::strerror(errno);
  EXPECT_EQ(stream->Write(" world", 6), 6u);
  EXPECT_EQ(stream->Tell(), 11);
  // Even after a seek to the start, the next write lands at the end.
  ASSERT_EQ(stream->Seek(0, SeekOrigin::kSet), 0);
  EXPECT_EQ(stream->Write("!", 1), 1u);
  EXPECT_EQ(stream->Tell(), 12);
  EXPECT_EQ(stream->Close(), 0);
  EXPECT_EQ(ReadFileBytes(m_dir / "f.txt"), "hello world!");
}

TEST_F(CPosixFileSystemTest, UpdateOverwritesInsideAnExistingFileAndNeverCreatesOne) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", "0123456789"));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kUpdate);
  ASSERT_NE(stream, nullptr) << std::strerror(errno);
  EXPECT_EQ(stream->Tell(), 0);
  ASSERT_EQ(stream->Seek(4, SeekOrigin::kSet), 0);
  EXPECT_EQ(stream->Write("ab", 2), 2u);
  EXPECT_EQ(stream->Tell(), 6);
  // A write at the end adds to the file.
  ASSERT_EQ(stream->Seek(0, SeekOrigin::kEnd), 0);
  EXPECT_EQ(stream->Write("Z", 1), 1u);
  EXPECT_EQ(stream->Close(), 0);
  EXPECT_EQ(ReadFileBytes(m_dir / "f.bin"), "0123ab6789Z");

  errno = 0;
  EXPECT_EQ(m_fs.Open(m_dir / "missing.bin", OpenMode::kUpdate), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_NE(access((m_dir / "missing.bin").c_str(), F_OK), 0);
}

TEST_F(CPosixFileSystemTest, RemoveFileRemovesAFileAndNothingElse) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", "x"));
  EXPECT_EQ(m_fs.RemoveFile(m_dir / "f.bin"), 0) << std::strerror(errno);
  EXPECT_NE(access((m_dir / "f.bin").c_str(), F_OK), 0);
  errno = 0;
  EXPECT_EQ(m_fs.RemoveFile(m_dir / "f.bin"), -1);
  EXPECT_EQ(errno, ENOENT);
  ASSERT_EQ(mkdir((m_dir / "folder").c_str(), 0755), 0);
  EXPECT_EQ(m_fs.RemoveFile(m_dir / "folder"), -1);
  struct stat st {};
  EXPECT_EQ(stat((m_dir / "folder").c_str(), &st), 0);
}

TEST_F(CPosixFileSystemTest, AppendCreatesAMissingFile) {
  auto stream = m_fs.Open(m_dir / "new.txt", OpenMode::kAppend);
  ASSERT_NE(stream, nullptr) << std::strerror(errno);
  EXPECT_EQ(stream->Write("abc", 3), 3u);
  EXPECT_EQ(stream->Close(), 0);
  EXPECT_EQ(ReadFileBytes(m_dir / "new.txt"), "abc");
}

TEST_F(CPosixFileSystemTest, WriteModeEmptiesAnExistingFileAtOpen) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.txt", "abcdef"));
  auto stream = m_fs.Open(m_dir / "f.txt", OpenMode::kWrite);
  ASSERT_NE(stream, nullptr) << std::strerror(errno);
  EXPECT_EQ(StatOf(m_dir / "f.txt").st_size, 0);
  EXPECT_EQ(stream->Tell(), 0);
  EXPECT_EQ(stream->Write("xy", 2), 2u);
  EXPECT_EQ(stream->Close(), 0);
  EXPECT_EQ(ReadFileBytes(m_dir / "f.txt"), "xy");
}

// ---- Identity, locks and truncation -----------------------------------------

TEST_F(CPosixFileSystemTest, StreamsOfOneFileShareAnIdentityWhateverTheirPath) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", "one file"));
  ASSERT_TRUE(WriteFileBytes(m_dir / "other.bin", "one file"));
  ASSERT_EQ(link((m_dir / "f.bin").c_str(), (m_dir / "hard.bin").c_str()), 0);
  ASSERT_EQ(symlink((m_dir / "f.bin").c_str(), (m_dir / "soft.bin").c_str()), 0);
  auto source = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_NE(source, nullptr);
  CFileId sourceId;
  ASSERT_TRUE(source->Identify(sourceId));
  EXPECT_TRUE(sourceId.Known());
  for (const char* name : {"hard.bin", "soft.bin", "f.bin"}) {
    auto stream = m_fs.Open(m_dir / name, OpenMode::kAppend);
    CFileId id;
    ASSERT_TRUE(stream && stream->Identify(id)) << name;
    EXPECT_EQ(id, sourceId) << name;
  }
  auto other = m_fs.Open(m_dir / "other.bin", OpenMode::kRead);
  CFileId otherId;
  ASSERT_TRUE(other && other->Identify(otherId));
  EXPECT_NE(otherId, sourceId);
  // The listing record carries the same identity.
  CFindData data;
  ASSERT_NE(m_fs.FindFirst(m_dir / "hard.bin", data), nullptr);
  EXPECT_EQ((CFileId{data.dev, data.ino}), sourceId);
}

TEST_F(CPosixFileSystemTest, AnExclusiveLockRefusesEveryOtherOpenOfTheFileUntilItCloses) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", "data"));
  auto holder = m_fs.Open(m_dir / "f.bin", OpenMode::kAppend);
  ASSERT_NE(holder, nullptr);
  ASSERT_EQ(holder->LockExclusive(), 0) << std::strerror(errno);
  EXPECT_EQ(holder->LockExclusive(), 0);  // taking it again changes nothing

  auto second = m_fs.Open(m_dir / "f.bin", OpenMode::kAppend);
  ASSERT_NE(second, nullptr);
  errno = 0;
  EXPECT_EQ(second->LockExclusive(), -1);
  EXPECT_EQ(errno, EWOULDBLOCK);
  // Through another name of the file, and from another process, too.
  ASSERT_EQ(link((m_dir / "f.bin").c_str(), (m_dir / "hard.bin").c_str()), 0);
  auto third = m_fs.Open(m_dir / "hard.bin", OpenMode::kAppend);
  EXPECT_EQ(third->LockExclusive(), -1);
  const pid_t child = fork();
  if (child == 0) {
    auto stream = PosixFileSystem().Open(m_dir / "f.bin", OpenMode::kAppend);
    _exit(stream && stream->LockExclusive() == -1 && errno == EWOULDBLOCK ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  EXPECT_EQ(holder->Close(), 0);
  EXPECT_EQ(second->LockExclusive(), 0);
}

TEST_F(CPosixFileSystemTest, TruncateCutsTheFileAndAppendWritesAtTheNewEnd) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", "abcdef"));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kAppend);
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(stream->Truncate(2), 0);
  EXPECT_EQ(StatOf(m_dir / "f.bin").st_size, 2);
  ASSERT_EQ(stream->Truncate(0), 0);
  ASSERT_EQ(stream->Seek(0, SeekOrigin::kEnd), 0);
  EXPECT_EQ(stream->Tell(), 0);
  EXPECT_EQ(stream->Write("xy", 2), 2u);
  EXPECT_EQ(stream->Close(), 0);
  EXPECT_EQ(ReadFileBytes(m_dir / "f.bin"), "xy");
  errno = 0;
  EXPECT_EQ(stream->Truncate(0), -1);
  EXPECT_EQ(errno, EBADF);
}

TEST_F(CPosixFileSystemTest, WriteModeCreatesAFileWithTheUmaskApplied) {
  CUmaskScope mask(077);
  auto stream = m_fs.Open(m_dir / "new.txt", OpenMode::kWrite);
  ASSERT_NE(stream, nullptr) << std::strerror(errno);
  EXPECT_EQ(stream->Close(), 0);
  struct stat st = StatOf(m_dir / "new.txt");
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(CPosixFileSystemTest, AFailingWriteReturnsTheBytesWrittenBeforeTheFailure) {
  auto stream = m_fs.Open(m_dir / "limited.bin", OpenMode::kWrite);
  ASSERT_NE(stream, nullptr);
  const std::string content = PatternBytes(4096);
  size_t written = 0;
  int error = 0;
  bool active = false;
  {
    // The kernel writes up to the limit, then refuses with EFBIG.
    CFileSizeLimit limit(1000);
    active = limit.Active();
    if (active) {
      errno = 0;
      written = stream->Write(content.data(), content.size());
      error = errno;
    }
  }
  ASSERT_TRUE(active) << "could not lower RLIMIT_FSIZE";
  EXPECT_EQ(written, 1000u);
  EXPECT_EQ(error, EFBIG);
  EXPECT_TRUE(stream->Error());
  EXPECT_EQ(stream->Close(), 0);
  EXPECT_EQ(ReadFileBytes(m_dir / "limited.bin"), content.substr(0, 1000));
}

TEST_F(CPosixFileSystemTest, OpenOfAMissingFileFailsWithEnoent) {
  errno = 0;
  EXPECT_EQ(m_fs.Open(m_dir / "missing", OpenMode::kRead), nullptr);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(m_fs.Open(m_dir / "nofolder/new", OpenMode::kAppend), nullptr);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(m_fs.Open(m_dir / "nofolder/new", OpenMode::kWrite), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(CPosixFileSystemTest, ReadingThroughASymlinkReadsTheTarget) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "target", "through the link"));
  ASSERT_EQ(symlink("target", (m_dir / "link").c_str()), 0);
  auto stream = m_fs.Open(m_dir / "link", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  char buffer[64];
  size_t n = stream->Read(buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, n), "through the link");
}

// ---- Closing -----------------------------------------------------------------

TEST_F(CPosixFileSystemTest, ClosedStreamRefusesEveryOperation) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", "abc"));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->Close(), 0);
  EXPECT_FALSE(stream->Error());

  errno = 0;
  EXPECT_EQ(stream->Close(), -1);
  EXPECT_EQ(errno, EBADF);
  char byte = 0;
  errno = 0;
  EXPECT_EQ(stream->Read(&byte, 1), 0u);
  EXPECT_EQ(errno, EBADF);
  EXPECT_TRUE(stream->Error());
  EXPECT_FALSE(stream->Eof());
  errno = 0;
  EXPECT_EQ(stream->Write(&byte, 1), 0u);
  EXPECT_EQ(errno, EBADF);
  errno = 0;
  EXPECT_EQ(stream->Seek(0, SeekOrigin::kSet), -1);
  EXPECT_EQ(errno, EBADF);
  errno = 0;
  EXPECT_EQ(stream->Tell(), -1);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(stream->Flush(), -1);
}

TEST_F(CPosixFileSystemTest, ClosingReleasesTheDescriptor) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", "abc"));
  int probe = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(probe, 0);
  close(probe);
  {
    auto closed = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
    ASSERT_NE(closed, nullptr);
    EXPECT_EQ(closed->Close(), 0);
    auto destroyed = m_fs.Open(m_dir / "f.bin", OpenMode::kAppend);
    ASSERT_NE(destroyed, nullptr);
  }
  // Both descriptors are free again: the lowest free one is the probe's.
  int again = open("/dev/null", O_RDONLY | O_CLOEXEC);
  EXPECT_EQ(again, probe);
  if (again >= 0) close(again);
}

TEST_F(CPosixFileSystemTest, DestroyingStreamsAndSearchesLeavesErrnoAlone) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", "abc"));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  CFindData data;
  auto handle = m_fs.FindFirst(m_dir / "*.*", data);
  ASSERT_NE(handle, nullptr);
  errno = EDOM;
  stream.reset();
  EXPECT_EQ(errno, EDOM);
  handle.reset();
  EXPECT_EQ(errno, EDOM);
}

// Returns the reads the block device holding path has completed (its stat file), or -1 when that
// cannot be told (no block device, as on tmpfs).
int64_t DeviceReads(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return -1;
  const std::string statFile =
      "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)) + "/stat";
  FILE* file = std::fopen(statFile.c_str(), "r");
  if (file == nullptr) return -1;
  long long reads = -1;
  if (std::fscanf(file, "%lld", &reads) != 1) reads = -1;
  std::fclose(file);
  return reads;
}

TEST_F(CPosixFileSystemTest, ReadingsBypassTheCacheAndEachReachesTheDevice) {
  std::string content(256 * 4096, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 131 + i / 4096) & 0xff);
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", content));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_TRUE(stream);
  std::string whole(content.size(), '\0');
  ASSERT_EQ(stream->Read(whole.data(), whole.size()), whole.size());
  // The file leaves the page cache: whatever readings bring back in shows.
  const int fd = open((m_dir / "f.bin").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  fdatasync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  CReadQueue& readings = stream->Readings();
  if (readings.Depth() == 1) GTEST_SKIP() << "the file system of the test folder takes no direct reads";
  EXPECT_EQ(readings.Depth(), kPosixReadingsInFlight);

  std::vector<uint8_t*> scratch;
  std::vector<std::unique_ptr<uint8_t[]>> areas;
  for (uint32_t slot = 0; slot < readings.Depth(); ++slot) {
    areas.emplace_back(new uint8_t[kReadingScratchBytes + kReadingScratchAlign]);
    const auto address = reinterpret_cast<uintptr_t>(areas.back().get());
    scratch.push_back(areas.back().get() +
                      (kReadingScratchAlign - address % kReadingScratchAlign) % kReadingScratchAlign);
  }
  // Windows of every length and start, the last one past the end of the file; all in flight at once.
  const int64_t before = DeviceReads(m_dir / "f.bin");
  std::vector<std::pair<int64_t, uint32_t>> windows;
  for (uint32_t slot = 0; slot < readings.Depth(); ++slot) {
    windows.emplace_back(static_cast<int64_t>(slot) * 16381 + slot % 7, 1 + (slot * 97) % 6144);
    if (slot + 1 == readings.Depth()) windows.back() = {static_cast<int64_t>(content.size()) - 10, 6000};
    readings.Start(slot, windows[slot].first, windows[slot].second, scratch[slot]);
  }
  for (uint32_t slot = 0; slot < readings.Depth(); ++slot) {
    uint32_t got = 0;
    const uint8_t* data = readings.Finish(slot, got);
    ASSERT_TRUE(data) << ErrorText(errno);
    const size_t start = static_cast<size_t>(windows[slot].first);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), got),
              content.substr(start, windows[slot].second))
        << "slot " << slot;
  }
  // None went through the page cache, so each reached the device.
  void* map = mmap(nullptr, content.size(), PROT_READ, MAP_SHARED, fd, 0);
  ASSERT_NE(map, MAP_FAILED);
  std::vector<unsigned char> resident(content.size() / 4096);
  ASSERT_EQ(mincore(map, content.size(), resident.data()), 0);
  EXPECT_EQ(std::count_if(resident.begin(), resident.end(), [](unsigned char r) { return (r & 1) != 0; }), 0);
  munmap(map, content.size());
  close(fd);
  const int64_t after = DeviceReads(m_dir / "f.bin");
  if (before >= 0 && after >= 0) {
    EXPECT_GT(after, before);
  }
  // The stream goes on where it stood.
  uint8_t byte = 0;
  EXPECT_EQ(stream->Read(&byte, 1), 0u);
  EXPECT_TRUE(stream->Eof());
}

TEST_F(CPosixFileSystemTest, DropCacheKeepsTheStreamUsable) {
  const std::string content = PatternBytes(100000);
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", content));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  std::string got(content.size(), '\0');
  ASSERT_EQ(stream->Read(got.data(), got.size()), got.size());
  errno = EDOM;
  stream->DropCache(0, static_cast<int64_t>(content.size()));
  stream->DropCache(-5, -5);  // refused by the kernel, silently
  EXPECT_EQ(errno, EDOM);
  EXPECT_FALSE(stream->Error());
  EXPECT_EQ(stream->Tell(), static_cast<int64_t>(content.size()));
  ASSERT_EQ(stream->Seek(0, SeekOrigin::kSet), 0);
  std::string again(content.size(), '\0');
  ASSERT_EQ(stream->Read(again.data(), again.size()), again.size());
  EXPECT_TRUE(again == content);
}

// ---- Refusing what is not a regular file ---------------------------------------

TEST_F(CPosixFileSystemTest, OpeningAFolderFailsWithEinval) {
  ASSERT_EQ(mkdir((m_dir / "sub").c_str(), 0755), 0);
  for (OpenMode mode : {OpenMode::kRead, OpenMode::kAppend, OpenMode::kWrite}) {
    errno = 0;
    EXPECT_EQ(m_fs.Open(m_dir / "sub", mode), nullptr);
    EXPECT_EQ(errno, EINVAL) << static_cast<int>(mode);
  }
  EXPECT_TRUE(S_ISDIR(StatOf(m_dir / "sub").st_mode));
}

TEST_F(CPosixFileSystemTest, OpeningAFifoWithoutAPeerFailsAtOnce) {
  ASSERT_EQ(mkfifo((m_dir / "fifo").c_str(), 0644), 0);
  for (OpenMode mode : {OpenMode::kRead, OpenMode::kAppend, OpenMode::kWrite}) {
    errno = 0;
    EXPECT_EQ(OpenWithoutBlocking(m_dir / "fifo", mode), nullptr);
    EXPECT_EQ(errno, EINVAL) << static_cast<int>(mode);
  }
}

TEST_F(CPosixFileSystemTest, OpeningAFifoThatHasAPeerFailsWithEinval) {
  const std::string fifo = m_dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  // A reader makes the write opens succeed at the kernel level.
  int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  for (OpenMode mode : {OpenMode::kAppend, OpenMode::kWrite}) {
    errno = 0;
    EXPECT_EQ(OpenWithoutBlocking(fifo, mode), nullptr);
    EXPECT_EQ(errno, EINVAL) << static_cast<int>(mode);
  }
  // A writer is there too now; a read open must still be refused.
  int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(write(writer, "data", 4), 4);
  errno = 0;
  EXPECT_EQ(OpenWithoutBlocking(fifo, OpenMode::kRead), nullptr);
  EXPECT_EQ(errno, EINVAL);
  // Nothing was taken out of the FIFO.
  char buffer[8];
  EXPECT_EQ(read(reader, buffer, sizeof buffer), 4);
  close(writer);
  close(reader);
}

TEST_F(CPosixFileSystemTest, OpeningAUnixSocketFailsWithEinval) {
  const std::string path = m_dir / "sock";
  struct sockaddr_un address {};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(sock, 0);
  ASSERT_EQ(bind(sock, reinterpret_cast<const struct sockaddr*>(&address), sizeof address), 0)
      << std::strerror(errno);
  for (OpenMode mode : {OpenMode::kRead, OpenMode::kAppend, OpenMode::kWrite}) {
    errno = 0;
    EXPECT_EQ(OpenWithoutBlocking(path, mode), nullptr);
    EXPECT_EQ(errno, EINVAL) << static_cast<int>(mode);
  }
  close(sock);
}

TEST_F(CPosixFileSystemTest, OpeningADeviceFailsWithEinval) {
  for (OpenMode mode : {OpenMode::kRead, OpenMode::kAppend, OpenMode::kWrite}) {
    errno = 0;
    EXPECT_EQ(OpenWithoutBlocking("/dev/null", mode), nullptr);
    EXPECT_EQ(errno, EINVAL) << static_cast<int>(mode);
  }
  EXPECT_TRUE(S_ISCHR(StatOf("/dev/null").st_mode));
}

// ---- Listing a folder ------------------------------------------------------------

TEST_F(CPosixFileSystemTest, ListingYieldsEveryNameByteExactly) {
  const std::string cafe = "caf\xc3\xa9 x";
  const std::string invalid = "\xff\xfe.bin";
  ASSERT_EQ(mkdir((m_dir / ".git").c_str(), 0755), 0);
  ASSERT_TRUE(WriteFileBytes(m_dir / ".profile", "12345"));
  ASSERT_TRUE(WriteFileBytes(m_dir / cafe, "1"));
  ASSERT_TRUE(WriteFileBytes(m_dir / invalid, "12"));
  ASSERT_TRUE(WriteFileBytes(m_dir / "with  two blanks ", "123"));
  ASSERT_TRUE(WriteFileBytes(m_dir / "*.*x", ""));

  std::map<std::string, CFindData> entries = ListAll(m_dir / "*.*");
  std::vector<std::string> names;
  for (const auto& [name, data] : entries) names.push_back(name);
  std::vector<std::string> expected = {"*.*x", ".", "..", ".git", ".profile", cafe, "with  two blanks ",
                                       invalid};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);

  struct stat self = StatOf(m_dir.Path());
  EXPECT_EQ(entries["."].attrib, kAttribSubdir);
  EXPECT_EQ(entries["."].size, 0u);
  EXPECT_EQ(entries["."].dev, static_cast<uint64_t>(self.st_dev));
  EXPECT_EQ(entries["."].ino, static_cast<uint64_t>(self.st_ino));
  EXPECT_EQ(entries[".."].attrib, kAttribSubdir);
  EXPECT_EQ(entries[".git"].attrib, kAttribSubdir);
  EXPECT_EQ(entries[".profile"].attrib, 0u);
  EXPECT_EQ(entries[".profile"].size, 5u);
  EXPECT_EQ(entries[cafe].size, 1u);
  EXPECT_EQ(entries[invalid].size, 2u);
  EXPECT_EQ(entries[invalid].attrib, 0u);

  struct stat profile = StatOf(m_dir / ".profile");
  const CFindData& record = entries[".profile"];
  EXPECT_EQ(record.time_create, -1);
  EXPECT_EQ(record.time_write, static_cast<int64_t>(profile.st_mtim.tv_sec));
  EXPECT_EQ(record.time_access, static_cast<int64_t>(profile.st_atim.tv_sec));
  EXPECT_EQ(record.ino, static_cast<uint64_t>(profile.st_ino));
  EXPECT_EQ(record.dev, static_cast<uint64_t>(profile.st_dev));
}

TEST_F(CPosixFileSystemTest, ListingEndsWithEnoentAndStaysEnded) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "only", "x"));
  CFindData data;
  auto handle = m_fs.FindFirst(m_dir / "*.*", data);
  ASSERT_NE(handle, nullptr);
  int count = 1;
  while (handle->FindNext(data)) ++count;
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(count, 3);
  errno = 0;
  EXPECT_FALSE(handle->FindNext(data));
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(CPosixFileSystemTest, ListingWithoutAFolderPartListsTheCurrentFolder) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "here.txt", "abcd"));
  std::map<std::string, CFindData> entries;
  {
    CCurrentDirScope cwd(m_dir.Path());
    entries = ListAll("*.*");
  }
  ASSERT_EQ(entries.count("here.txt"), 1u);
  EXPECT_EQ(entries["here.txt"].size, 4u);
  EXPECT_EQ(entries.size(), 3u);
}

TEST_F(CPosixFileSystemTest, ListingWithATrailingSeparatorInTheFolderPart) {
  ASSERT_EQ(mkdir((m_dir / "sub").c_str(), 0755), 0);
  ASSERT_TRUE(WriteFileBytes(m_dir / "sub/a", "abc"));
  std::map<std::string, CFindData> entries = ListAll(m_dir / "sub//*.*");
  EXPECT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries["a"].size, 3u);
}

TEST_F(CPosixFileSystemTest, ListingMarksFifosAndSocketsSpecial) {
  ASSERT_EQ(mkfifo((m_dir / "fifo").c_str(), 0644), 0);
  const std::string path = m_dir / "sock";
  struct sockaddr_un address {};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(sock, 0);
  ASSERT_EQ(bind(sock, reinterpret_cast<const struct sockaddr*>(&address), sizeof address), 0);

  std::map<std::string, CFindData> entries = ListAll(m_dir / "*.*");
  EXPECT_EQ(entries["fifo"].attrib, kAttribSpecial);
  EXPECT_EQ(entries["fifo"].size, 0u);
  EXPECT_EQ(entries["fifo"].ino, static_cast<uint64_t>(StatOf(m_dir / "fifo").st_ino));
  EXPECT_EQ(entries["sock"].attrib, kAttribSpecial);
  EXPECT_EQ(entries["sock"].size, 0u);
  close(sock);
}

TEST_F(CPosixFileSystemTest, ListingReportsASymlinkToAFileAsTheFile) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "target.bin", PatternBytes(777)));
  ASSERT_EQ(symlink("target.bin", (m_dir / "link.bin").c_str()), 0);
  std::map<std::string, CFindData> entries = ListAll(m_dir / "*.*");
  const CFindData& link = entries["link.bin"];
  EXPECT_EQ(link.attrib, 0u);
  EXPECT_EQ(link.size, 777u);
  EXPECT_EQ(link.ino, entries["target.bin"].ino);
  EXPECT_EQ(link.dev, entries["target.bin"].dev);
}

TEST_F(CPosixFileSystemTest, ListingReportsASymlinkToAFolderWithTheFolderIdentity) {
  ASSERT_EQ(mkdir((m_dir / "a").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((m_dir / "a/b").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((m_dir / "other").c_str(), 0755), 0);
  // One link back to an ancestor, one sideways.
  ASSERT_EQ(symlink("..", (m_dir / "a/b/up").c_str()), 0);
  ASSERT_EQ(symlink((m_dir / "other").c_str(), (m_dir / "a/b/side").c_str()), 0);

  std::map<std::string, CFindData> entries = ListAll(m_dir / "a/b/*.*");
  struct stat ancestor = StatOf(m_dir / "a");
  struct stat other = StatOf(m_dir / "other");
  EXPECT_EQ(entries["up"].attrib, kAttribSubdir);
  EXPECT_EQ(entries["up"].size, 0u);
  EXPECT_EQ(entries["up"].dev, static_cast<uint64_t>(ancestor.st_dev));
  EXPECT_EQ(entries["up"].ino, static_cast<uint64_t>(ancestor.st_ino));
  EXPECT_EQ(entries["side"].attrib, kAttribSubdir);
  EXPECT_EQ(entries["side"].ino, static_cast<uint64_t>(other.st_ino));

  // The ancestor's own listing gives the same identity for ".".
  std::map<std::string, CFindData> upper = ListAll(m_dir / "a/*.*");
  EXPECT_EQ(upper["."].ino, entries["up"].ino);
  EXPECT_EQ(upper["."].dev, entries["up"].dev);
}

TEST_F(CPosixFileSystemTest, ListingMarksDanglingAndLoopingSymlinksSpecial) {
  ASSERT_EQ(symlink("nowhere", (m_dir / "dangling").c_str()), 0);
  ASSERT_EQ(symlink("loop2", (m_dir / "loop1").c_str()), 0);
  ASSERT_EQ(symlink("loop1", (m_dir / "loop2").c_str()), 0);
  std::map<std::string, CFindData> entries = ListAll(m_dir / "*.*");
  for (const char* name : {"dangling", "loop1", "loop2"}) {
    ASSERT_EQ(entries.count(name), 1u) << name;
    const CFindData& record = entries[name];
    EXPECT_EQ(record.attrib, kAttribSpecial) << name;
    EXPECT_EQ(record.size, 0u) << name;
    // The link itself could be examined.
    EXPECT_NE(record.time_write, -1) << name;
    EXPECT_NE(record.ino, 0u) << name;
  }
}

TEST_F(CPosixFileSystemTest, ListingAMissingFolderFailsWithEnoent) {
  CFindData data;
  errno = 0;
  EXPECT_EQ(m_fs.FindFirst(m_dir / "missing/*.*", data), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(CPosixFileSystemTest, ListingAFileAsAFolderFailsWithEnotdir) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "file", "x"));
  CFindData data;
  errno = 0;
  EXPECT_EQ(m_fs.FindFirst(m_dir / "file/*.*", data), nullptr);
  EXPECT_EQ(errno, ENOTDIR);
}

TEST_F(CPosixFileSystemTest, ListingAFifoAsAFolderFailsAtOnce) {
  ASSERT_EQ(mkfifo((m_dir / "fifo").c_str(), 0644), 0);
  CFindData data;
  std::future<int> result = std::async(std::launch::async, [&] {
    auto handle = PosixFileSystem().FindFirst(m_dir / "fifo/*.*", data);
    return handle ? 0 : errno;
  });
  if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    int writer = open((m_dir / "fifo").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    result.wait();
    if (writer >= 0) close(writer);
    FAIL() << "FindFirst blocked on a FIFO";
  }
  EXPECT_EQ(result.get(), ENOTDIR);
}

// ---- Looking up a plain path -----------------------------------------------------

TEST_F(CPosixFileSystemTest, PlainPathYieldsTheEntryItself) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "file.bin", PatternBytes(1234)));
  CFindData data;
  auto handle = m_fs.FindFirst(m_dir / "file.bin", data);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(data.name, "file.bin");
  EXPECT_EQ(data.size, 1234u);
  EXPECT_EQ(data.attrib, 0u);
  EXPECT_EQ(data.time_create, -1);
  struct stat st = StatOf(m_dir / "file.bin");
  EXPECT_EQ(data.ino, static_cast<uint64_t>(st.st_ino));
  EXPECT_EQ(data.time_write, static_cast<int64_t>(st.st_mtim.tv_sec));

  CFindData next = data;
  errno = 0;
  EXPECT_FALSE(handle->FindNext(next));
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(CPosixFileSystemTest, PlainPathNameDropsTrailingSeparators) {
  ASSERT_EQ(mkdir((m_dir / "b").c_str(), 0755), 0);
  CFindData data;
  ASSERT_NE(m_fs.FindFirst(m_dir / "b/", data), nullptr);
  EXPECT_EQ(data.name, "b");
  EXPECT_EQ(data.attrib, kAttribSubdir);
  EXPECT_EQ(data.size, 0u);
  ASSERT_NE(m_fs.FindFirst(m_dir / "b///", data), nullptr);
  EXPECT_EQ(data.name, "b");
  ASSERT_NE(m_fs.FindFirst("/", data), nullptr);
  EXPECT_EQ(data.name, "");
  EXPECT_EQ(data.attrib, kAttribSubdir);
  ASSERT_NE(m_fs.FindFirst("//", data), nullptr);
  EXPECT_EQ(data.name, "");
}

TEST_F(CPosixFileSystemTest, PlainPathWithAWildcardLikeNameIsNotAListing) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "x*.*", "abc"));
  CFindData data;
  auto handle = m_fs.FindFirst(m_dir / "x*.*", data);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(data.name, "x*.*");
  EXPECT_EQ(data.size, 3u);
  EXPECT_FALSE(handle->FindNext(data));
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(CPosixFileSystemTest, PlainPathOfAMissingEntryFailsWithEnoent) {
  CFindData data;
  errno = 0;
  EXPECT_EQ(m_fs.FindFirst(m_dir / "missing", data), nullptr);
  EXPECT_EQ(errno, ENOENT);
  ASSERT_TRUE(WriteFileBytes(m_dir / "file", "x"));
  errno = 0;
  EXPECT_EQ(m_fs.FindFirst(m_dir / "file/below", data), nullptr);
  EXPECT_EQ(errno, ENOTDIR);
}

TEST_F(CPosixFileSystemTest, PlainPathOfADanglingSymlinkIsSpecial) {
  ASSERT_EQ(symlink("nowhere", (m_dir / "dangling").c_str()), 0);
  CFindData data;
  auto handle = m_fs.FindFirst(m_dir / "dangling", data);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(data.name, "dangling");
  EXPECT_EQ(data.attrib, kAttribSpecial);
  EXPECT_EQ(data.size, 0u);
}

TEST_F(CPosixFileSystemTest, PlainPathOfASymlinkToAFolderIsTheFolder) {
  ASSERT_EQ(mkdir((m_dir / "real").c_str(), 0755), 0);
  ASSERT_EQ(symlink("real", (m_dir / "alias").c_str()), 0);
  CFindData data;
  ASSERT_NE(m_fs.FindFirst(m_dir / "alias", data), nullptr);
  EXPECT_EQ(data.name, "alias");
  EXPECT_EQ(data.attrib, kAttribSubdir);
  EXPECT_EQ(data.ino, static_cast<uint64_t>(StatOf(m_dir / "real").st_ino));
}

// ---- Files beyond 4 GiB ------------------------------------------------------------

TEST_F(CPosixFileSystemTest, SparseFileOfFiveGibIsListedReadAndAppended) {
  constexpr uint64_t kSize = 5 * kGiB;
  const std::string path = m_dir / "sparse.bin";
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  int truncated = ftruncate(fd, static_cast<off_t>(kSize));
  int error = errno;
  close(fd);
  if (truncated != 0) GTEST_SKIP() << "no sparse 5 GiB file here: " << std::strerror(error);

  std::map<std::string, CFindData> entries = ListAll(m_dir / "*.*");
  EXPECT_EQ(entries["sparse.bin"].size, 5368709120u);
  CFindData data;
  ASSERT_NE(m_fs.FindFirst(path, data), nullptr);
  EXPECT_EQ(data.size, 5368709120u);

  {
    auto stream = m_fs.Open(path, OpenMode::kRead);
    ASSERT_NE(stream, nullptr) << std::strerror(errno);
    ASSERT_EQ(stream->Seek(static_cast<int64_t>(kSize - kGiB / 2), SeekOrigin::kSet), 0);
    EXPECT_EQ(stream->Tell(), 4831838208);
    std::vector<char> block(kMiB, 'x');
    ASSERT_EQ(stream->Read(block.data(), block.size()), block.size());
    EXPECT_EQ(std::count(block.begin(), block.end(), '\0'), static_cast<std::ptrdiff_t>(block.size()));
    EXPECT_EQ(stream->Tell(), 4831838208 + static_cast<int64_t>(kMiB));
    ASSERT_EQ(stream->Seek(1000, SeekOrigin::kCur), 0);
    EXPECT_EQ(stream->Tell(), 4831838208 + static_cast<int64_t>(kMiB) + 1000);
  }
  {
    auto stream = m_fs.Open(path, OpenMode::kAppend);
    ASSERT_NE(stream, nullptr) << std::strerror(errno);
    ASSERT_EQ(stream->Seek(0, SeekOrigin::kEnd), 0);
    EXPECT_EQ(stream->Tell(), 5368709120);
    EXPECT_EQ(stream->Write("tail", 4), 4u);
    EXPECT_EQ(stream->Tell(), 5368709124);
    EXPECT_EQ(stream->Close(), 0);
  }
  EXPECT_EQ(static_cast<uint64_t>(StatOf(path).st_size), kSize + 4);
  {
    auto stream = m_fs.Open(path, OpenMode::kRead);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(stream->Seek(static_cast<int64_t>(kSize) - 1, SeekOrigin::kSet), 0);
    char buffer[8] = {};
    EXPECT_EQ(stream->Read(buffer, sizeof buffer), 5u);
    EXPECT_TRUE(stream->Eof());
    EXPECT_EQ(std::string(buffer, 5), std::string("\0tail", 5));
  }
}

// ---- Positions the stream keeps, and reads after DropCache --------------------------

TEST_F(CPosixFileSystemTest, AppendTellAfterAWriteIsTheEndEvenWhenAnotherWriterAppended) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.txt", "abc"));
  auto stream = m_fs.Open(m_dir / "f.txt", OpenMode::kAppend);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->Tell(), 0);
  ASSERT_EQ(stream->Seek(0, SeekOrigin::kEnd), 0);
  EXPECT_EQ(stream->Tell(), 3);
  int other = open((m_dir / "f.txt").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(write(other, "xyz", 3), 3);
  close(other);
  EXPECT_EQ(stream->Write("!", 1), 1u);
  EXPECT_EQ(stream->Tell(), 7);
  EXPECT_EQ(stream->Close(), 0);
  EXPECT_EQ(ReadFileBytes(m_dir / "f.txt"), "abcxyz!");
}

TEST_F(CPosixFileSystemTest, WriteModeTellCountsTheBytesWritten) {
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kWrite);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->Write("abcdef", 6), 6u);
  EXPECT_EQ(stream->Tell(), 6);
  ASSERT_EQ(stream->Seek(2, SeekOrigin::kSet), 0);
  EXPECT_EQ(stream->Write("XY", 2), 2u);
  EXPECT_EQ(stream->Tell(), 4);
  EXPECT_EQ(stream->Close(), 0);
  EXPECT_EQ(ReadFileBytes(m_dir / "f.bin"), "abXYef");
}

TEST_F(CPosixFileSystemTest, SeekToWhereTheStreamStandsClearsEof) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", "abc"));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  char buffer[8];
  EXPECT_EQ(stream->Read(buffer, sizeof buffer), 3u);
  ASSERT_TRUE(stream->Eof());
  ASSERT_EQ(stream->Seek(3, SeekOrigin::kSet), 0);
  EXPECT_FALSE(stream->Eof());
  EXPECT_EQ(stream->Tell(), 3);
  EXPECT_EQ(stream->Read(buffer, sizeof buffer), 0u);
  ASSERT_TRUE(stream->Eof());
  ASSERT_EQ(stream->Seek(0, SeekOrigin::kCur), 0);
  EXPECT_FALSE(stream->Eof());
  EXPECT_EQ(stream->Tell(), 3);
}

TEST_F(CPosixFileSystemTest, ReadsAfterDropCacheAndTheBlocksAfterThemMatchTheFile) {
  const std::string content = PatternBytes(3 * kMiB + 100);
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.bin", content));
  auto stream = m_fs.Open(m_dir / "f.bin", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  std::vector<char> block(kMiB);
  std::vector<char> window(6 * 1024);
  for (size_t start = 0; start < content.size(); start += kMiB) {
    ASSERT_EQ(stream->Seek(static_cast<int64_t>(start), SeekOrigin::kSet), 0);
    const size_t length = std::min<size_t>(kMiB, content.size() - start);
    ASSERT_EQ(stream->Read(block.data(), block.size()), length);
    ASSERT_EQ(std::memcmp(block.data(), content.data() + start, length), 0) << "block at " << start;
    EXPECT_EQ(stream->Tell(), static_cast<int64_t>(start + length));
    // Every page of the block read again through a window around it, as
    // read verification does.
    for (size_t page = start; page < start + length; page += 4096) {
      const size_t from = page >= 1000 ? page - 1000 : 0;
      const size_t count = std::min(window.size(), content.size() - from);
      stream->DropCache(static_cast<int64_t>(from), static_cast<int64_t>(count));
      ASSERT_EQ(stream->Seek(static_cast<int64_t>(from), SeekOrigin::kSet), 0);
      ASSERT_EQ(stream->Read(window.data(), count), count);
      ASSERT_EQ(std::memcmp(window.data(), content.data() + from, count), 0) << "window at " << from;
    }
  }
  EXPECT_FALSE(stream->Error());
}

TEST_F(CPosixFileSystemTest, PlainPathOfASymlinkToAFileIsTheFile) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "target.bin", "12345"));
  ASSERT_EQ(symlink("target.bin", (m_dir / "link.bin").c_str()), 0);
  CFindData data;
  ASSERT_NE(m_fs.FindFirst(m_dir / "link.bin", data), nullptr);
  EXPECT_EQ(data.name, "link.bin");
  EXPECT_EQ(data.attrib, 0u);
  EXPECT_EQ(data.size, 5u);
  EXPECT_EQ(data.ino, static_cast<uint64_t>(StatOf(m_dir / "target.bin").st_ino));
}

TEST_F(CPosixFileSystemTest, PlainPathOfASymlinkLoopIsSpecial) {
  ASSERT_EQ(symlink("loop2", (m_dir / "loop1").c_str()), 0);
  ASSERT_EQ(symlink("loop1", (m_dir / "loop2").c_str()), 0);
  CFindData data;
  ASSERT_NE(m_fs.FindFirst(m_dir / "loop1", data), nullptr);
  EXPECT_EQ(data.name, "loop1");
  EXPECT_EQ(data.attrib, kAttribSpecial);
  EXPECT_EQ(data.size, 0u);
}

TEST_F(CPosixFileSystemTest, PlainPathBelowADanglingSymlinkFailsWithEnoent) {
  ASSERT_EQ(symlink("nowhere", (m_dir / "dangling").c_str()), 0);
  CFindData data;
  errno = 0;
  EXPECT_EQ(m_fs.FindFirst(m_dir / "dangling/", data), nullptr);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(m_fs.FindFirst(m_dir / "dangling/below", data), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

// ---- Folders and times ---------------------------------------------------------------

TEST_F(CPosixFileSystemTest, SetFileTimesAreReadBackByFindFirst) {
  ASSERT_TRUE(WriteFileBytes(m_dir / "f.txt", "abc"));
  ASSERT_EQ(m_fs.SetFileTimes(m_dir / "f.txt", 1000000000, 1234567890), 0) << std::strerror(errno);
  CFindData data;
  ASSERT_NE(m_fs.FindFirst(m_dir / "f.txt", data), nullptr);
  EXPECT_EQ(data.time_access, 1000000000);
  EXPECT_EQ(data.time_write, 1234567890);
  EXPECT_EQ(data.time_create, -1);

  std::map<std::string, CFindData> entries = ListAll(m_dir / "*.*");
  EXPECT_EQ(entries["f.txt"].time_access, 1000000000);
  EXPECT_EQ(entries["f.txt"].time_write, 1234567890);
}

TEST_F(CPosixFileSystemTest, SetFileTimesWorksOnFoldersAndThroughLinks) {
  ASSERT_EQ(mkdir((m_dir / "sub").c_str(), 0755), 0);
  ASSERT_EQ(m_fs.SetFileTimes(m_dir / "sub", 1500000000, 1400000000), 0);
  ASSERT_TRUE(WriteFileBytes(m_dir / "target", "x"));
  ASSERT_EQ(symlink("target", (m_dir / "link").c_str()), 0);
  ASSERT_EQ(m_fs.SetFileTimes(m_dir / "link", 1300000000, 1200000000), 0);

  struct stat sub = StatOf(m_dir / "sub");
  EXPECT_EQ(sub.st_mtim.tv_sec, 1400000000);
  EXPECT_EQ(sub.st_atim.tv_sec, 1500000000);
  struct stat target = StatOf(m_dir / "target");
  EXPECT_EQ(target.st_mtim.tv_sec, 1200000000);
  EXPECT_EQ(target.st_mtim.tv_nsec, 0);
}

TEST_F(CPosixFileSystemTest, SetFileTimesOfAMissingPathFailsWithEnoent) {
  errno = 0;
  EXPECT_EQ(m_fs.SetFileTimes(m_dir / "missing", 1, 2), -1);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(CPosixFileSystemTest, MakeDirCreatesAFolderWithTheUmaskApplied) {
  CUmaskScope mask(027);
  ASSERT_EQ(m_fs.MakeDir(m_dir / "new"), 0) << std::strerror(errno);
  struct stat st = StatOf(m_dir / "new");
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0750u);
}

TEST_F(CPosixFileSystemTest, MakeDirOfAnExistingEntryFailsWithEexist) {
  ASSERT_EQ(m_fs.MakeDir(m_dir / "new"), 0);
  errno = 0;
  EXPECT_EQ(m_fs.MakeDir(m_dir / "new"), -1);
  EXPECT_EQ(errno, EEXIST);
  ASSERT_TRUE(WriteFileBytes(m_dir / "file", "x"));
  errno = 0;
  EXPECT_EQ(m_fs.MakeDir(m_dir / "file"), -1);
  EXPECT_EQ(errno, EEXIST);
}

TEST_F(CPosixFileSystemTest, MakeDirWithoutAParentFailsWithEnoent) {
  errno = 0;
  EXPECT_EQ(m_fs.MakeDir(m_dir / "missing/new"), -1);
  EXPECT_EQ(errno, ENOENT);
}

// ---- Permissions (meaningless as root) ---------------------------------------------------

TEST_F(CPosixFileSystemTest, UnreadableFileFailsToOpenWithEacces) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores permissions";
  ASSERT_TRUE(WriteFileBytes(m_dir / "locked", "abc"));
  ASSERT_EQ(chmod((m_dir / "locked").c_str(), 0), 0);
  for (OpenMode mode : {OpenMode::kRead, OpenMode::kAppend, OpenMode::kWrite}) {
    errno = 0;
    EXPECT_EQ(m_fs.Open(m_dir / "locked", mode), nullptr);
    EXPECT_EQ(errno, EACCES) << static_cast<int>(mode);
  }
  ASSERT_EQ(chmod((m_dir / "locked").c_str(), 0600), 0);
  EXPECT_EQ(ReadFileBytes(m_dir / "locked"), "abc");
}

TEST_F(CPosixFileSystemTest, UnreadableFolderFailsToListWithEacces) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores permissions";
  ASSERT_EQ(mkdir((m_dir / "locked").c_str(), 0), 0);
  CFindData data;
  errno = 0;
  EXPECT_EQ(m_fs.FindFirst(m_dir / "locked/*.*", data), nullptr);
  EXPECT_EQ(errno, EACCES);
  errno = 0;
  EXPECT_EQ(m_fs.MakeDir(m_dir / "locked/sub"), -1);
  EXPECT_EQ(errno, EACCES);
}

TEST_F(CPosixFileSystemTest, UnsearchableFolderListsEntriesThatCannotBeExamined) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores permissions";
  ASSERT_EQ(mkdir((m_dir / "noexec").c_str(), 0755), 0);
  ASSERT_TRUE(WriteFileBytes(m_dir / "noexec/file", "abc"));
  ASSERT_EQ(chmod((m_dir / "noexec").c_str(), 0444), 0);
  std::map<std::string, CFindData> entries = ListAll(m_dir / "noexec/*.*");
  ASSERT_EQ(entries.count("file"), 1u);
  const CFindData& record = entries["file"];
  EXPECT_EQ(record.attrib, kAttribSpecial);
  EXPECT_EQ(record.size, 0u);
  EXPECT_EQ(record.time_write, -1);
  EXPECT_EQ(record.time_access, -1);
  EXPECT_EQ(record.dev, 0u);
  EXPECT_EQ(record.ino, 0u);
}

// A large buffer starts at a huge page's boundary, holds every byte of its
// odd size, and moving it hands over the same memory; small and empty ones
// come from the allocator or hold nothing.
TEST(CLargeBufferTest, HoldsItsBytesFromAHugePageBoundaryAndMovesItsMemory) {
  const size_t size = 8 * kMiB + 4097;
  CLargeBuffer buffer(size);
  ASSERT_NE(buffer.Data(), nullptr);
  EXPECT_EQ(buffer.Size(), size);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.Data()) % (2 * kMiB), 0u);
  for (size_t i = 0; i < size; ++i) buffer.Data()[i] = static_cast<char>(i * 31 % 251);

  char* const memory = buffer.Data();
  CLargeBuffer moved(std::move(buffer));
  EXPECT_EQ(buffer.Data(), nullptr);  // NOLINT(bugprone-use-after-move): moved from, empty
  EXPECT_EQ(buffer.Size(), 0u);       // NOLINT(bugprone-use-after-move)
  ASSERT_EQ(moved.Data(), memory);
  size_t wrong = 0;
  for (size_t i = 0; i < size; ++i) wrong += moved.Data()[i] != static_cast<char>(i * 31 % 251);
  EXPECT_EQ(wrong, 0u);

  CLargeBuffer small(100 * 1024);
  ASSERT_NE(small.Data(), nullptr);
  std::memset(small.Data(), 7, small.Size());
  moved = std::move(small);  // the large memory is given back, the small taken over
  EXPECT_EQ(moved.Size(), 100u * 1024);
  EXPECT_EQ(moved.Data()[100 * 1024 - 1], 7);
  EXPECT_EQ(CLargeBuffer(0).Data(), nullptr);
  EXPECT_EQ(CLargeBuffer().Size(), 0u);
}

}  // namespace
