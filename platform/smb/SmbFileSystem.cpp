// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "platform/smb/SmbFileSystem.h"

#include <libsmbclient.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <cerrno>
#include <memory>
#include <string>
#include <utility>

#include "platform/ErrnoGuard.h"
#include "platform/FindPatterns.h"
#include "platform/smb/SmbContext.h"
#include "platform/smb/SmbErrors.h"
#include "platform/smb/SmbHelperPool.h"
#include "platform/smb/SmbListing.h"
#include "platform/smb/SmbPath.h"
#include "platform/smb/SmbShareDevice.h"
#include "platform/smb/SmbStream.h"

namespace {

// Returns true when the last name of location is "*.*", and then removes it,
// leaving the folder to list.
bool TakeFolderPattern(CSmbLocation& location) {
  constexpr std::string_view kAll = "*.*";
  if (!location.components.empty()) {
    if (location.components.back() != kAll) return false;
    location.components.pop_back();
    return true;
  }
  if (location.share != kAll) return false;
  location.share.clear();
  return true;
}

// A listing of a folder on a share that counts the files it finds, so that
// helpers start for them while the tree is still being listed
// (NoteSmbFileListed).
class CCountedListing final : public CFindHandle {
public:
  CCountedListing(std::unique_ptr<CFindHandle> listing, std::string folder)
      : m_listing(std::move(listing)), m_folder(std::move(folder)) {}

  // Takes the next entry as the listing does, counting it when it is a file.
  bool FindNext(CFindData& data) override {
    if (!m_listing->FindNext(data)) return false;
    Count(data);
    return true;
  }

  // Counts data when it is a file; errno is kept.
  void Count(const CFindData& data) {
    if ((data.attrib & kAttribSubdir) != 0) return;
    CErrnoGuard guard;
    NoteSmbFileListed(m_folder);
  }

private:
  std::unique_ptr<CFindHandle> m_listing;
  std::string m_folder;
};

// Returns true when location names something on a share, or false with
// errno set: ENOENT when it names no server or share, EILSEQ when a name in
// it is not valid UTF-8 (libsmbclient could only fail with ENOMEM).
bool OnShare(const CSmbLocation& location) {
  if (location.server.empty() || location.share.empty()) {
    errno = ENOENT;
    return false;
  }
  if (SmbNameUnrepresentable(location)) {
    errno = EILSEQ;
    return false;
  }
  return true;
}

// Parses path into location. Returns true when it names something on a
// share, or false with errno set: EINVAL for a path that cannot be taken,
// otherwise as OnShare.
bool LocateOnShare(const std::string& path, CSmbLocation& location) {
  return ParseSmbPath(path, location) && OnShare(location);
}

class CSmbFileSystem final : public CFileSystem {
public:
  // Returns the open stream, or nullptr with errno set: as OpenSmbStream,
  // with the causes told apart as SmbFileSystem.h says (ShareErrno), ENOENT
  // for a path without a share, EINVAL for one that cannot be taken.
  std::unique_ptr<CStream> Open(const std::string& path, OpenMode mode) override {
    CSmbLocation location;
    if (!LocateOnShare(path, location)) return nullptr;
    CSmbCall call;
    if (call.Context() == nullptr) return nullptr;
    std::unique_ptr<CStream> stream = OpenSmbStream(call, SmbUrl(location), mode, SmbShareDevice(location));
    if (!stream) errno = ShareErrno(call, location, errno);
    return stream;
  }

