// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the SMB backend against a private smbd on 127.0.0.1 that each
// test starts with shares in its temporary folder: "pub" and "other" for
// guests, "priv" for the account running the tests with its password,
// "deny" for guests but served as nobody, so that files' modes refuse. The
// files are made and checked on the server's side, in those folders, and
// reached through the platform functions as the engine reaches them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/FailureCause.h"
#include "platform/Connections.h"
#include "platform/FileServices.h"
#include "platform/smb/SmbCredentials.h"
#include "platform/smb/SmbPath.h"
#include "platform/smb/SmbReadings.h"
#include "platform/smb/SmbShareDevice.h"
#include "platform/smb/SmbTimeout.h"
#include "tests/support/SambaServer.h"
#include "tests/support/TempDir.h"

// libsmbclient 4.17 loses the entries it has read of a listing that it then
// refuses (a name holding '\'), and its library carries no symbols to name
// the place by: LeakSanitizer is told that what it loses is its own.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libsmbclient.so\nleak:libsamba-util.so\nleak:libtalloc.so\n";
}
// Looking up a server name that does not resolve, libsmbclient waits on a
// lock of its name cache, whose database library ends the wait with a
// signal handler of its own that leaves errno changed: ThreadSanitizer is
// told that this is the library's.
extern "C" const char* __tsan_default_suppressions() { return "signal:libtdb.so\n"; }

namespace {

constexpr uint32_t kTimeoutMs = 2000;
constexpr uint64_t kGiB = uint64_t{1} << 30;
constexpr uint64_t kMiB = uint64_t{1} << 20;

// Returns count bytes of a pattern that differs for every seed and does not
// repeat at a short period.
std::string Pattern(size_t count, uint32_t seed) {
  std::string bytes(count, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (size_t i = 0; i < count; ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(state >> 24);
  }
  return bytes;
}

// Writes bytes at offset of the server-side file at path, creating it;
// returns true on success. truncate empties the file first.
bool WriteLocal(const std::string& path, const std::string& bytes, off_t offset = 0, bool truncate = true) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : 0), 0644);
  if (fd < 0) return false;
  const bool ok = pwrite(fd, bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size());
  return close(fd) == 0 && ok;
}

// Returns the whole server-side file at path (empty when it cannot be read).
std::string ReadLocal(const std::string& path) {
  std::string bytes;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  char buffer[65536];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(got));
  close(fd);
  return bytes;
}

// Returns lstat(2) of the server-side path; fails the test when it is missing.
struct stat StatLocal(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path << ": " << std::strerror(errno);
  return st;
}

// Returns true when the server-side path is there.
bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// Sets the access and modification times of the server-side path.
void SetLocalTimes(const std::string& path, time_t access, time_t write) {
  struct timespec times[2] = {};
  times[0].tv_sec = access;
  times[1].tv_sec = write;
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// Reads stream to its end.
std::string ReadAll(CStream& stream) {
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const size_t got = stream.Read(buffer, sizeof buffer);
    bytes.append(buffer, got);
    if (got < sizeof buffer) break;
  }
  return bytes;
}

// Returns the milliseconds since start.
int64_t MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
      .count();
}

// Returns the server's count of read requests once it reaches expected, or
// the last count read when it has not within 3 seconds: the server writes
// its counters out a second after they change.
int64_t ReadRequestsWhenAt(const CSambaServer& server, int64_t expected) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  int64_t count = server.ReadRequestCount();
  while (count != expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    count = server.ReadRequestCount();
  }
  return count;
}

// What a search yields to its end.
struct CListing {
  bool opened = false;
  int openErrno = 0;
  std::vector<CFindData> records;
  int endErrno = 0;

  // Returns the names of the records after "." and "..", sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (size_t i = 2; i < records.size(); ++i) names.push_back(records[i].name);
    std::sort(names.begin(), names.end());
    return names;
  }
  // Returns the record named name (an empty one when there is none).
  CFindData Named(const std::string& name) const {
    for (const CFindData& record : records) {
      if (record.name == name) return record;
    }
    return CFindData();
  }
};

// Lists pattern to its end.
CListing List(const std::string& pattern) {
  CListing listing;
  CFindData data;
  errno = 0;
  std::unique_ptr<CFindHandle> search = FindFirst(pattern, data);
  listing.openErrno = errno;
  if (!search) return listing;
  listing.opened = true;
  do {
    listing.records.push_back(data);
  } while (search->FindNext(data));
  listing.endErrno = errno;
  return listing;
}

// Returns the errno a failed FileOpen of path leaves, or 0 when it opened.
int OpenErrno(const std::string& path, OpenMode mode) {
  errno = 0;
  return FileOpen(path, mode) ? 0 : errno;
}

// Returns a password made up for this run.
std::string MadeUpPassword() {
  std::random_device random;
  return "Pw-" + std::to_string(random()) + "-" + std::to_string(random());
}

class SmbFileSystemTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string why;
    if (!CSambaServer::Available(why)) GTEST_SKIP() << "no private Samba server here: " << why;
    SetSmbTimeoutMs(kTimeoutMs);
    SetSmbCredentials(CSmbCredentials());
    for (const char* share : {"pub", "priv", "other"}) ASSERT_EQ(mkdir(Local(share).c_str(), 0700), 0);
    // "deny" is served as nobody, whom the modes of its files then bind:
    // its folder and the one above it let nobody through.
    ASSERT_EQ(chmod(m_temp.Path().c_str(), 0711), 0);
    ASSERT_EQ(mkdir(Local("deny").c_str(), 0755), 0);
    m_server = std::make_unique<CSambaServer>(
        m_temp.Path(), std::vector<CSambaServer::CShare>{{"pub", Local("pub"), true},
                                                         {"priv", Local("priv"), false},
                                                         {"other", Local("other"), true},
                                                         {"deny", Local("deny"), true}});
    m_server->AddShareLines("deny", "force user = nobody");
    ASSERT_TRUE(m_server->Start()) << m_server->Error();
  }

  void TearDown() override {
    SetWrittenSmbAddresses({});
    SetSmbCredentials(CSmbCredentials());
    SetSmbTimeoutMs(kTimeoutMs);
  }

  // Returns the server-side path of relative in share (the share's folder
  // when relative is empty).
  std::string Local(const std::string& share, const std::string& relative = "") const {
    return m_temp.Path() + "/" + share + (relative.empty() ? "" : "/" + relative);
  }
  // Returns "//127.0.0.1:PORT/share/relative", as the engine would see it.
  std::string Unc(const std::string& share, const std::string& relative = "") const {
    return "//127.0.0.1:" + std::to_string(m_server->Port()) + "/" + share +
           (relative.empty() ? "" : "/" + relative);
  }
  // Returns the device number every record of share carries.
  uint64_t DeviceOf(const std::string& share) const {
    CSmbLocation location;
    EXPECT_TRUE(ParseSmbPath(Unc(share), location));
    return SmbShareDevice(location);
  }

  CTempDir m_temp;
  std::unique_ptr<CSambaServer> m_server;
};

