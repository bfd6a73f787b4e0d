// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "platform/smb/SmbListing.h"
#include "platform/ErrnoGuard.h"

#include <libsmbclient.h>
#include <sys/stat.h>

#include <cerrno>
#include <deque>
#include <utility>

namespace {

// DOS attribute bits of a listing entry.
constexpr uint16_t kDosDirectory = 0x10;
constexpr uint16_t kDosDevice = 0x40;

// Returns the record of a listing entry: its information from the server,
// the stat libsmbclient made of it, and the share's device.
CFindData Record(const libsmb_file_info& info, const struct stat& st, uint64_t device) {
  CFindData data;
  if ((info.attrs & kDosDevice) != 0) {
    data.attrib = kAttribSpecial;
  } else if ((info.attrs & kDosDirectory) != 0) {
    data.attrib = kAttribSubdir;
  } else {
    data.attrib = 0;
    data.size = info.size;
  }
  data.time_create = info.btime_ts.tv_sec != 0 ? static_cast<int64_t>(info.btime_ts.tv_sec) : -1;
  data.time_access = static_cast<int64_t>(info.atime_ts.tv_sec);
  data.time_write = static_cast<int64_t>(info.mtime_ts.tv_sec);
  data.name = info.name != nullptr ? info.name : "";
  data.dev = device;
  data.ino = static_cast<uint64_t>(st.st_ino);
  return data;
}

// Returns the record of "." or ".." for a server that sent none.
CFindData MadeUpDotRecord(const char* name) {
  CFindData data;
  data.attrib = kAttribSubdir;
  data.name = name;
  return data;
}

// A listing read by libsmbclient. The records of "." and ".." and of the
// first other entry are read ahead when the listing starts, so that "." and
// ".." come first whatever order the server sent.
class CSmbListing final : public CFindHandle {
public:
  CSmbListing(SMBCFILE* dir, uint64_t device) : m_dir(dir), m_device(device) {}

  // Closes the listing; errno is left as it was.
  ~CSmbListing() override {
    CErrnoGuard guard;
    CSmbCall call;
    SMBCCTX* context = call.Context();
    if (context != nullptr) smbc_getFunctionClosedir(context)(context, m_dir);
  }

  // Reads ahead up to the first entry that is neither "." nor "..", and
  // queues ".", ".." and that entry. A failure meanwhile is reported by
  // FindNext once the queued records are out.
  void Start(CSmbCall& call) {
    CFindData dot = MadeUpDotRecord(".");
    CFindData dotDot = MadeUpDotRecord("..");
    CFindData first;
    bool haveFirst = false;
    while (!m_ended) {
      CFindData entry;
      if (!ReadEntry(call, entry)) break;
      if (entry.name == ".") {
        dot = std::move(entry);
      } else if (entry.name == "..") {
        dotDot = std::move(entry);
      } else {
        first = std::move(entry);
        haveFirst = true;
        break;
      }
    }
    m_ahead.push_back(std::move(dot));
    m_ahead.push_back(std::move(dotDot));
    if (haveFirst) m_ahead.push_back(std::move(first));
  }

  // Returns true with the next record in data (errno left as it was), false
  // with errno ENOENT at the end, or false with another errno when
  // libsmbclient failed to hand out a record.
  bool FindNext(CFindData& data) override {
    if (!m_ahead.empty()) {
      data = std::move(m_ahead.front());
      m_ahead.pop_front();
      return true;
    }
    if (!m_ended) {
      CSmbCall call;
      const int saved = errno;
      CFindData entry;
      while (ReadEntry(call, entry)) {
        // The server's "." and ".." went out first; any later copy is no entry.
        if (entry.name == "." || entry.name == "..") continue;
        data = std::move(entry);
        errno = saved;
        return true;
      }
    }
    errno = m_error != 0 ? m_error : ENOENT;
    return false;
  }

private:
  // Reads the next entry from libsmbclient into entry. Returns true, or false
  // at the end or after a failure (m_ended set, m_error the failure's errno,
  // never ENOENT).
  bool ReadEntry(CSmbCall& call, CFindData& entry) {
    if (m_ended) return false;
    SMBCCTX* context = call.Context();
    struct stat st {};
    errno = 0;
    const libsmb_file_info* info =
        context != nullptr ? smbc_getFunctionReaddirPlus2(context)(context, m_dir, &st) : nullptr;
    if (info == nullptr) {
      m_ended = true;
      // libsmbclient ends a listing without setting errno; ENOENT from it
      // means a record it could not find, a failure.
      if (context == nullptr) {
        m_error = EBADF;
      } else if (errno == ENOENT) {
        m_error = EIO;
      } else {
        m_error = errno;
      }
      return false;
    }
    entry = Record(*info, st, m_device);
    return true;
  }

  SMBCFILE* m_dir;
  const uint64_t m_device;
  std::deque<CFindData> m_ahead;  // records read ahead, returned first
  bool m_ended = false;           // libsmbclient has no more records
  int m_error = 0;                // the errno of the failure that ended the listing, 0 at its end
};

}  // namespace

std::unique_ptr<CFindHandle> OpenSmbListing(CSmbCall& call, const std::string& folderUrl, uint64_t device,
                                            CFindData& data) {
  SMBCCTX* context = call.Context();
  if (context == nullptr) return nullptr;
  SMBCFILE* dir = smbc_getFunctionOpendir(context)(context, folderUrl.c_str());
  if (dir == nullptr) {
    // libsmbclient refuses a whole listing with EINVAL when the server sent
    // a name holding a separator, which it will not hand on: that listing
    // can never be had. It marks a URL it cannot take with EINVAL plus 8192
    // and up (the URLs built here always parse); a failure that names no
    // errno still has to say that it failed.
    if (errno == EINVAL) errno = EILSEQ;
    if (errno >= 8192) errno = EINVAL;
    if (errno == 0) errno = EIO;
    call.AfterFailure(errno);
    return nullptr;
  }
  auto listing = std::make_unique<CSmbListing>(dir, device);
  listing->Start(call);
  listing->FindNext(data);
  return listing;
}
