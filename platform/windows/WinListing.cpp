// SPDX-License-Identifier: GPL-3.0-or-later
// Listings through FindFirstFileExW, with every error reported through
// errno.
#include "platform/windows/WinListing.h"

#include "platform/windows/WindowsApi.h"

#include <cerrno>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ErrnoGuard.h"
#include "platform/FindPatterns.h"
#include "platform/windows/WinErrors.h"
#include "platform/windows/WinPath.h"
#include "platform/windows/WinRecords.h"

namespace {

// Returns the folder that holds the entry at widePath (a Win32Path), or
// widePath itself when it is a root.
std::wstring ParentOf(const std::wstring& widePath) {
  const size_t slash = widePath.find_last_of(L'\\');
  if (slash == std::wstring::npos) return widePath;
  std::wstring parent = widePath.substr(0, slash);
  // "\\?\C:" and "\\?\UNC\server\share" are no folders to describe; a
  // drive's root keeps its separator.
  if (parent.size() >= 2 && parent.back() == L':') return parent + L'\\';
  if (parent.starts_with(L"\\\\?\\UNC\\") && parent.find(L'\\', 8) == std::wstring::npos) return widePath;
  if (parent == L"\\\\?") return widePath;
  return parent;
}

// Fills data with the record of the folder at widePath under the name name
// and returns true, or returns false with errno set (ENOTDIR when widePath
// is no folder).
bool DescribeFolder(const std::wstring& widePath, const char* name, CFindData& data) {
  WIN32_FILE_ATTRIBUTE_DATA found{};
  if (!GetFileAttributesExW(widePath.c_str(), GetFileExInfoStandard, &found)) {
    SetErrnoFromLastErrorFor(widePath);
    return false;
  }
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    errno = ENOTDIR;
    return false;
  }
  FillFromAttributes(found, data);
  data.attrib = kAttribSubdir;
  data.size = 0;
  data.name = name;
  return true;
}

// A listing of one folder through FindFirstFileExW: "." and ".." first,
// made here, then every other entry as the system finds it ("." and ".."
// among them are skipped).
class CWinFindHandle final : public CFindHandle {
public:
  // Takes over search (INVALID_HANDLE_VALUE when the folder has no entry
  // the system lists) with first holding its first record; dot and dotDot
  // are the records yielded first.
  CWinFindHandle(HANDLE search, const WIN32_FIND_DATAW& first, CFindData dot, CFindData dotDot)
      : m_search(search), m_found(first), m_haveFound(search != INVALID_HANDLE_VALUE) {
    m_dots[0] = std::move(dot);
    m_dots[1] = std::move(dotDot);
  }

  // Closes the search; errno is left as it was.
  ~CWinFindHandle() override {
    if (m_search != INVALID_HANDLE_VALUE) {
      CErrnoGuard guard;
      FindClose(m_search);
    }
  }

  // Returns true with the next entry in data, false with errno ENOENT at the
  // end of the listing, or false with the Win32 error's errno when it
  // failed. errno is left as it was when true is returned.
  bool FindNext(CFindData& data) override {
    if (m_dotsGiven < 2) {
      data = m_dots[m_dotsGiven++];
      return true;
    }
    for (;;) {
      if (!m_haveFound) {
        if (m_search == INVALID_HANDLE_VALUE || m_ended) {
          errno = ENOENT;
          return false;
        }
        if (!FindNextFileW(m_search, &m_found)) {
          const DWORD error = GetLastError();
          if (error == ERROR_NO_MORE_FILES) {
            m_ended = true;
            errno = ENOENT;
          } else {
            errno = ErrnoFromWin32(error);
            // A failure that says "no more" in another way is still a failure.
            if (errno == ENOENT) errno = EIO;
          }
          return false;
        }
      }
      m_haveFound = false;
      const std::wstring_view name(m_found.cFileName);
      if (name == L"." || name == L"..") continue;
      FillFromFind(m_found, data);
      data.name = Utf8FromWide(name);
      return true;
    }
  }

private:
  HANDLE m_search;
  WIN32_FIND_DATAW m_found;  // the record not yet yielded, while m_haveFound
  bool m_haveFound;
  bool m_ended = false;
  CFindData m_dots[2];
  int m_dotsGiven = 0;
};

// Returns the listing of the folder at folder with its first entry (".")
// in data, or nullptr with errno set.
std::unique_ptr<CFindHandle> ListFolder(const std::string& folder, CFindData& data) {
  const std::wstring wide = Win32Path(folder);
  if (wide.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  CFindData dot;
  if (!DescribeFolder(wide, ".", dot)) return nullptr;
  CFindData dotDot;
  if (!DescribeFolder(ParentOf(wide), "..", dotDot)) {
    dotDot = dot;
    dotDot.name = "..";
  }
  const std::wstring all = wide.back() == L'\\' ? wide + L"*" : wide + L"\\*";
  WIN32_FIND_DATAW first{};
  HANDLE search = FindFirstFileExW(all.c_str(), FindExInfoBasic, &first, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    // A folder the system lists nothing of (an empty root) still has "."
    // and "..".
    if (GetLastError() != ERROR_FILE_NOT_FOUND) {
      SetErrnoFromLastErrorFor(wide);
      return nullptr;
    }
  }
  auto handle = std::make_unique<CWinFindHandle>(search, first, std::move(dot), std::move(dotDot));
  if (!handle->FindNext(data)) return nullptr;
  return handle;
}

}  // namespace

// Returns the search with its first entry in data, or nullptr with errno
// set: ENOENT for a missing folder or path (and for a name no Windows file
// can have), ENOTDIR for a folder pattern below a file, or the Win32
// error's errno.
std::unique_ptr<CFindHandle> FindFirstWin(const std::string& pattern, CFindData& data) {
  std::string folder;
  if (IsFolderPattern(pattern, folder, "/\\")) return ListFolder(folder, data);
  const std::wstring wide = Win32Path(pattern);
  if (wide.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  // Opened to be described, links followed: what a link leads to is
  // listed, as on POSIX; a link leading nowhere is described by its own
  // attributes, as special.
  HANDLE handle =
      CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION info{};
  if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info)) {
    CloseQuietly(handle);
    FillFromHandle(info, data);
  } else {
    if (handle != INVALID_HANDLE_VALUE) CloseQuietly(handle);
    WIN32_FILE_ATTRIBUTE_DATA found{};
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &found)) {
      const DWORD error = GetLastError();
      errno = error == ERROR_INVALID_NAME ? ENOENT : ErrnoFromWin32For(error, wide);
      return nullptr;
    }
    FillFromAttributes(found, data);
  }
  data.name = LastComponent(pattern, "/\\");
  return std::make_unique<CSingleEntryHandle>();
}