TEST_F(SmbFileSystemTest, ListsATreeAndReadsItBackIdentical) {
  const std::string tree = Local("pub", "tree");
  ASSERT_EQ(mkdir(tree.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((tree + "/sub").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((tree + "/empty folder").c_str(), 0755), 0);
  const std::map<std::string, std::string> files = {
      {".hidden", "h"},
      {"a b.txt", Pattern(1000, 1)},
      {"\xc3\xa9t\xc3\xa9 \xe6\x97\xa5.bin", Pattern(3000, 2)},
      {"h#s%41.dat", "x"},
      {"empty", ""},
      {"sub/inner.txt", "inner"},
  };
  time_t stamp = 1500000000;
  for (const auto& [name, bytes] : files) {
    ASSERT_TRUE(WriteLocal(tree + "/" + name, bytes)) << name;
    SetLocalTimes(tree + "/" + name, stamp + 7, stamp);
    stamp += 1000;
  }
  SetLocalTimes(tree + "/sub", 1400000007, 1400000000);
  SetLocalTimes(tree + "/empty folder", 1400001007, 1400001000);

  const CListing listing = List(Unc("pub", "tree/*.*"));
  ASSERT_TRUE(listing.opened) << std::strerror(listing.openErrno);
  ASSERT_GE(listing.records.size(), 2u);
  EXPECT_EQ(listing.records[0].name, ".");
  EXPECT_EQ(listing.records[1].name, "..");
  EXPECT_EQ(listing.records[0].attrib, kAttribSubdir);
  EXPECT_EQ(listing.records[1].attrib, kAttribSubdir);
  EXPECT_EQ(listing.endErrno, ENOENT);
  EXPECT_EQ(listing.Names(),
            (std::vector<std::string>{".hidden", "a b.txt", "empty", "empty folder", "h#s%41.dat", "sub",
                                      "\xc3\xa9t\xc3\xa9 \xe6\x97\xa5.bin"}));
  for (size_t i = 2; i < listing.records.size(); ++i) {
    const CFindData& record = listing.records[i];
    const struct stat st = StatLocal(tree + "/" + record.name);
    EXPECT_EQ(record.attrib, S_ISDIR(st.st_mode) ? kAttribSubdir : 0u) << record.name;
    EXPECT_EQ(record.size, S_ISDIR(st.st_mode) ? 0u : static_cast<uint64_t>(st.st_size)) << record.name;
    EXPECT_EQ(record.time_write, st.st_mtim.tv_sec) << record.name;
    EXPECT_EQ(record.time_access, st.st_atim.tv_sec) << record.name;
    EXPECT_EQ(record.dev, DeviceOf("pub")) << record.name;
    EXPECT_EQ(record.ino, static_cast<uint64_t>(st.st_ino)) << record.name;
  }

  // Every file reads back byte for byte, in all three forms of its path.
  for (const auto& [name, bytes] : files) {
    for (const std::string& path :
         {Unc("pub", "tree/" + name),
          "smb://127.0.0.1:" + std::to_string(m_server->Port()) + "/pub/tree/" + name,
          "\\\\127.0.0.1:" + std::to_string(m_server->Port()) + "\\pub\\tree/" + name}) {
      std::unique_ptr<CStream> stream = FileOpen(path, OpenMode::kRead);
      ASSERT_TRUE(stream) << path << ": " << std::strerror(errno);
      EXPECT_EQ(ReadAll(*stream), bytes) << path;
      EXPECT_TRUE(stream->Eof()) << path;
      EXPECT_FALSE(stream->Error()) << path;
      EXPECT_EQ(stream->Close(), 0) << path;
    }
  }

  // The other forms list the same, and an empty folder lists "." and "..".
  const std::string port = std::to_string(m_server->Port());
  EXPECT_EQ(List("\\\\127.0.0.1:" + port + "\\pub\\tree\\*.*").Names(), listing.Names());
  EXPECT_EQ(List("smb://127.0.0.1:" + port + "/pub/tree/*.*").Names(), listing.Names());
  const CListing empty = List(Unc("pub", "tree/empty folder/*.*"));
  ASSERT_EQ(empty.records.size(), 2u);
  EXPECT_EQ(empty.records[0].name, ".");
  EXPECT_EQ(empty.records[1].name, "..");
  EXPECT_EQ(empty.endErrno, ENOENT);
  const CListing sub = List(Unc("pub", "tree/sub/*.*"));
  EXPECT_EQ(sub.Names(), std::vector<std::string>{"inner.txt"});
}

TEST_F(SmbFileSystemTest, PlainPathsYieldTheirOwnRecordAndShareRootsList) {
  ASSERT_EQ(mkdir(Local("pub", "folder").c_str(), 0755), 0);
  ASSERT_TRUE(WriteLocal(Local("pub", "folder/f.bin"), Pattern(1234, 3)));
  SetLocalTimes(Local("pub", "folder/f.bin"), 1300000007, 1300000000);

  CFindData data;
  ASSERT_TRUE(FindFirst(Unc("pub", "folder/f.bin"), data)) << std::strerror(errno);
  EXPECT_EQ(data.name, "f.bin");
  EXPECT_EQ(data.attrib, 0u);
  EXPECT_EQ(data.size, 1234u);
  EXPECT_EQ(data.time_write, 1300000000);
  EXPECT_EQ(data.time_access, 1300000007);
  EXPECT_EQ(data.dev, DeviceOf("pub"));
  EXPECT_EQ(data.ino, static_cast<uint64_t>(StatLocal(Local("pub", "folder/f.bin")).st_ino));
  std::unique_ptr<CFindHandle> search = FindFirst(Unc("pub", "folder/"), data);
  ASSERT_TRUE(search);
  EXPECT_EQ(data.name, "folder");
  EXPECT_EQ(data.attrib, kAttribSubdir);
  errno = 0;
  EXPECT_FALSE(search->FindNext(data));
  EXPECT_EQ(errno, ENOENT);
  ASSERT_TRUE(FindFirst(Unc("pub"), data));
  EXPECT_EQ(data.name, "pub");
  EXPECT_EQ(data.attrib, kAttribSubdir);

  const CListing root = List(Unc("pub", "*.*"));
  ASSERT_TRUE(root.opened) << std::strerror(root.openErrno);
  EXPECT_EQ(root.records[0].name, ".");
  EXPECT_EQ(root.records[1].name, "..");
  EXPECT_EQ(root.Names(), std::vector<std::string>{"folder"});

  for (const std::string& missing :
       {Unc("pub", "missing"), Unc("pub", "missing/*.*"), Unc("nosuchshare"), Unc("nosuchshare", "*.*"),
        "//127.0.0.1:" + std::to_string(m_server->Port()),
        "//127.0.0.1:" + std::to_string(m_server->Port()) + "/*.*"}) {
    errno = 0;
    EXPECT_FALSE(FindFirst(missing, data)) << missing;
    EXPECT_EQ(errno, ENOENT) << missing;
  }
  errno = 0;
  EXPECT_FALSE(FindFirst(Unc("pub", "folder/f.bin/*.*"), data));
  EXPECT_EQ(errno, ENOTDIR);
}

TEST_F(SmbFileSystemTest, UpdateWritesInsideAFileAndRemoveFileTakesItAway) {
  ASSERT_TRUE(WriteLocal(Local("pub", "u.bin"), "0123456789"));
  std::unique_ptr<CStream> out = FileOpen(Unc("pub", "u.bin"), OpenMode::kUpdate);
  ASSERT_TRUE(out) << std::strerror(errno);
  EXPECT_EQ(out->Tell(), 0);
  ASSERT_EQ(out->Seek(4, SeekOrigin::kSet), 0);
  EXPECT_EQ(out->Write("ab", 2), 2u);
  EXPECT_EQ(out->Close(), 0);
  EXPECT_EQ(ReadLocal(Local("pub", "u.bin")), "0123ab6789");
  // Nothing is created for an update.
  errno = 0;
  EXPECT_FALSE(FileOpen(Unc("pub", "none.bin"), OpenMode::kUpdate));
  EXPECT_EQ(errno, ENOENT);

  EXPECT_EQ(RemoveFile(Unc("pub", "u.bin")), 0) << std::strerror(errno);
  errno = 0;
  EXPECT_NE(access(Local("pub", "u.bin").c_str(), F_OK), 0);
  EXPECT_EQ(RemoveFile(Unc("pub", "u.bin")), -1);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(SmbFileSystemTest, StreamsReadWriteSeekAndTruncateAsTheCRuntimeDoes) {
  // wb creates, then empties.
  std::unique_ptr<CStream> out = FileOpen(Unc("pub", "w.bin"), OpenMode::kWrite);
  ASSERT_TRUE(out) << std::strerror(errno);
  EXPECT_EQ(out->Write("hello", 5), 5u);
  EXPECT_EQ(out->Tell(), 5);
  EXPECT_EQ(out->Flush(), 0);
  EXPECT_EQ(out->Close(), 0);
  EXPECT_EQ(ReadLocal(Local("pub", "w.bin")), "hello");
  out = FileOpen(Unc("pub", "w.bin"), OpenMode::kWrite);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->Close(), 0);
  EXPECT_EQ(ReadLocal(Local("pub", "w.bin")), "");

  // ab creates a missing file, starts at the end and writes every block at
  // the end, wherever another writer left it.
  out = FileOpen(Unc("pub", "new.bin"), OpenMode::kAppend);
  ASSERT_TRUE(out);
  out.reset();
  EXPECT_EQ(StatLocal(Local("pub", "new.bin")).st_size, 0);
  ASSERT_TRUE(WriteLocal(Local("pub", "a.bin"), "abc"));
  out = FileOpen(Unc("pub", "a.bin"), OpenMode::kAppend);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->Tell(), 3);
  EXPECT_EQ(out->Write("de", 2), 2u);
  ASSERT_TRUE(WriteLocal(Local("pub", "a.bin"), "XY", 5, false));
  EXPECT_EQ(out->Write("fg", 2), 2u);
  EXPECT_EQ(out->Tell(), 9);
  EXPECT_EQ(ReadLocal(Local("pub", "a.bin")), "abcdeXYfg");
  // Truncate cuts the file and leaves the position alone.
  EXPECT_EQ(out->Truncate(2), 0);
  EXPECT_EQ(out->Tell(), 9);
  EXPECT_EQ(ReadLocal(Local("pub", "a.bin")), "ab");
  errno = 0;
  EXPECT_EQ(out->Truncate(-1), -1);
  EXPECT_EQ(errno, EINVAL);
  // A write stream cannot read.
  char buffer[16];
  errno = 0;
  EXPECT_EQ(out->Read(buffer, sizeof buffer), 0u);
  EXPECT_EQ(errno, EBADF);
  EXPECT_TRUE(out->Error());
  EXPECT_EQ(out->Close(), 0);
  errno = 0;
  EXPECT_EQ(out->Close(), -1);
  EXPECT_EQ(errno, EBADF);

  // Reads loop to the count; the end and failures set separate indicators.
  ASSERT_TRUE(WriteLocal(Local("pub", "digits"), "0123456789"));
  std::unique_ptr<CStream> in = FileOpen(Unc("pub", "digits"), OpenMode::kRead);
  ASSERT_TRUE(in);
  EXPECT_EQ(in->Seek(3, SeekOrigin::kSet), 0);
  EXPECT_EQ(in->Tell(), 3);
  ASSERT_EQ(in->Read(buffer, 2), 2u);
  EXPECT_EQ(std::string(buffer, 2), "34");
  EXPECT_EQ(in->Seek(-1, SeekOrigin::kCur), 0);
  EXPECT_EQ(in->Tell(), 4);
  EXPECT_EQ(in->Seek(-2, SeekOrigin::kEnd), 0);
  EXPECT_EQ(in->Tell(), 8);
  ASSERT_EQ(in->Read(buffer, 2), 2u);
  EXPECT_FALSE(in->Eof());
  EXPECT_EQ(in->Read(buffer, 5), 0u);
  EXPECT_TRUE(in->Eof());
  EXPECT_FALSE(in->Error());
  EXPECT_EQ(in->Seek(6, SeekOrigin::kSet), 0);
  EXPECT_FALSE(in->Eof());
  ASSERT_EQ(in->Read(buffer, 16), 4u);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_TRUE(in->Eof());
  EXPECT_FALSE(in->Error());
  errno = 0;
  EXPECT_EQ(in->Seek(-1, SeekOrigin::kSet), -1);
  EXPECT_EQ(errno, EINVAL);
  errno = 0;
  EXPECT_EQ(in->Seek(-11, SeekOrigin::kEnd), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(in->Tell(), 10);
  // A read stream cannot write or cut.
  errno = 0;
  EXPECT_EQ(in->Write("x", 1), 0u);
  EXPECT_EQ(errno, EBADF);
  EXPECT_TRUE(in->Error());
  errno = 0;
  EXPECT_EQ(in->Truncate(0), -1);
  EXPECT_EQ(errno, EBADF);

  // Only regular files open; a missing one fails with ENOENT.
  ASSERT_EQ(mkdir(Local("pub", "dir").c_str(), 0755), 0);
  for (OpenMode mode : {OpenMode::kRead, OpenMode::kAppend, OpenMode::kWrite}) {
    EXPECT_EQ(OpenErrno(Unc("pub", "dir"), mode), EINVAL);
    EXPECT_EQ(OpenErrno(Unc("pub"), mode), EINVAL);
  }
  EXPECT_EQ(OpenErrno(Unc("pub", "missing"), OpenMode::kRead), ENOENT);
  EXPECT_EQ(OpenErrno(Unc("pub", "missing/x"), OpenMode::kAppend), ENOENT);
  EXPECT_EQ(OpenErrno(Unc("nosuchshare", "x"), OpenMode::kRead), ENOENT);
}

TEST_F(SmbFileSystemTest, MakeDirAndSetFileTimesReachTheServer) {
  EXPECT_EQ(MakeDir(Unc("pub", "made")), 0) << std::strerror(errno);
  EXPECT_TRUE(S_ISDIR(StatLocal(Local("pub", "made")).st_mode));
  errno = 0;
  EXPECT_EQ(MakeDir(Unc("pub", "made")), -1);
  EXPECT_EQ(errno, EEXIST);
  errno = 0;
  EXPECT_EQ(MakeDir(Unc("pub", "missing/made")), -1);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(MakeDir(Unc("pub")), -1);
  EXPECT_EQ(errno, EPERM);

  ASSERT_TRUE(WriteLocal(Local("pub", "made/t.bin"), "t"));
  EXPECT_EQ(SetFileTimes(Unc("pub", "made/t.bin"), 1200000007, 1200000000), 0) << std::strerror(errno);
  EXPECT_EQ(SetFileTimes(Unc("pub", "made"), 1100000007, 1100000000), 0) << std::strerror(errno);
  const struct stat file = StatLocal(Local("pub", "made/t.bin"));
  EXPECT_EQ(file.st_mtim.tv_sec, 1200000000);
  EXPECT_EQ(file.st_atim.tv_sec, 1200000007);
  EXPECT_EQ(StatLocal(Local("pub", "made")).st_mtim.tv_sec, 1100000000);
  const CListing listing = List(Unc("pub", "made/*.*"));
  EXPECT_EQ(listing.Named("t.bin").time_write, 1200000000);
  EXPECT_EQ(listing.Named("t.bin").time_access, 1200000007);
  errno = 0;
  EXPECT_EQ(SetFileTimes(Unc("pub", "missing"), 1, 1), -1);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(SmbFileSystemTest, ReadsTheTailOfASparseFilePastFourGiB) {
  const uint64_t size = 5 * kGiB + 4096;
  const std::string tail = Pattern(4096, 4);
  {
    int fd = open(Local("pub", "sparse.bin").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    ASSERT_EQ(pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(5 * kGiB)), 4096);
    close(fd);
  }
  CFindData data;
  ASSERT_TRUE(FindFirst(Unc("pub", "sparse.bin"), data));
  EXPECT_EQ(data.size, size);
  EXPECT_EQ(List(Unc("pub", "*.*")).Named("sparse.bin").size, size);

  std::unique_ptr<CStream> in = FileOpen(Unc("pub", "sparse.bin"), OpenMode::kRead);
  ASSERT_TRUE(in);
  ASSERT_EQ(in->Seek(static_cast<int64_t>(5 * kGiB), SeekOrigin::kSet), 0);
  EXPECT_EQ(in->Tell(), static_cast<int64_t>(5 * kGiB));
  std::string buffer(8192, '\0');
  ASSERT_EQ(in->Read(buffer.data(), buffer.size()), 4096u);
  EXPECT_EQ(buffer.substr(0, 4096), tail);
  EXPECT_TRUE(in->Eof());
  EXPECT_EQ(in->Tell(), static_cast<int64_t>(size));
  // A hole past 4 GiB reads as zeros, at exactly the position asked for.
  ASSERT_EQ(in->Seek(static_cast<int64_t>(4 * kGiB + 1), SeekOrigin::kSet), 0);
  ASSERT_EQ(in->Read(buffer.data(), 16), 16u);
  EXPECT_EQ(buffer.substr(0, 16), std::string(16, '\0'));
  ASSERT_EQ(in->Seek(-100, SeekOrigin::kEnd), 0);
  EXPECT_EQ(in->Tell(), static_cast<int64_t>(size - 100));
  ASSERT_EQ(in->Read(buffer.data(), 100), 100u);
  EXPECT_EQ(buffer.substr(0, 100), tail.substr(4096 - 100));
}

TEST_F(SmbFileSystemTest, EveryReadAfterDropCacheIsANewRequestToTheServer) {
  ASSERT_TRUE(WriteLocal(Local("pub", "page.bin"), Pattern(8192, 5)));
  std::unique_ptr<CStream> in = FileOpen(Unc("pub", "page.bin"), OpenMode::kRead);
  ASSERT_TRUE(in);
  // A stream whose blocks are checked through it reads nothing ahead.
  in->DropCache(0, 8192);
  std::string buffer(4096, '\0');
  ASSERT_EQ(in->Read(buffer.data(), 4096), 4096u);
  EXPECT_EQ(buffer, Pattern(8192, 5).substr(0, 4096));
  ASSERT_EQ(ReadRequestsWhenAt(*m_server, 1), 1);

  // The page changes on the server; the re-read after DropCache sees the
  // change, in exactly one more read request.
  const std::string changed = Pattern(4096, 6);
  ASSERT_TRUE(WriteLocal(Local("pub", "page.bin"), changed, 0, false));
  in->DropCache(0, 4096);
  ASSERT_EQ(in->Seek(0, SeekOrigin::kSet), 0);
  ASSERT_EQ(in->Read(buffer.data(), 4096), 4096u);
  EXPECT_EQ(buffer, changed);
  EXPECT_EQ(ReadRequestsWhenAt(*m_server, 2), 2);
  // A re-read without DropCache is a request of its own as well. A read that
  // meets the end costs two: the short one, and libsmbclient's own for the
  // rest, which the server answers with the end; the stream asks no more.
  ASSERT_EQ(in->Seek(4096, SeekOrigin::kSet), 0);
  ASSERT_EQ(in->Read(buffer.data(), 4096), 4096u);
  std::string rest(8192, '\0');
  ASSERT_EQ(in->Seek(6000, SeekOrigin::kSet), 0);
  ASSERT_EQ(in->Read(rest.data(), rest.size()), 8192u - 6000u);
  EXPECT_TRUE(in->Eof());
  EXPECT_EQ(ReadRequestsWhenAt(*m_server, 5), 5);
}

// Once a read has filled its whole count, the stream reads on ahead in
// requests of 4 MiB: whatever mixes of Read and Lend follow get the file's
// bytes in order, a Seek elsewhere starts afresh, and the end is met as
// without it.
TEST_F(SmbFileSystemTest, LongFilesAreReadAheadInLargeRequestsAndLentInOrder) {
  const size_t size = 13 * kMiB + 12345;
  const std::string bytes = Pattern(size, 11);
  ASSERT_TRUE(WriteLocal(Local("pub", "long.bin"), bytes));
  std::unique_ptr<CStream> in = FileOpen(Unc("pub", "long.bin"), OpenMode::kRead);
  ASSERT_TRUE(in);
  // Nothing is held before the first read.
  EXPECT_EQ(in->Lend(4096), nullptr);
  const int64_t before = ReadRequestsWhenAt(*m_server, 0);
  std::string buffer(3 * kMiB, '\0');
  ASSERT_EQ(in->Read(buffer.data(), kMiB), kMiB);
  EXPECT_TRUE(buffer.compare(0, kMiB, bytes, 0, kMiB) == 0);

  // Lent blocks, a read of an odd count, a lend that would cross from one
  // request's bytes into the next (refused: Read takes them), a seek to
  // where the stream stands.
  size_t at = kMiB;
  for (int i = 0; i < 3; ++i) {
    const uint8_t* lent = in->Lend(kMiB);
    ASSERT_NE(lent, nullptr) << i;
    EXPECT_TRUE(std::memcmp(lent, bytes.data() + at, kMiB) == 0) << i;
    at += kMiB;
  }
  EXPECT_EQ(in->Tell(), static_cast<int64_t>(at));
  ASSERT_EQ(in->Read(buffer.data(), 777777), 777777u);
  EXPECT_TRUE(buffer.compare(0, 777777, bytes, at, 777777) == 0);
  at += 777777;
  ASSERT_EQ(in->Seek(static_cast<int64_t>(at), SeekOrigin::kSet), 0);
  // The first request ahead held 4 MiB from 1 MiB on: 5 MiB - at are left.
  EXPECT_EQ(in->Lend(kMiB), nullptr);
  EXPECT_EQ(in->Tell(), static_cast<int64_t>(at));
  ASSERT_EQ(in->Read(buffer.data(), kMiB), kMiB);
  EXPECT_TRUE(buffer.compare(0, kMiB, bytes, at, kMiB) == 0);
  at += kMiB;
  ASSERT_EQ(in->Read(buffer.data(), 3 * kMiB), 3 * kMiB);
  EXPECT_TRUE(buffer.compare(0, 3 * kMiB, bytes, at, 3 * kMiB) == 0);
  at += 3 * kMiB;

  // A seek back reads from there.
  ASSERT_EQ(in->Seek(static_cast<int64_t>(2 * kMiB + 3), SeekOrigin::kSet), 0);
  ASSERT_EQ(in->Read(buffer.data(), kMiB), kMiB);
  EXPECT_TRUE(buffer.compare(0, kMiB, bytes, 2 * kMiB + 3, kMiB) == 0);
  ASSERT_EQ(in->Seek(static_cast<int64_t>(at), SeekOrigin::kSet), 0);

  // To the end: the last read is short and meets it; nothing is lent there.
  std::string rest;
  while (!in->Eof() && !in->Error()) {
    const size_t got = in->Read(buffer.data(), 2 * kMiB);
    rest.append(buffer, 0, got);
  }
  EXPECT_FALSE(in->Error());
  EXPECT_TRUE(rest == bytes.substr(at));
  EXPECT_EQ(in->Tell(), static_cast<int64_t>(size));
  EXPECT_EQ(in->Lend(1), nullptr);
  EXPECT_EQ(in->Close(), 0);
  // Requests of 4 MiB, not one per call: 13 MiB from 1 MiB on (twice from
  // the seeks) would be over 20 requests at 1 MiB.
  const int64_t requests = ReadRequestsWhenAt(*m_server, -1) - before;
  EXPECT_LE(requests, 14);
  RecordProperty("read_requests", std::to_string(requests));
}

// Reads stream block after block as a copy does, each block ending at
// expected at the latest, until a block comes back short; returns the bytes.
std::string ReadInBlocks(CStream& stream, uint64_t expected) {
  std::string bytes;
  std::string block(kMiB, '\0');
  for (;;) {
    const uint64_t at = static_cast<uint64_t>(stream.Tell());
    const size_t wanted = at < expected ? static_cast<size_t>(std::min<uint64_t>(expected - at, kMiB)) : kMiB;
    const size_t got = stream.Read(block.data(), wanted);
    bytes.append(block, 0, got);
    if (got < wanted || stream.Error()) break;
    if (at + got == expected) break;
  }
  return bytes;
}

// A stream told where its reader stops asks for nothing past it: a small
// file is one read request, a long one its pieces and no request that only
// meets the end.
TEST_F(SmbFileSystemTest, AStreamToldItsEndAsksForNothingPastIt) {
  const std::string small = Pattern(16384, 21);
  ASSERT_TRUE(WriteLocal(Local("pub", "small.bin"), small));
  const uint64_t longSize = 9 * kMiB + 5;
  const std::string longBytes = Pattern(longSize, 22);
  ASSERT_TRUE(WriteLocal(Local("pub", "long.bin"), longBytes));

  std::unique_ptr<CStream> in = FileOpen(Unc("pub", "small.bin"), OpenMode::kRead);
  ASSERT_TRUE(in);
  in->ExpectEnd(small.size());
  EXPECT_EQ(ReadInBlocks(*in, small.size()), small);
  EXPECT_FALSE(in->Eof());
  EXPECT_EQ(in->Close(), 0);
  EXPECT_EQ(ReadRequestsWhenAt(*m_server, 1), 1);

  // The first block, then the pieces read ahead up to the end: 4 MiB, 4 MiB
  // and the last 5 bytes, each one request.
  in = FileOpen(Unc("pub", "long.bin"), OpenMode::kRead);
  ASSERT_TRUE(in);
  in->ExpectEnd(longSize);
  EXPECT_TRUE(ReadInBlocks(*in, longSize) == longBytes);
  EXPECT_EQ(in->Tell(), static_cast<int64_t>(longSize));
  EXPECT_FALSE(in->Eof());
  EXPECT_EQ(in->Close(), 0);
  EXPECT_EQ(ReadRequestsWhenAt(*m_server, 1 + 4), 1 + 4);
}

// Over a link where the pieces read ahead arrive slowly, a second
// connection with an open of its own reads every other piece: the bytes
// still come in order, each piece is asked for once, and nothing past the
// end. (A threshold of 0 makes the loopback server count as slow.)
TEST_F(SmbFileSystemTest, ASecondLaneReadsAheadOverASlowLinkAndTheBytesComeInOrder) {
  const uint64_t size = 72 * kMiB + 12345;
  const std::string bytes = Pattern(size, 25);
  ASSERT_TRUE(WriteLocal(Local("pub", "lanes.bin"), bytes));
  SetSmbSlowPieceMs(0);
  std::unique_ptr<CStream> in = FileOpen(Unc("pub", "lanes.bin"), OpenMode::kRead);
  ASSERT_TRUE(in);
  const int64_t negotiated = m_server->ProfileCounter("smb2_negprot_count");
  in->ExpectEnd(size);
  const std::string got = ReadInBlocks(*in, size);
  SetSmbSlowPieceMs(UINT32_MAX);
  EXPECT_TRUE(got == bytes) << got.size();
  EXPECT_FALSE(in->Error());
  EXPECT_EQ(in->Close(), 0);
  // The first block, then 17 pieces of 4 MiB and the last 3 MiB and 12345
  // bytes: one request each.
  EXPECT_EQ(ReadRequestsWhenAt(*m_server, 1 + 18), 1 + 18);
  // The second lane came over a connection of its own.
  EXPECT_GT(m_server->ProfileCounter("smb2_negprot_count"), negotiated);

  // A server that goes away under both lanes fails the read that needs it,
  // after the bytes that came before it, intact.
  SetSmbSlowPieceMs(0);
  in = FileOpen(Unc("pub", "lanes.bin"), OpenMode::kRead);
  ASSERT_TRUE(in);
  in->ExpectEnd(size);
  std::string block(kMiB, '\0');
  for (int i = 0; i < 8; ++i) ASSERT_EQ(in->Read(block.data(), kMiB), kMiB) << i;
  m_server->Kill();
  int64_t offset = in->Tell();
  while (in->Read(block.data(), kMiB) == kMiB) {
    ASSERT_TRUE(block == bytes.substr(static_cast<size_t>(offset), kMiB)) << "at " << offset;
    offset = in->Tell();
  }
  SetSmbSlowPieceMs(UINT32_MAX);
  EXPECT_TRUE(in->Error());
  EXPECT_FALSE(in->Eof());
  EXPECT_LT(in->Tell(), static_cast<int64_t>(size));
  EXPECT_TRUE(IsConnectionLevel(errno)) << std::strerror(errno);
}

// A server whose answer to a request for the file's attributes is slow
// counts as behind a link: the second lane starts before the first piece.
// Where one connection is all the run may keep, no lane starts. Either way
// the bytes come in order, each piece asked for once, and (the answer being
// very slow, as a threshold of 0 makes the loopback server) the pieces are
// 8 MiB.
TEST_F(SmbFileSystemTest, OverALinkTheLanesStartAtOnceOrOneLaneReadsLargerPieces) {
  const uint64_t size = 40 * kMiB + 12345;
  const std::string bytes = Pattern(size, 26);
  ASSERT_TRUE(WriteLocal(Local("pub", "link.bin"), bytes));
  SetSmbSlowRequestUs(0);
  // Slow pieces alone start no lane here.
  SetSmbSlowPieceMs(UINT32_MAX - 1);
  int64_t reads = 0;
  for (const uint32_t connections : {0u, 1u}) {
    SetConnections(connections);
    const int64_t negotiated = m_server->ProfileCounter("smb2_negprot_count");
    std::unique_ptr<CStream> in = FileOpen(Unc("pub", "link.bin"), OpenMode::kRead);
    ASSERT_TRUE(in);
    in->ExpectEnd(size);
    std::string got(kMiB, '\0');
    ASSERT_EQ(in->Read(got.data(), kMiB), kMiB);
    got += ReadInBlocks(*in, size);
    EXPECT_TRUE(got == bytes) << connections << " " << got.size();
    EXPECT_FALSE(in->Error());
    EXPECT_EQ(in->Close(), 0);
    // 39 MiB and 12345 bytes after the first block: 5 pieces of 8 MiB.
    reads += 1 + 5;
    EXPECT_EQ(ReadRequestsWhenAt(*m_server, reads), reads) << connections;
    // The server's counters are written out together: the second lane's
    // connection is counted by now.
    if (connections == 1) {
      EXPECT_EQ(m_server->ProfileCounter("smb2_negprot_count"), negotiated);
    } else {
      EXPECT_GT(m_server->ProfileCounter("smb2_negprot_count"), negotiated);
    }
  }
  SetConnections(0);
  SetSmbSlowPieceMs(UINT32_MAX);
  SetSmbSlowRequestUs(UINT32_MAX);
}

// A file that grew after it was listed is read whole by a reader that reads
// on past the listed end, and the end is found by a read that comes back
// short; one that shrank ends where it ends now, as without the listed end.
TEST_F(SmbFileSystemTest, AFileThatGrewIsReadOnAndOneThatShrankEndsWhereItEnds) {
  const uint64_t listed = 5 * kMiB + 3;
  const std::string grown = Pattern(listed + 6 * kMiB + 100, 23);
  ASSERT_TRUE(WriteLocal(Local("pub", "grew.bin"), grown.substr(0, listed)));
  std::unique_ptr<CStream> in = FileOpen(Unc("pub", "grew.bin"), OpenMode::kRead);
  ASSERT_TRUE(in);
  in->ExpectEnd(listed);
  ASSERT_TRUE(WriteLocal(Local("pub", "grew.bin"), grown));
  std::string got = ReadInBlocks(*in, listed);
  EXPECT_TRUE(got == grown.substr(0, listed));
  got += ReadAll(*in);
  EXPECT_TRUE(got == grown) << got.size();
  EXPECT_TRUE(in->Eof());
  EXPECT_FALSE(in->Error());

  for (const uint64_t now : {uint64_t{10000}, 3 * kMiB + 7, listed - 1}) {
    const std::string bytes = Pattern(listed, 24);
    ASSERT_TRUE(WriteLocal(Local("pub", "shrank.bin"), bytes));
    in = FileOpen(Unc("pub", "shrank.bin"), OpenMode::kRead);
    ASSERT_TRUE(in);
    in->ExpectEnd(listed);
    ASSERT_EQ(truncate(Local("pub", "shrank.bin").c_str(), static_cast<off_t>(now)), 0);
    got = ReadInBlocks(*in, listed);
    EXPECT_TRUE(got == bytes.substr(0, now)) << now << ": " << got.size();
    EXPECT_TRUE(in->Eof()) << now;
    EXPECT_FALSE(in->Error()) << now;
    EXPECT_EQ(in->Tell(), static_cast<int64_t>(now));
  }
}

TEST_F(SmbFileSystemTest, ReadingsGoOutTogetherEachARequestAndLeaveTheStreamAlone) {
  const std::string bytes = Pattern(64 * 4096, 7);
  ASSERT_TRUE(WriteLocal(Local("pub", "pages.bin"), bytes));
  std::unique_ptr<CStream> in = FileOpen(Unc("pub", "pages.bin"), OpenMode::kRead);
  ASSERT_TRUE(in);
  ASSERT_EQ(in->Seek(1000, SeekOrigin::kSet), 0);
  // As many as the user's connections allow, up to the most the check keeps.
  for (const uint32_t connections : {1u, 5u, 64u}) {
    SetConnections(connections);
    std::unique_ptr<CStream> other = FileOpen(Unc("pub", "pages.bin"), OpenMode::kRead);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->Readings().Depth(), std::min(connections, kMostSmbReadings)) << connections;
  }
  SetConnections(0);
  CReadQueue& readings = in->Readings();
  ASSERT_EQ(readings.Depth(), kSmbReadingsInFlight);
  // Eight of them, in windows that lie in the file.
  const uint32_t depth = 8;
  std::vector<std::unique_ptr<uint8_t[]>> scratch;
  for (uint32_t slot = 0; slot < depth; ++slot) scratch.emplace_back(new uint8_t[kReadingScratchBytes]);

  // Two rounds of eight readings of random windows, the second after the file changed on the server:
  // each is a request of its own, and nothing is answered from an earlier one.
  for (int round = 0; round < 2; ++round) {
    const std::string now = round == 0 ? bytes : Pattern(64 * 4096, 8);
    if (round == 1) {
      ASSERT_TRUE(WriteLocal(Local("pub", "pages.bin"), now, 0, false));
    }
    const int64_t before = m_server->ReadRequestCount();
    std::vector<std::pair<int64_t, uint32_t>> windows;
    for (uint32_t slot = 0; slot < depth; ++slot) {
      windows.emplace_back(static_cast<int64_t>(slot) * 30011 + 17 * round, 4096 + slot * 200);
      readings.Start(slot, windows[slot].first, windows[slot].second, scratch[slot].get());
    }
    for (uint32_t slot = 0; slot < depth; ++slot) {
      uint32_t got = 0;
      const uint8_t* data = readings.Finish(slot, got);
      ASSERT_TRUE(data) << ErrorText(errno);
      ASSERT_EQ(got, windows[slot].second);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), got),
                now.substr(static_cast<size_t>(windows[slot].first), got));
    }
    EXPECT_GE(ReadRequestsWhenAt(*m_server, before + depth), before + depth);
  }
  // A window past the end holds what there is.
  readings.Start(0, 64 * 4096 - 100, 4096, scratch[0].get());
  uint32_t got = 0;
  ASSERT_TRUE(readings.Finish(0, got));
  EXPECT_EQ(got, 100u);
  EXPECT_EQ(in->Tell(), 1000);
  std::string next(10, '\0');
  ASSERT_EQ(in->Read(next.data(), next.size()), next.size());
  EXPECT_EQ(next, Pattern(64 * 4096, 8).substr(1000, 10));

  // The readers' connections are kept for the next file. A server restarted meanwhile has closed
  // them: the next file's readings connect anew instead of failing.
  in.reset();
  ASSERT_TRUE(m_server->Restart()) << m_server->Error();
  // The program's own connection can be found dead by this open itself: libsmbclient checks a
  // cached connection with an echo at most once per time limit, and the last check may be more
  // recent than the restart. The copy then opens again, as here.
  in = FileOpen(Unc("pub", "pages.bin"), OpenMode::kRead);
  if (!in && (errno == ECONNABORTED || errno == ECONNRESET))
    in = FileOpen(Unc("pub", "pages.bin"), OpenMode::kRead);
  ASSERT_TRUE(in) << ErrorText(errno);
  CReadQueue& again = in->Readings();
  for (uint32_t slot = 0; slot < depth; ++slot) again.Start(slot, slot * 4096, 4096, scratch[slot].get());
  for (uint32_t slot = 0; slot < depth; ++slot) {
    const uint8_t* data = again.Finish(slot, got);
    ASSERT_TRUE(data) << "slot " << slot << ": " << ErrorText(errno);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), got),
              Pattern(64 * 4096, 8).substr(slot * 4096, 4096));
  }
}

