// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "platform/smb/SmbReadings.h"
#include "platform/Connections.h"
#include "platform/ErrnoGuard.h"
#include "platform/ThreadReadings.h"
#include "platform/smb/SmbContext.h"
#include "platform/smb/SmbThreads.h"

#include <fcntl.h>
#include <libsmbclient.h>

#include <algorithm>
#include <cerrno>

namespace {

// One reader thread's open of the file, in a context of its own. Every
// ReadAt is a read request to the server: libsmbclient keeps no data of the
// file on this side.
class CSmbReader final : public CPositionalReader {
public:
  CSmbReader(SMBCCTX* context, SMBCFILE* file) : m_context(context), m_file(file) {}

  ~CSmbReader() override {
    CErrnoGuard guard;
    const auto shared = LockSmbSharedState();
    smbc_getFunctionClose(m_context)(m_context, m_file);
    ReturnSmbReaderContext(m_context, m_connectionFailed);
  }

  const uint8_t* ReadAt(int64_t position, uint32_t count, uint8_t* scratch, uint32_t& got) override {
    got = 0;
    if (smbc_getFunctionLseek(m_context)(m_context, m_file, static_cast<off_t>(position), SEEK_SET) < 0)
      return Failed();
    while (got < count) {
      const ssize_t n = smbc_getFunctionRead(m_context)(m_context, m_file, scratch + got, count - got);
      if (n < 0) {
        if (errno == EINTR) continue;
        return Failed();
      }
      if (n == 0) break;
      got += static_cast<uint32_t>(n);
    }
    return scratch;
  }

private:
  // Notes a failure, keeping errno; returns nullptr.
  const uint8_t* Failed() {
    if (IsSmbConnectionError(errno)) m_connectionFailed = true;
    return nullptr;
  }

  SMBCCTX* const m_context;
  SMBCFILE* const m_file;
  bool m_connectionFailed = false;
};

}  // namespace

std::unique_ptr<CReadQueue> OpenSmbReadings(const std::string& url) {
  // Without libsmbclient's thread setup its contexts cannot work at once:
  // the readings then go one at a time through the stream.
  if (!SetUpSmbThreads()) return nullptr;
  return MakeThreadReadings(
      std::min(kMostSmbReadings, Connections()),
      [url]() -> std::unique_ptr<CPositionalReader> {
        const auto shared = LockSmbSharedState();
        SMBCCTX* context = TakeSmbReaderContext();
        if (context == nullptr) return nullptr;
        SMBCFILE* file = smbc_getFunctionOpen(context)(context, url.c_str(), O_RDONLY, 0);
        if (file == nullptr) {
          ReturnSmbReaderContext(context, IsSmbConnectionError(errno));
          return nullptr;
        }
        return std::make_unique<CSmbReader>(context, file);
      },
      CReadingsCaller::kWaits, CReadingsWorkers{kSmbReadingsAtFirst, kSmbSlowReadingUs});
}
