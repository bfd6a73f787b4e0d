// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the Windows backend on real folders (under Wine when built on
// Linux), each in a temporary folder of its own.
#include "platform/FileServices.h"
#include "platform/windows/WinErrors.h"
#include "platform/windows/WinFileSystem.h"
#include "platform/windows/WinPath.h"
#include "platform/windows/WinReadings.h"
#include "platform/windows/WinRecords.h"

// windows.h before the system headers that need it.
#include "platform/windows/WindowsApi.h"

#include <gtest/gtest.h>

#include <winioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// Removes the entry at widePath (a Win32Path) and everything below it;
// links and junctions are removed themselves, never followed.
void RemoveTree(const std::wstring& widePath) {
  const DWORD attributes = GetFileAttributesW(widePath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(widePath.c_str(), FILE_ATTRIBUTE_NORMAL | (attributes & FILE_ATTRIBUTE_DIRECTORY));
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    DeleteFileW(widePath.c_str());
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((widePath + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") RemoveTree(widePath + L"\\" + name);
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
  }
  RemoveDirectoryW(widePath.c_str());
}

// A new, empty folder under the system's temporary folder, removed with
// everything in it.
class CWinTempDir {
public:
  CWinTempDir() {
    static int counter = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::wstring base(temp, length);
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    for (;;) {
      const std::wstring name = base + L"\\ferrox-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++counter);
      if (CreateDirectoryW(name.c_str(), nullptr)) {
        m_path = Utf8FromWide(name);
        break;
      }
      if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
  }
  ~CWinTempDir() {
    if (!m_path.empty()) RemoveTree(Win32Path(m_path));
  }
  CWinTempDir(const CWinTempDir&) = delete;
  CWinTempDir& operator=(const CWinTempDir&) = delete;

  // The folder's full path in UTF-8, without a trailing separator.
  const std::string& Path() const { return m_path; }
  // Returns Path() + "\\" + relative.
  std::string operator/(const std::string& relative) const { return m_path + "\\" + relative; }

private:
  std::string m_path;
};

// Writes content to the file at path through the backend; returns true when
// every byte was written and the stream closed.
bool WriteFileText(const std::string& path, const std::string& content, OpenMode mode = OpenMode::kWrite) {
  std::unique_ptr<CStream> stream = WinFileSystem().Open(path, mode);
  if (!stream) return false;
  if (stream->Write(content.data(), content.size()) != content.size()) return false;
  return stream->Close() == 0;
}

// Returns the whole content of the file at path read through the backend,
// or "<open failed>".
std::string ReadFileText(const std::string& path) {
  std::unique_ptr<CStream> stream = WinFileSystem().Open(path, OpenMode::kRead);
  if (!stream) return "<open failed>";
  std::string content;
  char buffer[4096];
  for (;;) {
    const size_t got = stream->Read(buffer, sizeof buffer);
    content.append(buffer, got);
    if (got < sizeof buffer) break;
  }
  EXPECT_TRUE(stream->Eof());
  EXPECT_FALSE(stream->Error());
  return content;
}

// Returns every record of the listing of folder, in the order given, with
// listingErrno set to the errno of its end (or of FindFirst's failure).
std::vector<CFindData> ListAll(const std::string& folder, int& listingErrno) {
  std::vector<CFindData> records;
  CFindData data;
  errno = 0;
  std::unique_ptr<CFindHandle> search = WinFileSystem().FindFirst(folder + "\\*.*", data);
  if (!search) {
    listingErrno = errno;
    return records;
  }
  records.push_back(data);
  while (search->FindNext(data)) records.push_back(data);
  listingErrno = errno;
  return records;
}

// Returns the records of ListAll by name; the end's errno must be ENOENT.
std::map<std::string, CFindData> ListByName(const std::string& folder) {
  int listingErrno = 0;
  std::map<std::string, CFindData> byName;
  for (const CFindData& record : ListAll(folder, listingErrno)) byName[record.name] = record;
  EXPECT_EQ(listingErrno, ENOENT);
  return byName;
}

// On a share, EACCES is kept for a refused logon, so that an entry the
// server refuses is named and passed rather than taken for a wrong password.
TEST(WinErrors, OnASharePathAccessDeniedIsTheEntrysAndALogonFailureTheLogons) {
  for (const std::wstring share : {L"\\\\nas\\films\\a.mkv", L"\\\\?\\UNC\\nas\\films\\a.mkv"}) {
    EXPECT_EQ(ErrnoFromWin32For(ERROR_ACCESS_DENIED, share), EPERM);
    EXPECT_EQ(ErrnoFromWin32For(ERROR_NETWORK_ACCESS_DENIED, share), EPERM);
    EXPECT_EQ(ErrnoFromWin32For(ERROR_LOGON_FAILURE, share), EACCES);
    EXPECT_EQ(ErrnoFromWin32For(ERROR_ACCOUNT_DISABLED, share), EACCES);
    EXPECT_EQ(ErrnoFromWin32For(ERROR_BAD_NET_NAME, share), ENOENT);
  }
  for (const std::wstring local : {L"C:\\films\\a.mkv", L"\\\\?\\C:\\films\\a.mkv", L"\\\\.\\pipe\\x"}) {
    EXPECT_EQ(ErrnoFromWin32For(ERROR_ACCESS_DENIED, local), EACCES);
    EXPECT_EQ(ErrnoFromWin32For(ERROR_LOGON_FAILURE, local), EPERM);
  }
}

TEST(WinErrors, MapsNetworkAndCommonCodes) {
  EXPECT_EQ(ErrnoFromWin32(ERROR_NETNAME_DELETED), ECONNABORTED);
  EXPECT_EQ(ErrnoFromWin32(ERROR_UNEXP_NET_ERR), ECONNABORTED);
  EXPECT_EQ(ErrnoFromWin32(ERROR_BAD_NETPATH), ENOENT);
  EXPECT_EQ(ErrnoFromWin32(ERROR_BAD_NET_NAME), ENOENT);
  EXPECT_EQ(ErrnoFromWin32(ERROR_SEM_TIMEOUT), ETIMEDOUT);
  EXPECT_EQ(ErrnoFromWin32(ERROR_NETWORK_UNREACHABLE), ENETUNREACH);
  EXPECT_EQ(ErrnoFromWin32(ERROR_FILE_NOT_FOUND), ENOENT);
  EXPECT_EQ(ErrnoFromWin32(ERROR_PATH_NOT_FOUND), ENOENT);
  EXPECT_EQ(ErrnoFromWin32(ERROR_ACCESS_DENIED), EACCES);
  EXPECT_EQ(ErrnoFromWin32(ERROR_SHARING_VIOLATION), EBUSY);
  EXPECT_EQ(ErrnoFromWin32(ERROR_DISK_FULL), ENOSPC);
  EXPECT_EQ(ErrnoFromWin32(ERROR_HANDLE_DISK_FULL), ENOSPC);
  EXPECT_EQ(ErrnoFromWin32(ERROR_ALREADY_EXISTS), EEXIST);
  EXPECT_EQ(ErrnoFromWin32(ERROR_FILE_EXISTS), EEXIST);
  EXPECT_EQ(ErrnoFromWin32(ERROR_DIR_NOT_EMPTY), ENOTEMPTY);
  EXPECT_EQ(ErrnoFromWin32(ERROR_INVALID_PARAMETER), EINVAL);
  EXPECT_EQ(ErrnoFromWin32(ERROR_INVALID_HANDLE), EBADF);
  EXPECT_EQ(ErrnoFromWin32(ERROR_SUCCESS), EIO);
  EXPECT_EQ(ErrnoFromWin32(ERROR_CRC), EIO);
  EXPECT_EQ(ErrnoFromWin32(0xFFFFFFFFu), EIO);

  SetLastError(ERROR_DISK_FULL);
  errno = 0;
  EXPECT_EQ(SetErrnoFromLastError(), ENOSPC);
  EXPECT_EQ(errno, ENOSPC);
}

TEST(WinProcess, ErrorTextAndCurrentDirectory) {
  EXPECT_EQ(ErrorText(ENOSPC), "No space left on device");
  EXPECT_EQ(ErrorText(ENOENT), "No such file or directory");
  EXPECT_EQ(ErrorText(ECONNABORTED), "Software caused connection abort");
  EXPECT_EQ(ErrorText(ETIMEDOUT), "Connection timed out");
  const std::string current = CurrentDirectory();
  ASSERT_FALSE(current.empty());
  wchar_t wide[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, wide);
  EXPECT_EQ(current, Utf8FromWide(std::wstring_view(wide, length)));
}

TEST(WinProcess, RelativePathsKeepTheFolderTheProgramStartedIn) {
  // The file-open dialog moves the process's current folder while a copy
  // may be running: neither the current directory of a run nor its
  // relative paths follow it.
  const std::string started = CurrentDirectory();
  const std::wstring before = Win32Path("sub/file.txt");
  wchar_t windows[MAX_PATH + 1] = {};
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH + 1), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(windows));
  EXPECT_EQ(CurrentDirectory(), started);
  EXPECT_EQ(Win32Path("sub/file.txt"), before);
  EXPECT_TRUE(SetCurrentDirectoryW(WideFromUtf8(started).c_str()));
}

TEST(WinPath, ConvertsUtf8AndUtf16) {
  const std::string text = "a \xCE\xB1\xCE\xB2 \xE6\xBC\xA2 \xF0\x9F\x98\x80";  // "a αβ 漢 😀"
  bool ok = false;
  const std::wstring wide = WideFromUtf8(text, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(wide, std::wstring(L"a \u03B1\u03B2 \u6F22 \xD83D\xDE00"));
  EXPECT_EQ(Utf8FromWide(wide), text);

  // Bytes that are no UTF-8 become U+FFFD each.
  EXPECT_EQ(WideFromUtf8("x\xFFy\xC0\xAFz\xE6\xBC", &ok), std::wstring(L"x\xFFFDy\xFFFD\xFFFDz\xFFFD\xFFFD"));
  EXPECT_FALSE(ok);
  EXPECT_EQ(WideFromUtf8("\xED\xA0\x80", &ok), std::wstring(L"\xFFFD\xFFFD\xFFFD"));  // a surrogate
  EXPECT_FALSE(ok);
  // An unpaired surrogate becomes U+FFFD, and the caller is told.
  EXPECT_EQ(Utf8FromWide(std::wstring(L"a\xD800"
                                      L"b\xDC00"),
                         &ok),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  EXPECT_FALSE(ok);
  EXPECT_EQ(Utf8FromWide(wide, &ok), text);
  EXPECT_TRUE(ok);
}

TEST(WinPath, GivesLongAndUncForms) {
  wchar_t current[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, current);
  std::wstring base(current, length);
  if (base.back() != L'\\') base += L'\\';
  EXPECT_EQ(Win32Path("sub/file.txt"), L"\\\\?\\" + base + L"sub\\file.txt");
  EXPECT_EQ(Win32Path("C:/data/x/../y/"), L"\\\\?\\C:\\data\\y");
  EXPECT_EQ(Win32Path("C:\\data\\y\\\\"), L"\\\\?\\C:\\data\\y");
  EXPECT_EQ(Win32Path("C:\\"), L"\\\\?\\C:\\");
  EXPECT_EQ(Win32Path("\\\\?\\C:\\already\\long"), L"\\\\?\\C:\\already\\long");
  EXPECT_EQ(Win32Path("\\\\server\\share\\dir\\f.bin"), L"\\\\?\\UNC\\server\\share\\dir\\f.bin");
  EXPECT_EQ(Win32Path("//server/share/dir/f.bin"), L"\\\\?\\UNC\\server\\share\\dir\\f.bin");
  EXPECT_EQ(Win32Path("\\\\server\\share\\"), L"\\\\?\\UNC\\server\\share\\");
  EXPECT_EQ(Win32Path("smb://server/share/dir/f.bin"), L"\\\\?\\UNC\\server\\share\\dir\\f.bin");
  EXPECT_EQ(Win32Path("SMB://user@server/share/a b/%c.txt"), L"\\\\?\\UNC\\server\\share\\a b\\%c.txt");
  EXPECT_EQ(Win32Path("C:\\\xCE\xB1\\\xF0\x9F\x98\x80"), std::wstring(L"\\\\?\\C:\\\u03B1\\\xD83D\xDE00"));
  EXPECT_EQ(Win32Path(""), L"");
  EXPECT_EQ(Win32Path("smb://server:4450/share/x"), L"");  // a UNC path carries no port

  const std::string longName(300, 'n');
  EXPECT_EQ(Win32Path("C:\\" + longName), L"\\\\?\\C:\\" + std::wstring(300, L'n'));
}

TEST(WinFileSystem, NamesOutsideAnyCodePage) {
  CWinTempDir dir;
  ASSERT_FALSE(dir.Path().empty());
  const std::vector<std::string> names = {
      "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC.txt",  // Ελληνικά.txt
      "\xE6\xBC\xA2\xE5\xAD\x97\xE3\x81\x8B\xE3\x81\xAA.bin",                  // 漢字かな.bin
      "smile \xF0\x9F\x98\x80.dat",                                            // smile 😀.dat
  };
  for (const std::string& name : names) ASSERT_TRUE(WriteFileText(dir / name, "content of " + name)) << name;
  ASSERT_EQ(WinFileSystem().MakeDir(dir / "\xF0\x9F\x93\x81 folder"), 0);  // 📁 folder

  const std::map<std::string, CFindData> listed = ListByName(dir.Path());
  EXPECT_EQ(listed.size(), names.size() + 3);
  for (const std::string& name : names) {
    ASSERT_EQ(listed.count(name), 1u) << name;
    EXPECT_EQ(listed.at(name).attrib, 0u);
    EXPECT_EQ(listed.at(name).size, ("content of " + name).size());
    EXPECT_EQ(ReadFileText(dir / name), "content of " + name);
    // Through the engine's own entry point and with the user's slash.
    std::unique_ptr<CStream> stream = FileOpen(dir.Path() + "/" + name, OpenMode::kRead);
    EXPECT_NE(stream, nullptr);
  }
  ASSERT_EQ(listed.count("\xF0\x9F\x93\x81 folder"), 1u);
  EXPECT_EQ(listed.at("\xF0\x9F\x93\x81 folder").attrib, kAttribSubdir);

  CFindData single;
  ASSERT_NE(WinFileSystem().FindFirst(dir / names[2], single), nullptr);
  EXPECT_EQ(single.name, names[2]);
}

TEST(WinFileSystem, PathsLongerThanMaxPath) {
  CWinTempDir dir;
  ASSERT_FALSE(dir.Path().empty());
  std::string path = dir.Path();
  for (int level = 0; level < 12; ++level) {
    path += "\\folder-of-level-" + std::to_string(level) + "-with-a-long-name";
    ASSERT_EQ(WinFileSystem().MakeDir(path), 0) << "level " << level << " errno " << errno;
  }
  ASSERT_GT(path.size(), 400u);
  const std::string file = path + "\\deep file.txt";
  ASSERT_TRUE(WriteFileText(file, "deep down"));
  EXPECT_EQ(ReadFileText(file), "deep down");
  const std::map<std::string, CFindData> listed = ListByName(path);
  ASSERT_EQ(listed.count("deep file.txt"), 1u);
  EXPECT_EQ(listed.at("deep file.txt").size, 9u);
  CFindData single;
  EXPECT_NE(WinFileSystem().FindFirst(file, single), nullptr);
  EXPECT_EQ(single.size, 9u);
  EXPECT_EQ(WinFileSystem().SetFileTimes(file, 1000000000, 1000000000), 0);
}

TEST(WinFileSystem, TimesAndAttributes) {
  CWinTempDir dir;
  ASSERT_FALSE(dir.Path().empty());
  ASSERT_TRUE(WriteFileText(dir / "plain.txt", "12345"));
  ASSERT_TRUE(WriteFileText(dir / "hidden.txt", "hidden"));
  ASSERT_TRUE(SetFileAttributesW(Win32Path(dir / "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_EQ(WinFileSystem().MakeDir(dir / "sub"), 0);
  EXPECT_EQ(WinFileSystem().MakeDir(dir / "sub"), -1);
  EXPECT_EQ(errno, EEXIST);
  errno = 0;
  EXPECT_EQ(WinFileSystem().MakeDir(dir / "missing\\sub"), -1);
  EXPECT_EQ(errno, ENOENT);

  // 2001-09-09 01:46:40 and 2009-02-13 23:31:30, before 1970, and past 2038.
  ASSERT_EQ(WinFileSystem().SetFileTimes(dir / "plain.txt", 1000000000, 1234567890), 0);
  ASSERT_EQ(WinFileSystem().SetFileTimes(dir / "sub", 1500000000, -86400), 0);
  ASSERT_EQ(WinFileSystem().SetFileTimes(dir / "hidden.txt", 4102444800, 4102444801), 0);
  errno = 0;
  EXPECT_EQ(WinFileSystem().SetFileTimes(dir / "nothing.txt", 0, 0), -1);
  EXPECT_EQ(errno, ENOENT);

  const std::map<std::string, CFindData> listed = ListByName(dir.Path());
  ASSERT_EQ(listed.count("plain.txt"), 1u);
  ASSERT_EQ(listed.count("hidden.txt"), 1u);
  ASSERT_EQ(listed.count("sub"), 1u);
  EXPECT_EQ(listed.at("plain.txt").attrib, 0u);
  EXPECT_EQ(listed.at("plain.txt").size, 5u);
  EXPECT_EQ(listed.at("plain.txt").time_access, 1000000000);
  EXPECT_EQ(listed.at("plain.txt").time_write, 1234567890);
  EXPECT_GT(listed.at("plain.txt").time_create, 0);
  EXPECT_EQ(listed.at("sub").attrib, kAttribSubdir);
  EXPECT_EQ(listed.at("sub").size, 0u);
  EXPECT_EQ(listed.at("sub").time_access, 1500000000);
  EXPECT_EQ(listed.at("sub").time_write, -86400);
  EXPECT_EQ(listed.at("hidden.txt").attrib, 0u);
  EXPECT_EQ(listed.at("hidden.txt").size, 6u);
  EXPECT_EQ(listed.at("hidden.txt").time_access, 4102444800);
  EXPECT_EQ(listed.at("hidden.txt").time_write, 4102444801);

  // A plain path gives the entry itself, with its identity.
  CFindData single;
  ASSERT_NE(WinFileSystem().FindFirst(dir / "plain.txt", single), nullptr);
  EXPECT_EQ(single.name, "plain.txt");
  EXPECT_EQ(single.time_write, 1234567890);
  EXPECT_EQ(single.size, 5u);
  ASSERT_NE(WinFileSystem().FindFirst(dir.Path() + "/sub/", single), nullptr);
  EXPECT_EQ(single.name, "sub");
  EXPECT_EQ(single.attrib, kAttribSubdir);
  std::unique_ptr<CStream> stream = WinFileSystem().Open(dir / "plain.txt", OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  CFileId id;
  ASSERT_TRUE(WinFileSystem().FindFirst(dir / "plain.txt", single) != nullptr && stream->Identify(id));
  EXPECT_EQ(single.dev, id.dev);
  EXPECT_EQ(single.ino, id.ino);
}

TEST(WinFileSystem, SizesBeyondFourGiB) {
  CWinTempDir dir;
  ASSERT_FALSE(dir.Path().empty());
  const std::string path = dir / "big.bin";
  constexpr int64_t kBig = (int64_t{5} << 30) + 3;
  std::unique_ptr<CStream> stream = WinFileSystem().Open(path, OpenMode::kWrite);
  ASSERT_NE(stream, nullptr);
  // Asked to be sparse, so that the length costs no disk; without that, the
  // test needs the room.
  HANDLE handle =
      CreateFileW(Win32Path(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  DWORD returned = 0;
  const bool sparse =
      DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr) != 0;
  CloseHandle(handle);
  ULARGE_INTEGER freeBytes{};
  if (!sparse && (!GetDiskFreeSpaceExW(Win32Path(dir.Path()).c_str(), &freeBytes, nullptr, nullptr) ||
                  freeBytes.QuadPart < uint64_t{6} << 30)) {
    GTEST_SKIP() << "the file system makes no sparse files here and has less than 6 GiB free";
  }
  if (stream->Truncate(kBig) != 0)
    GTEST_SKIP() << "the file system does not take a 5 GiB length: errno " << errno;
  ASSERT_EQ(stream->Seek(0, SeekOrigin::kEnd), 0);
  EXPECT_EQ(stream->Tell(), kBig);
  ASSERT_EQ(stream->Write("end", 3), 3u);
  EXPECT_EQ(stream->Tell(), kBig + 3);
  ASSERT_EQ(stream->Close(), 0);

  const std::map<std::string, CFindData> listed = ListByName(dir.Path());
  ASSERT_EQ(listed.count("big.bin"), 1u);
  EXPECT_EQ(listed.at("big.bin").size, static_cast<uint64_t>(kBig + 3));
  CFindData single;
  ASSERT_NE(WinFileSystem().FindFirst(path, single), nullptr);
  EXPECT_EQ(single.size, static_cast<uint64_t>(kBig + 3));

  std::unique_ptr<CStream> reader = WinFileSystem().Open(path, OpenMode::kRead);
  ASSERT_NE(reader, nullptr);
  ASSERT_EQ(reader->Seek(kBig, SeekOrigin::kSet), 0);
  char tail[8] = {};
  EXPECT_EQ(reader->Read(tail, sizeof tail), 3u);
  EXPECT_EQ(std::string(tail, 3), "end");
  EXPECT_TRUE(reader->Eof());
}

TEST(WinFileSystem, StreamIndicatorsAndModes) {
  CWinTempDir dir;
  ASSERT_FALSE(dir.Path().empty());
  const std::string path = dir / "data.txt";
  ASSERT_TRUE(WriteFileText(path, "hello"));

  // A short read sets the end-of-file indicator, not the error one.
  std::unique_ptr<CStream> reader = WinFileSystem().Open(path, OpenMode::kRead);
  ASSERT_NE(reader, nullptr);
  char buffer[16] = {};
  EXPECT_EQ(reader->Read(buffer, sizeof buffer), 5u);
  EXPECT_TRUE(reader->Eof());
  EXPECT_FALSE(reader->Error());
  EXPECT_EQ(reader->Tell(), 5);
  ASSERT_EQ(reader->Seek(1, SeekOrigin::kSet), 0);
  EXPECT_FALSE(reader->Eof());
  EXPECT_EQ(reader->Read(buffer, 2), 2u);
  EXPECT_EQ(std::string(buffer, 2), "el");
  EXPECT_EQ(reader->Tell(), 3);
  errno = 0;
  EXPECT_EQ(reader->Seek(-10, SeekOrigin::kCur), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(reader->Tell(), 3);
  errno = 0;
  EXPECT_EQ(reader->Write("x", 1), 0u);
  EXPECT_TRUE(reader->Error());
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(reader->Flush(), 0);
  EXPECT_EQ(reader->Close(), 0);
  errno = 0;
  EXPECT_EQ(reader->Close(), -1);
  EXPECT_EQ(errno, EBADF);

  // kAppend creates, writes at the end wherever the position stands, and
  // does not read.
  std::unique_ptr<CStream> appender = WinFileSystem().Open(path, OpenMode::kAppend);
  ASSERT_NE(appender, nullptr);
  ASSERT_EQ(appender->Seek(0, SeekOrigin::kSet), 0);
  EXPECT_EQ(appender->Write(" world", 6), 6u);
  EXPECT_EQ(appender->Tell(), 11);
  errno = 0;
  EXPECT_EQ(appender->Read(buffer, 1), 0u);
  EXPECT_TRUE(appender->Error());
  EXPECT_FALSE(appender->Eof());
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(appender->Flush(), 0);
  // Truncate cuts without moving the position; the next write still goes
  // to the end.
  ASSERT_EQ(appender->Truncate(5), 0);
  EXPECT_EQ(appender->Tell(), 11);
  EXPECT_EQ(appender->Write("!", 1), 1u);
  ASSERT_EQ(appender->Close(), 0);
  EXPECT_EQ(ReadFileText(path), "hello!");
  ASSERT_TRUE(WriteFileText(dir / "new.txt", "made", OpenMode::kAppend));
  EXPECT_EQ(ReadFileText(dir / "new.txt"), "made");

  // kWrite empties.
  ASSERT_TRUE(WriteFileText(path, "ab"));
  EXPECT_EQ(ReadFileText(path), "ab");

  // kUpdate writes inside an existing file at the stream's position and
  // never creates one; RemoveFile takes a file away.
  ASSERT_TRUE(WriteFileText(dir / "update.txt", "ab"));
  std::unique_ptr<CStream> updater = WinFileSystem().Open(dir / "update.txt", OpenMode::kUpdate);
  ASSERT_NE(updater, nullptr);
  EXPECT_EQ(updater->Tell(), 0);
  ASSERT_EQ(updater->Seek(1, SeekOrigin::kSet), 0);
  EXPECT_EQ(updater->Write("Z", 1), 1u);
  ASSERT_EQ(updater->Close(), 0);
  EXPECT_EQ(ReadFileText(dir / "update.txt"), "aZ");
  errno = 0;
  EXPECT_EQ(WinFileSystem().Open(dir / "none.txt", OpenMode::kUpdate), nullptr);
  EXPECT_EQ(errno, ENOENT);
  ASSERT_TRUE(WriteFileText(dir / "gone.txt", "x"));
  EXPECT_EQ(WinFileSystem().RemoveFile(dir / "gone.txt"), 0);
  errno = 0;
  EXPECT_EQ(WinFileSystem().RemoveFile(dir / "gone.txt"), -1);
  EXPECT_EQ(errno, ENOENT);

  // kRead never creates; a folder never opens.
  for (const OpenMode mode : {OpenMode::kRead, OpenMode::kAppend, OpenMode::kWrite}) {
    errno = 0;
    EXPECT_EQ(WinFileSystem().Open(dir.Path(), mode), nullptr);
    EXPECT_EQ(errno, EINVAL);
  }
  errno = 0;
  EXPECT_EQ(WinFileSystem().Open(dir / "missing.txt", OpenMode::kRead), nullptr);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(WinFileSystem().Open(dir / "missing\\x.txt", OpenMode::kWrite), nullptr);
  EXPECT_EQ(errno, ENOENT);
  CFindData data;
  EXPECT_EQ(WinFileSystem().FindFirst(dir / "missing.txt", data), nullptr);
  EXPECT_EQ(errno, ENOENT);

  // Identity and the exclusive lock.
  std::unique_ptr<CStream> first = WinFileSystem().Open(path, OpenMode::kAppend);
  std::unique_ptr<CStream> second = WinFileSystem().Open(path, OpenMode::kAppend);
  std::unique_ptr<CStream> other = WinFileSystem().Open(dir / "new.txt", OpenMode::kRead);
  ASSERT_TRUE(first && second && other);
  CFileId a;
  CFileId b;
  CFileId c;
  ASSERT_TRUE(first->Identify(a) && second->Identify(b) && other->Identify(c));
  EXPECT_TRUE(a.Known());
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ(first->LockExclusive(), 0);
  errno = 0;
  EXPECT_EQ(second->LockExclusive(), -1);
  EXPECT_EQ(errno, EWOULDBLOCK);
  // The lock bars other locks, not the data.
  EXPECT_EQ(ReadFileText(path), "ab");
  EXPECT_EQ(second->Write("c", 1), 1u);
  ASSERT_EQ(first->Close(), 0);
  EXPECT_EQ(second->LockExclusive(), 0);
}

TEST(WinFileSystem, ListingOrderAndEnd) {
  CWinTempDir dir;
  ASSERT_FALSE(dir.Path().empty());
  int listingErrno = 0;
  std::vector<CFindData> records = ListAll(dir.Path(), listingErrno);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].name, ".");
  EXPECT_EQ(records[1].name, "..");
  EXPECT_EQ(records[0].attrib, kAttribSubdir);
  EXPECT_EQ(records[1].attrib, kAttribSubdir);
  EXPECT_EQ(listingErrno, ENOENT);

  for (const char* name : {"b.txt", "a.txt", "c"}) ASSERT_TRUE(WriteFileText(dir / name, name));
  records = ListAll(dir.Path() + "/", listingErrno);  // a trailing separator as well
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0].name, ".");
  EXPECT_EQ(records[1].name, "..");
  std::vector<std::string> rest;
  for (size_t i = 2; i < records.size(); ++i) rest.push_back(records[i].name);
  std::sort(rest.begin(), rest.end());
  EXPECT_EQ(rest, (std::vector<std::string>{"a.txt", "b.txt", "c"}));
  EXPECT_EQ(listingErrno, ENOENT);

  CFindData data;
  std::unique_ptr<CFindHandle> search = WinFileSystem().FindFirst(dir / "a.txt", data);
  ASSERT_NE(search, nullptr);
  EXPECT_EQ(data.name, "a.txt");
  errno = 0;
  EXPECT_FALSE(search->FindNext(data));
  EXPECT_EQ(errno, ENOENT);

  // A missing folder, and a folder pattern below a file.
  records = ListAll(dir / "missing", listingErrno);
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(listingErrno, ENOENT);
  records = ListAll(dir / "a.txt", listingErrno);
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(listingErrno, ENOTDIR);

  // A drive's root lists "." and ".." first as well.
  records = ListAll("C:", listingErrno);
  ASSERT_GE(records.size(), 2u);
  EXPECT_EQ(records[0].name, ".");
  EXPECT_EQ(records[1].name, "..");
  for (size_t i = 2; i < records.size(); ++i) {
    EXPECT_NE(records[i].name, ".");
    EXPECT_NE(records[i].name, "..");
  }
}

// Makes the folder at junction (a Win32Path, existing and empty) a junction
// to the folder target (a Win32Path); returns 0 or the Win32 error.
DWORD MakeJunction(const std::wstring& junction, const std::wstring& target) {
  // The target in the native form, "\??\C:\...".
  const std::wstring native = L"\\??\\" + target.substr(4);
  const auto nativeBytes = static_cast<WORD>(native.size() * sizeof(wchar_t));
  // REPARSE_DATA_BUFFER of a mount point: tag, data length, reserved, then
  // the substitute name's offset and length, the print name's, and the
  // names themselves (the print name empty), each ended by a zero.
  std::vector<uint8_t> buffer(8 + 8 + nativeBytes + 2 + 2);
  auto put16 = [&](size_t at, WORD value) {
    buffer[at] = static_cast<uint8_t>(value & 0xFFu);
    buffer[at + 1] = static_cast<uint8_t>(value >> 8);
  };
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  for (size_t i = 0; i < 4; ++i) buffer[i] = static_cast<uint8_t>((tag >> (8 * i)) & 0xFFu);
  put16(4, static_cast<WORD>(buffer.size() - 8));
  put16(8, 0);
  put16(10, nativeBytes);
  put16(12, static_cast<WORD>(nativeBytes + 2));
  put16(14, 0);
  for (size_t i = 0; i < native.size(); ++i) put16(16 + 2 * i, static_cast<WORD>(native[i]));
  HANDLE handle = CreateFileW(junction.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD returned = 0;
  const BOOL made = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                    static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
  const DWORD error = made ? 0 : GetLastError();
  CloseHandle(handle);
  return error;
}

TEST(WinFileSystem, ReparsePointsThatNameOthersAreSpecial) {
  constexpr uint32_t kFolder = FILE_ATTRIBUTE_DIRECTORY;
  constexpr uint32_t kReparse = FILE_ATTRIBUTE_REPARSE_POINT;
  EXPECT_EQ(AttribFromWin32(FILE_ATTRIBUTE_NORMAL, 0), 0u);
  EXPECT_EQ(AttribFromWin32(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, 0), 0u);
  EXPECT_EQ(AttribFromWin32(kFolder | FILE_ATTRIBUTE_HIDDEN, 0), kAttribSubdir);
  EXPECT_EQ(AttribFromWin32(kFolder | kReparse, IO_REPARSE_TAG_MOUNT_POINT), kAttribSpecial);  // a junction
  EXPECT_EQ(AttribFromWin32(kFolder | kReparse, IO_REPARSE_TAG_SYMLINK), kAttribSpecial);
  EXPECT_EQ(AttribFromWin32(kReparse, IO_REPARSE_TAG_SYMLINK), kAttribSpecial);
  EXPECT_EQ(AttribFromWin32(kFolder | kReparse, 0), kAttribSpecial);  // a tag nobody told
  EXPECT_EQ(AttribFromWin32(kReparse, IO_REPARSE_TAG_DEDUP), 0u);
  EXPECT_EQ(AttribFromWin32(kFolder | kReparse, 0x9000001Au), kAttribSubdir);  // a cloud folder
  EXPECT_EQ(AttribFromWin32(FILE_ATTRIBUTE_DEVICE, 0), kAttribSpecial);
}

TEST(WinFileSystem, LinksAndJunctionsAreSpecial) {
  CWinTempDir dir;
  ASSERT_FALSE(dir.Path().empty());
  ASSERT_EQ(WinFileSystem().MakeDir(dir / "target"), 0);
  ASSERT_TRUE(WriteFileText(dir / "target\\inside.txt", "inside"));
  ASSERT_EQ(WinFileSystem().MakeDir(dir / "junction"), 0);
  const DWORD error = MakeJunction(Win32Path(dir / "junction"), Win32Path(dir / "target"));
  if (error != 0) GTEST_SKIP() << "no junction can be made here (Win32 error " << error << ")";
  const DWORD made = GetFileAttributesW(Win32Path(dir / "junction").c_str());
  ASSERT_NE(made & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << "attributes " << made;
  // The junction leads to the target.
  EXPECT_EQ(ReadFileText(dir / "junction\\inside.txt"), "inside");

  const std::map<std::string, CFindData> listed = ListByName(dir.Path());
  ASSERT_EQ(listed.count("junction"), 1u);
  EXPECT_EQ(listed.at("junction").attrib, kAttribSpecial);
  EXPECT_EQ(listed.at("target").attrib, kAttribSubdir);
}

TEST(WinFileSystem, ReadingsGiveTheFileBytes) {
  CWinTempDir dir;
  ASSERT_FALSE(dir.Path().empty());
  const std::string path = dir / "readings.bin";
  std::string content(100003, '\0');
  uint32_t state = 12345;
  for (char& c : content) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  ASSERT_TRUE(WriteFileText(path, content));

  // The backend's own readings open.
  EXPECT_NE(OpenWinReadings(Win32Path(path)), nullptr);

  std::unique_ptr<CStream> stream = WinFileSystem().Open(path, OpenMode::kRead);
  ASSERT_NE(stream, nullptr);
  CReadQueue& readings = stream->Readings();
  const uint32_t depth = readings.Depth();
  ASSERT_GE(depth, 1u);
  EXPECT_EQ(depth, kWinReadingsInFlight);

  struct CWindow {
    int64_t position;
    uint32_t count;
  };
  const int64_t size = static_cast<int64_t>(content.size());
  const std::vector<CWindow> windows = {
      {0, 1},       {0, 6144},        {1, 4095},     {4095, 2},       {4096, 4096},     {4097, 6144},
      {8191, 6144}, {50000, 1000},    {65536, 512},  {size - 10, 10}, {size - 10, 100}, {size - 1, 6144},
      {size, 16},   {size + 5000, 8}, {12287, 6144}, {99999, 4},
  };
  struct CScratch {
    alignas(kReadingScratchAlign) uint8_t bytes[kReadingScratchBytes];
  };
  const uint32_t slots = std::min<uint32_t>(depth, 4);
  std::vector<std::unique_ptr<CScratch>> scratch;
  for (uint32_t i = 0; i < slots; ++i) scratch.push_back(std::make_unique<CScratch>());

  for (size_t first = 0; first < windows.size(); first += slots) {
    const size_t last = std::min(windows.size(), first + slots);
    for (size_t w = first; w < last; ++w) {
      const auto slot = static_cast<uint32_t>(w - first);
      readings.Start(slot, windows[w].position, windows[w].count, scratch[slot]->bytes);
    }
    for (size_t w = first; w < last; ++w) {
      const auto slot = static_cast<uint32_t>(w - first);
      uint32_t got = 0;
      const uint8_t* bytes = readings.Finish(slot, got);
      ASSERT_NE(bytes, nullptr) << "window " << w << " errno " << errno;
      const int64_t available =
          std::max<int64_t>(0, std::min<int64_t>(windows[w].count, size - windows[w].position));
      ASSERT_EQ(got, static_cast<uint32_t>(available)) << "window " << w;
      if (got > 0) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), got),
                  content.substr(static_cast<size_t>(windows[w].position), got))
            << "window " << w;
      }
    }
  }
}

}  // namespace