TEST_F(SmbFileSystemTest, IdentifyGivesTheShareAndTheServersFileNumber) {
  ASSERT_TRUE(WriteLocal(Local("pub", "one"), "1"));
  ASSERT_TRUE(WriteLocal(Local("pub", "two"), "2"));
  ASSERT_TRUE(WriteLocal(Local("other", "one"), "1"));
  std::unique_ptr<CStream> one = FileOpen(Unc("pub", "one"), OpenMode::kRead);
  std::unique_ptr<CStream> sameOne =
      FileOpen("\\\\127.0.0.1:" + std::to_string(m_server->Port()) + "\\PUB\\one", OpenMode::kAppend);
  std::unique_ptr<CStream> two = FileOpen(Unc("pub", "two"), OpenMode::kRead);
  std::unique_ptr<CStream> otherOne = FileOpen(Unc("other", "one"), OpenMode::kRead);
  ASSERT_TRUE(one && sameOne && two && otherOne);
  CFileId id, same, second, other;
  ASSERT_TRUE(one->Identify(id));
  ASSERT_TRUE(sameOne->Identify(same));
  ASSERT_TRUE(two->Identify(second));
  ASSERT_TRUE(otherOne->Identify(other));
  EXPECT_EQ(id.dev, DeviceOf("pub"));
  EXPECT_EQ(id.ino, static_cast<uint64_t>(StatLocal(Local("pub", "one")).st_ino));
  EXPECT_EQ(same, id);
  EXPECT_NE(second, id);
  EXPECT_NE(other.dev, id.dev);
  const CFindData listed = List(Unc("pub", "*.*")).Named("one");
  EXPECT_EQ((CFileId{listed.dev, listed.ino}), id);
  one->Close();
  CFileId closed{1, 1};
  EXPECT_FALSE(one->Identify(closed));
  EXPECT_FALSE(closed.Known());
}