  // Returns the search with its first record in data, or nullptr with errno
  // set. A pattern ending in "*.*" lists the folder before it (the top folder
  // of the share for "//server/share/*.*") as OpenSmbListing does; any other
  // path yields the record of that entry, named by its last name (the
  // share's name for a share itself). Causes are told apart as
  // SmbFileSystem.h says (ShareErrno); ENOENT when nothing is there or no
  // share is named.
  std::unique_ptr<CFindHandle> FindFirst(const std::string& pattern, CFindData& data) override {
    CSmbLocation location;
    if (!ParseSmbPath(pattern, location)) return nullptr;
    const bool listing = TakeFolderPattern(location);
    if (!OnShare(location)) return nullptr;
    const uint64_t device = SmbShareDevice(location);
    CSmbCall call;
    SMBCCTX* context = call.Context();
    if (context == nullptr) return nullptr;
    if (listing) {
      std::unique_ptr<CFindHandle> search = OpenSmbListing(call, SmbUrl(location), device, data);
      if (!search) {
        errno = ShareErrno(call, location, errno);
        return search;
      }
      if (location.share.empty()) return search;
      auto counted = std::make_unique<CCountedListing>(std::move(search),
                                                       pattern.substr(0, pattern.find_last_of("/\\")));
      counted->Count(data);
      return counted;
    }
    struct stat st {};
    if (smbc_getFunctionStat(context)(context, SmbUrl(location).c_str(), &st) != 0) {
      const int error = errno;
      call.AfterFailure(error);
      errno = ShareErrno(call, location, error);
      return nullptr;
    }
    data = CFindData();
    if (S_ISDIR(st.st_mode)) {
      data.attrib = kAttribSubdir;
    } else {
      data.size = static_cast<uint64_t>(st.st_size);
    }
    data.time_access = static_cast<int64_t>(st.st_atim.tv_sec);
    data.time_write = static_cast<int64_t>(st.st_mtim.tv_sec);
    data.dev = device;
    data.ino = static_cast<uint64_t>(st.st_ino);
    data.name = location.components.empty() ? location.share : location.components.back();
    return std::make_unique<CSingleEntryHandle>();
  }

  // Returns 0 after creating the folder, or -1 with libsmbclient's errno
  // (EEXIST when something is there, ENOENT when the folder above is
  // missing), its causes told apart as for Open; EPERM for a share or a
  // server, which no folder call makes.
  int MakeDir(const std::string& path) override {
    CSmbLocation location;
    if (!LocateOnShare(path, location)) return -1;
    if (location.components.empty()) {
      errno = EPERM;
      return -1;
    }
    CSmbCall call;
    SMBCCTX* context = call.Context();
    if (context == nullptr) return -1;
    if (smbc_getFunctionMkdir(context)(context, SmbUrl(location).c_str(), 0777) != 0) {
      const int error = errno;
      call.AfterFailure(error);
      errno = ShareErrno(call, location, error);
      return -1;
    }
    return 0;
  }

  // Returns 0 after setting the access and modification times (whole
  // seconds), or -1 with libsmbclient's errno (ENOENT when nothing is
  // there), its causes told apart as for Open.
  int SetFileTimes(const std::string& path, int64_t accessTime, int64_t writeTime) override {
    CSmbLocation location;
    if (!LocateOnShare(path, location)) return -1;
    CSmbCall call;
    SMBCCTX* context = call.Context();
    if (context == nullptr) return -1;
    struct timeval times[2] = {};
    times[0].tv_sec = static_cast<time_t>(accessTime);
    times[1].tv_sec = static_cast<time_t>(writeTime);
    if (smbc_getFunctionUtimes(context)(context, SmbUrl(location).c_str(), times) != 0) {
      const int error = errno;
      call.AfterFailure(error);
      errno = ShareErrno(call, location, error);
      return -1;
    }
    return 0;
  }

  // Returns true: every share is reached over the network.
  bool IsRemote(const std::string& /*path*/) override { return true; }

  // Returns true with the bytes read, or false with errno set, as
  // CFileSystem::ReadFileAt. Read in a helper process where helpers run
  // (SmbHelperPool.h), so that reads of several threads go out together;
  // here, through this process's context, where none can serve it.
  bool ReadFileAt(const std::string& path, uint64_t start, size_t count, uint64_t end,
                  std::vector<uint8_t>& data) override {
    if (SmbHelpersAvailable()) {
      if (ReadFileInSmbHelper(path, start, count, end, data)) return true;
      if (errno != ECHILD) return false;
    }
    return CFileSystem::ReadFileAt(path, start, count, end, data);
  }

  // Returns 0 after removing the file at path, or -1 with libsmbclient's
  // errno, its causes told apart as for Open.
  int RemoveFile(const std::string& path) override {
    CSmbLocation location;
    if (!LocateOnShare(path, location)) return -1;
    CSmbCall call;
    SMBCCTX* context = call.Context();
    if (context == nullptr) return -1;
    if (smbc_getFunctionUnlink(context)(context, SmbUrl(location).c_str()) != 0) {
      const int error = errno;
      call.AfterFailure(error);
      errno = ShareErrno(call, location, error);
      return -1;
    }
    return 0;
  }
};

}  // namespace

CFileSystem& SmbFileSystem() {
  static CSmbFileSystem fs;
  return fs;
}
