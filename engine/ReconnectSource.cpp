#include "ReconnectSource.h"

#include <cinttypes>

#include <cerrno>

#include "LogPrintf.h"
#include "RetryPause.h"
#include "RunState.h"
#include "ShareLogon.h"

std::unique_ptr<CStream> ReconnectSource(const std::string& path) {
  const int64_t start = TimeNow();
  int64_t deadline = start + static_cast<int64_t>(g_RunState.reconnectLimit);
  int64_t last = start - 1;
  for (;;) {
    const int64_t now = TimeNow();
    if (now > last) LogPrintf("trying to connect to %s, %4" PRId64 " sec left...", path.c_str(), deadline - now);
    std::unique_ptr<CStream> stream = FileOpen(path, OpenMode::kRead);
    last = now;
    if (stream) return stream;
    if (LogonRefused(path, errno)) {
      // Another logon is tried at once; the limit does not run meanwhile.
      int64_t waited = 0;
      if (!LogonAgain(path, waited)) return nullptr;
      deadline += waited;
      continue;
    }
    if (now >= deadline || !g_RunState.runFlag) {
      LogPrintf("%s reconnect limit over, try again\r\n", path.c_str());
      return nullptr;
    }
    SleepMs(kRetryPauseMs);
  }
}