TEST_F(SmbFileSystemTest, LockExclusiveDeniesOtherWritersAndKeepsReaders) {
  ASSERT_TRUE(WriteLocal(Local("pub", "lock.bin"), "abc"));
  std::unique_ptr<CStream> holder = FileOpen(Unc("pub", "lock.bin"), OpenMode::kAppend);
  ASSERT_TRUE(holder);
  EXPECT_EQ(holder->LockExclusive(), 0) << std::strerror(errno);
  EXPECT_EQ(holder->LockExclusive(), 0);
  EXPECT_EQ(holder->Tell(), 3);
  EXPECT_EQ(holder->Write("d", 1), 1u);
  // Other writers are refused at the open; readers read.
  EXPECT_EQ(OpenErrno(Unc("pub", "lock.bin"), OpenMode::kAppend), EBUSY);
  EXPECT_EQ(OpenErrno(Unc("pub", "lock.bin"), OpenMode::kWrite), EBUSY);
  std::unique_ptr<CStream> reader = FileOpen(Unc("pub", "lock.bin"), OpenMode::kRead);
  ASSERT_TRUE(reader) << std::strerror(errno);
  EXPECT_EQ(ReadAll(*reader), "abcd");
  EXPECT_EQ(holder->Close(), 0);
  EXPECT_EQ(ReadLocal(Local("pub", "lock.bin")), "abcd");

  // Once it is closed the next writer takes it. A writer that finds another
  // open for writing is refused the lock, and its stream goes on as before.
  std::unique_ptr<CStream> next = FileOpen(Unc("pub", "lock.bin"), OpenMode::kAppend);
  ASSERT_TRUE(next);
  std::unique_ptr<CStream> rival = FileOpen(Unc("pub", "lock.bin"), OpenMode::kAppend);
  ASSERT_TRUE(rival);
  errno = 0;
  EXPECT_EQ(next->LockExclusive(), -1);
  EXPECT_EQ(errno, EWOULDBLOCK);
  EXPECT_EQ(next->Write("e", 1), 1u);
  EXPECT_EQ(next->Tell(), 5);
  rival.reset();
  EXPECT_EQ(next->LockExclusive(), 0);
  EXPECT_EQ(next->Write("f", 1), 1u);
  EXPECT_EQ(next->Close(), 0);
  EXPECT_EQ(ReadLocal(Local("pub", "lock.bin")), "abcdef");
}

TEST_F(SmbFileSystemTest, RefusedCredentialsAndOnlyThoseGiveEacces) {
  const std::string password = MadeUpPassword();
  ASSERT_TRUE(m_server->AddUser(password)) << m_server->Error();
  ASSERT_TRUE(WriteLocal(Local("priv", "secret.txt"), "s3"));
  CFindData data;

  // Guests are refused at the share.
  EXPECT_EQ(OpenErrno(Unc("priv", "secret.txt"), OpenMode::kRead), EACCES);
  EXPECT_EQ(List(Unc("priv", "*.*")).openErrno, EACCES);
  errno = 0;
  EXPECT_FALSE(FindFirst(Unc("priv", "secret.txt"), data));
  EXPECT_EQ(errno, EACCES);

  // A wrong password is refused at logon, on every share.
  const std::string user = CSambaServer::ProcessUser();
  SetSmbCredentials({user, "", password + "x"});
  EXPECT_EQ(OpenErrno(Unc("priv", "secret.txt"), OpenMode::kRead), EACCES);
  EXPECT_EQ(List(Unc("priv", "*.*")).openErrno, EACCES);
  EXPECT_EQ(OpenErrno(Unc("pub", "x"), OpenMode::kAppend), EACCES);

  // The right one opens; a missing file is still ENOENT.
  SetSmbCredentials({user, "", password});
  std::unique_ptr<CStream> in = FileOpen(Unc("priv", "secret.txt"), OpenMode::kRead);
  ASSERT_TRUE(in) << std::strerror(errno);
  EXPECT_EQ(ReadAll(*in), "s3");
  EXPECT_EQ(List(Unc("priv", "*.*")).Names(), std::vector<std::string>{"secret.txt"});
  EXPECT_EQ(OpenErrno(Unc("priv", "missing"), OpenMode::kRead), ENOENT);

  // A file the server refuses on a share that admits us is EPERM: a socket
  // on the server's side cannot be opened.
  SetSmbCredentials(CSmbCredentials());
  const std::string socketPath = Local("pub", "sock");
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  // The first open makes the connection, the second goes through it.
  EXPECT_EQ(OpenErrno(Unc("pub", "sock"), OpenMode::kRead), EPERM);
  EXPECT_EQ(OpenErrno(Unc("pub", "sock"), OpenMode::kRead), EPERM);
  close(fd);
}

TEST_F(SmbFileSystemTest, ServerKilledMidReadFailsTheReadAndTheNextOpenReconnects) {
  const std::string bytes = Pattern(64 * kMiB, 7);
  ASSERT_TRUE(WriteLocal(Local("pub", "large.bin"), bytes));
  std::unique_ptr<CStream> in = FileOpen(Unc("pub", "large.bin"), OpenMode::kRead);
  ASSERT_TRUE(in);
  std::string buffer(kMiB, '\0');
  ASSERT_EQ(in->Read(buffer.data(), kMiB), kMiB);

  m_server->Kill();
  auto start = std::chrono::steady_clock::now();
  // What was read ahead before the kill still comes, intact; the first read
  // that needs the server fails, long before the end of the file.
  errno = 0;
  size_t got = 0;
  int64_t offset = in->Tell();
  while ((got = in->Read(buffer.data(), kMiB)) == kMiB) {
    ASSERT_TRUE(buffer == bytes.substr(static_cast<size_t>(offset), kMiB)) << "at " << offset;
    offset = in->Tell();
    ASSERT_LT(offset, static_cast<int64_t>(32 * kMiB));
  }
  const int readErrno = errno;
  const int64_t failedAfter = MsSince(start);
  EXPECT_EQ(in->Tell(), offset + static_cast<int64_t>(got));
  EXPECT_TRUE(in->Error());
  EXPECT_FALSE(in->Eof());
  // libsmbclient tells a connection the server closed (ECONNABORTED) from
  // one it reset (ENETRESET), whichever the kernel reports first.
  EXPECT_TRUE(readErrno == ECONNABORTED || readErrno == ENETRESET) << std::strerror(readErrno);
  EXPECT_LT(failedAfter, kTimeoutMs);
  in.reset();

  // While it is down, opens and listings fail, never with ENOENT.
  EXPECT_EQ(OpenErrno(Unc("pub", "large.bin"), OpenMode::kRead), ECONNREFUSED);
  EXPECT_EQ(List(Unc("pub", "*.*")).openErrno, ECONNREFUSED);

  ASSERT_TRUE(m_server->Restart()) << m_server->Error();
  start = std::chrono::steady_clock::now();
  in = FileOpen(Unc("pub", "large.bin"), OpenMode::kRead);
  ASSERT_TRUE(in) << std::strerror(errno);
  EXPECT_LT(MsSince(start), kTimeoutMs);
  ASSERT_EQ(in->Seek(offset, SeekOrigin::kSet), 0);
  ASSERT_EQ(in->Read(buffer.data(), kMiB), kMiB);
  EXPECT_TRUE(buffer == bytes.substr(static_cast<size_t>(offset), kMiB));
  RecordProperty("read_failed_after_kill_ms", std::to_string(failedAfter));
  RecordProperty("read_errno_after_kill", std::to_string(readErrno));
}

// Whatever libsmbclient makes of the broken connection under a write (it
// has no errno for some of the server statuses and gives EINVAL), the
// write fails with an errno that says the connection has gone, so that a
// copy onto the share waits for it as for a dropped read.
TEST_F(SmbFileSystemTest, ServerKilledBetweenWritesFailsTheWriteAsADroppedConnection) {
  const std::string bytes = Pattern(4 * kMiB, 12);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string name = "out" + std::to_string(round) + ".bin";
    std::unique_ptr<CStream> out = FileOpen(Unc("pub", name), OpenMode::kAppend);
    ASSERT_TRUE(out) << std::strerror(errno);
    ASSERT_EQ(out->Write(bytes.data(), kMiB), kMiB);

    m_server->Kill();
    errno = 0;
    size_t put = kMiB;
    for (size_t at = kMiB; at < bytes.size() && put == kMiB; at += kMiB)
      put = out->Write(bytes.data() + at, kMiB);
    const int writeErrno = errno;
    EXPECT_TRUE(out->Error());
    EXPECT_TRUE(writeErrno == ECONNABORTED || writeErrno == ENETRESET || writeErrno == ECONNRESET ||
                writeErrno == EPIPE || writeErrno == ENOTCONN)
        << std::strerror(writeErrno);
    out.reset();

    ASSERT_TRUE(m_server->Restart()) << m_server->Error();
    out = FileOpen(Unc("pub", name), OpenMode::kAppend);
    ASSERT_TRUE(out) << std::strerror(errno);
    EXPECT_EQ(out->Seek(0, SeekOrigin::kEnd), 0);
    const int64_t length = out->Tell();
    EXPECT_GE(length, static_cast<int64_t>(kMiB));
    // What is written after the reconnect lands at the file's end.
    ASSERT_EQ(out->Write(bytes.data() + length, kMiB), kMiB);
    EXPECT_EQ(out->Close(), 0);
    EXPECT_TRUE(ReadLocal(Local("pub", name)) == bytes.substr(0, static_cast<size_t>(length) + kMiB));
  }
}

TEST_F(SmbFileSystemTest, ServerThatStopsAnsweringTimesOutAndIsReachedAgainAfter) {
  // A shorter limit keeps this test short; it applies to new connections.
  constexpr uint32_t kShortMs = 1000;
  SetSmbTimeoutMs(kShortMs);
  const std::string bytes = Pattern(64 * kMiB, 8);
  ASSERT_TRUE(WriteLocal(Local("pub", "large.bin"), bytes));
  std::unique_ptr<CStream> in = FileOpen(Unc("pub", "large.bin"), OpenMode::kRead);
  ASSERT_TRUE(in);
  std::string buffer(kMiB, '\0');
  ASSERT_EQ(in->Read(buffer.data(), kMiB), kMiB);

  m_server->Pause();
  auto start = std::chrono::steady_clock::now();
  // What was read ahead still comes; the read that waits for the server
  // fails once the time limit is over (the request may have gone out just
  // before the pause, so the wait can be a little shorter than the limit).
  errno = 0;
  int64_t offset = in->Tell();
  while (in->Read(buffer.data(), kMiB) == kMiB) {
    ASSERT_TRUE(buffer == bytes.substr(static_cast<size_t>(offset), kMiB)) << "at " << offset;
    offset = in->Tell();
    ASSERT_LT(offset, static_cast<int64_t>(32 * kMiB));
  }
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_TRUE(in->Error());
  const int64_t readFailedAfter = MsSince(start);
  EXPECT_LT(readFailedAfter, kShortMs * 2);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(in->Close(), -1);
  const int64_t closeFailedAfter = MsSince(start);
  EXPECT_LT(closeFailedAfter, kShortMs * 3);
  in.reset();
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(OpenErrno(Unc("pub", "large.bin"), OpenMode::kRead), ETIMEDOUT);
  const int64_t openFailedAfter = MsSince(start);
  EXPECT_LT(openFailedAfter, kShortMs * 3);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(List(Unc("pub", "*.*")).openErrno, ETIMEDOUT);
  EXPECT_LT(MsSince(start), kShortMs * 3);

  m_server->Resume();
  in = FileOpen(Unc("pub", "large.bin"), OpenMode::kRead);
  ASSERT_TRUE(in) << std::strerror(errno);
  ASSERT_EQ(in->Seek(offset, SeekOrigin::kSet), 0);
  ASSERT_EQ(in->Read(buffer.data(), kMiB), kMiB);
  EXPECT_TRUE(buffer == bytes.substr(static_cast<size_t>(offset), kMiB));
  RecordProperty("read_timed_out_after_ms", std::to_string(readFailedAfter));
  RecordProperty("close_failed_after_ms", std::to_string(closeFailedAfter));
  RecordProperty("open_timed_out_after_ms", std::to_string(openFailedAfter));
}

TEST_F(SmbFileSystemTest, StreamsOfSeveralThreadsShareTheOneContext) {
  const std::string first = Pattern(2 * kMiB, 9);
  const std::string second = Pattern(2 * kMiB, 10);
  ASSERT_TRUE(WriteLocal(Local("pub", "first"), first));
  ASSERT_TRUE(WriteLocal(Local("other", "second"), second));
  auto reader = [](const std::string& path, const std::string& bytes, int& good) {
    for (int i = 0; i < 8; ++i) {
      std::unique_ptr<CStream> in = FileOpen(path, OpenMode::kRead);
      if (in && ReadAll(*in) == bytes && in->Close() == 0) ++good;
    }
  };
  int goodFirst = 0;
  int goodSecond = 0;
  std::thread one(reader, Unc("pub", "first"), std::cref(first), std::ref(goodFirst));
  std::thread two(reader, Unc("other", "second"), std::cref(second), std::ref(goodSecond));
  one.join();
  two.join();
  EXPECT_EQ(goodFirst, 8);
  EXPECT_EQ(goodSecond, 8);
}

TEST_F(SmbFileSystemTest, NamesAreListedAsTheServerSendsThem) {
  // Samba serves names Windows forbids unmangled; the server refuses to open
  // some of them, but the listing names them all.
  ASSERT_EQ(mkdir(Local("pub", "odd").c_str(), 0755), 0);
  for (const char* name : {"q?m", "co:lon", "st*r", "lt<gt>", "pi|pe"})
    ASSERT_TRUE(WriteLocal(Local("pub", "odd/") + name, "o"));
  EXPECT_EQ(List(Unc("pub", "odd/*.*")).Names(),
            (std::vector<std::string>{"co:lon", "lt<gt>", "pi|pe", "q?m", "st*r"}));
  // The server refuses the name in a request: a name the share cannot hold.
  EXPECT_EQ(OpenErrno(Unc("pub", "odd/q?m"), OpenMode::kRead), EILSEQ);
  EXPECT_EQ(OpenErrno(Unc("pub", "odd/co:lon"), OpenMode::kRead), EILSEQ);

  // A name holding a backslash cannot be passed on: libsmbclient refuses the
  // whole listing, which then fails for good rather than leaving the name
  // out.
  ASSERT_EQ(mkdir(Local("pub", "bad").c_str(), 0755), 0);
  ASSERT_TRUE(WriteLocal(Local("pub", "bad/fine"), "f"));
  ASSERT_TRUE(WriteLocal(Local("pub", "bad/back\\slash"), "b"));
  const CListing bad = List(Unc("pub", "bad/*.*"));
  EXPECT_FALSE(bad.opened);
  EXPECT_EQ(bad.openErrno, EILSEQ);
}

TEST_F(SmbFileSystemTest, EntriesRefusedAfterAnAdmittedLogonGiveEperm) {
  ASSERT_TRUE(WriteLocal(Local("deny", "a_ok.txt"), "a"));
  ASSERT_TRUE(WriteLocal(Local("deny", "b_denied.txt"), "b"));
  ASSERT_EQ(chmod(Local("deny", "b_denied.txt").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(Local("deny", "closed").c_str(), 0700), 0);
  ASSERT_TRUE(WriteLocal(Local("deny", "closed/x"), "x"));
  const std::string password = MadeUpPassword();
  ASSERT_TRUE(m_server->AddUser(password)) << m_server->Error();

  auto expectRefusedEntries = [this](const char* who) {
    // The first call makes the connection, the later ones go through it.
    EXPECT_EQ(OpenErrno(Unc("deny", "b_denied.txt"), OpenMode::kRead), EPERM) << who;
    EXPECT_EQ(OpenErrno(Unc("deny", "b_denied.txt"), OpenMode::kRead), EPERM) << who;
    EXPECT_EQ(List(Unc("deny", "closed/*.*")).openErrno, EPERM) << who;
    EXPECT_EQ(OpenErrno(Unc("deny", "closed/x"), OpenMode::kRead), EPERM) << who;
    EXPECT_EQ(OpenErrno(Unc("deny", "closed/new"), OpenMode::kWrite), EPERM) << who;
    // Its neighbours are read as ever.
    std::unique_ptr<CStream> in = FileOpen(Unc("deny", "a_ok.txt"), OpenMode::kRead);
    ASSERT_TRUE(in) << who << ": " << std::strerror(errno);
    EXPECT_EQ(ReadAll(*in), "a") << who;
    const std::vector<std::string> all = {"a_ok.txt", "b_denied.txt", "closed"};
    EXPECT_EQ(List(Unc("deny", "*.*")).Names(), all) << who;
  };
  expectRefusedEntries("guest");
  // A user of its own asks libsmbclient for the credentials on every call,
  // also on the way to the connection it has: still the entry's refusal.
  SetSmbCredentials({CSambaServer::ProcessUser(), "", password});
  expectRefusedEntries("user");
  EXPECT_FALSE(Exists(Local("deny", "closed/new")));

  // Refused logons stay EACCES, also on a share whose entries refuse.
  SetSmbCredentials({CSambaServer::ProcessUser(), "", password + "x"});
  EXPECT_EQ(OpenErrno(Unc("deny", "a_ok.txt"), OpenMode::kRead), EACCES);
  EXPECT_EQ(OpenErrno(Unc("deny", "b_denied.txt"), OpenMode::kRead), EACCES);
  EXPECT_EQ(List(Unc("deny", "closed/*.*")).openErrno, EACCES);
  // An empty password logs on nowhere: refused as well, not "invalid".
  SetSmbCredentials({CSambaServer::ProcessUser(), "", ""});
  EXPECT_EQ(OpenErrno(Unc("pub", "x"), OpenMode::kAppend), EACCES);
  EXPECT_EQ(List(Unc("pub", "*.*")).openErrno, EACCES);
  CFindData data;
  errno = 0;
  EXPECT_FALSE(FindFirst(Unc("pub", "x"), data));
  EXPECT_EQ(errno, EACCES);
}

TEST_F(SmbFileSystemTest, WhatTheServerAnswersIsMissingGivesEnoentAndAServerOutOfReachItsConnectionErrno) {
  ASSERT_TRUE(WriteLocal(Local("pub", "here.txt"), "h"));
  CFindData data;
  for (const std::string& missing : {Unc("nosuchshare"), Unc("nosuchshare", "x"), Unc("pub", "gone"),
                                     Unc("pub", "gone/x"), Unc("pub", "here.txt/x")}) {
    EXPECT_EQ(OpenErrno(missing, OpenMode::kRead), ENOENT) << missing;
    errno = 0;
    EXPECT_FALSE(FindFirst(missing, data)) << missing;
    EXPECT_EQ(errno, ENOENT) << missing;
  }
  EXPECT_EQ(List(Unc("nosuchshare", "*.*")).openErrno, ENOENT);
  EXPECT_EQ(List(Unc("pub", "gone/*.*")).openErrno, ENOENT);

  // Nothing listens there (libsmbclient keeps connections by address and
  // share, whatever the port: another address, so that none is found).
  const std::string closed = "//127.0.0.2:" + std::to_string(m_server->Port()) + "/pub/";
  EXPECT_EQ(OpenErrno(closed + "here.txt", OpenMode::kRead), ECONNREFUSED);
  EXPECT_EQ(List(closed + "*.*").openErrno, ECONNREFUSED);
  // A server whose name does not resolve is out of reach, not "invalid".
  EXPECT_EQ(OpenErrno("//nas.invalid/pub/here.txt", OpenMode::kRead), EHOSTUNREACH);
  EXPECT_EQ(List("//nas.invalid/pub/*.*").openErrno, EHOSTUNREACH);
}

TEST_F(SmbFileSystemTest, NamesThatAreNotUtf8GiveEilseqAndNeverReachTheServer) {
  const std::string bad = std::string("bad\xff") + "name";
  EXPECT_EQ(OpenErrno(Unc("pub", bad), OpenMode::kWrite), EILSEQ);
  EXPECT_EQ(OpenErrno(Unc("pub", bad), OpenMode::kAppend), EILSEQ);
  EXPECT_EQ(OpenErrno(Unc("pub", bad), OpenMode::kRead), EILSEQ);
  EXPECT_EQ(List(Unc("pub", bad + "/*.*")).openErrno, EILSEQ);
  CFindData data;
  errno = 0;
  EXPECT_FALSE(FindFirst(Unc("pub", bad), data));
  EXPECT_EQ(errno, EILSEQ);
  errno = 0;
  EXPECT_EQ(MakeDir(Unc("pub", bad)), -1);
  EXPECT_EQ(errno, EILSEQ);
  errno = 0;
  EXPECT_EQ(SetFileTimes(Unc("pub", bad), 1, 1), -1);
  EXPECT_EQ(errno, EILSEQ);
  // Overlong forms and surrogates are no UTF-8 either; a valid name goes.
  EXPECT_EQ(OpenErrno(Unc("pub", "\xc0\xaf"), OpenMode::kWrite), EILSEQ);
  EXPECT_EQ(OpenErrno(Unc("pub", "\xed\xa0\x80"), OpenMode::kWrite), EILSEQ);
  EXPECT_EQ(OpenErrno(Unc("pub", "\xc3\xa9t\xc3\xa9"), OpenMode::kWrite), 0);
  EXPECT_EQ(List(Unc("pub", "*.*")).Names(), std::vector<std::string>{"\xc3\xa9t\xc3\xa9"});
}

TEST_F(SmbFileSystemTest, WrittenUrlsAreDecodedAndTheNamesAfterThemAreNot) {
  ASSERT_EQ(mkdir(Local("pub", "my dir").c_str(), 0755), 0);
  ASSERT_TRUE(WriteLocal(Local("pub", "my dir/100%25.txt"), "literal"));
  ASSERT_TRUE(WriteLocal(Local("pub", "my dir/100%.txt"), "decoded"));
  const std::string written = m_server->Url("pub") + "/my%20dir";
  SetWrittenSmbAddresses({written});
  CFindData data;
  ASSERT_TRUE(FindFirst(written, data)) << std::strerror(errno);
  EXPECT_EQ(data.name, "my dir");
  EXPECT_EQ(List(written + "/*.*").Names(), (std::vector<std::string>{"100%.txt", "100%25.txt"}));
  // A name appended to the address is the name as stored.
  std::unique_ptr<CStream> in = FileOpen(written + "/100%25.txt", OpenMode::kRead);
  ASSERT_TRUE(in) << std::strerror(errno);
  EXPECT_EQ(ReadAll(*in), "literal");
  // Without the declaration the address is bytes as ever: no such folder.
  SetWrittenSmbAddresses({});
  EXPECT_EQ(List(written + "/*.*").openErrno, ENOENT);
}

}  // namespace
