// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ReconnectSource.h"

#include <cinttypes>

#include <cerrno>

#include "engine/FailureCause.h"
#include "engine/LeftOut.h"
#include "engine/LogPrintf.h"
#include "engine/PauseGate.h"
#include "engine/RetryPause.h"
#include "engine/RunState.h"
#include "engine/ShareLogon.h"

std::unique_ptr<CStream> ReconnectSource(const std::string& path) {
  // The limit runs on the clock that leaves paused time out.
  const int64_t start = ActiveTimeNow();
  int64_t deadline = start + static_cast<int64_t>(g_RunState.reconnectLimit);
  int64_t last = start - 1;
  // The first attempt takes the file when it was fetched ahead.
  bool first = true;
  for (;;) {
    WaitWhilePaused();
    // A skipped file is not opened again.
    if (g_RunState.SkipAsked()) return nullptr;
    const int64_t now = ActiveTimeNow();
    if (now > last)
      LogPrintf("trying to connect to %s, %4" PRId64 " sec left...", path.c_str(), deadline - now);
    std::unique_ptr<CStream> stream;
    if (first && g_RunState.fetchAhead) stream = g_RunState.fetchAhead->Take(path);
    first = false;
    if (!stream) stream = FileOpen(path, OpenMode::kRead);
    last = now;
    if (stream) return stream;
    const int error = errno;
    if (LogonRefused(path, error)) {
      // Another logon is tried at once; the limit does not run meanwhile.
      int64_t waited = 0;
      if (!LogonAgain(path, waited)) {
        g_RunState.sourceLost = true;
        return nullptr;
      }
      deadline += waited;
      continue;
    }
    if (CannotHeal(path, error, true)) {
      // Waiting mends nothing: the file is named with its cause at once.
      const std::string cause = CauseText(path, error);
      LogPrintf("\r\n%s : %s\r\n", path.c_str(), cause.c_str());
      NoteFailureCause(cause);
      return nullptr;
    }
    if (now >= deadline || !g_RunState.runFlag) {
      LogPrintf("%s reconnect limit over, try again\r\n", path.c_str());
      // The file alone fails while its folder still answers; otherwise the
      // source as a whole has gone.
      if (g_RunState.runFlag) {
        if (IsConnectionLevel(error) || !SourceAnswers(path))
          g_RunState.sourceLost = true;
        else
          NoteFailureCause(CauseText(path, error) + ", reconnect limit over");
      }
      return nullptr;
    }
    SleepMs(kRetryPauseMs);
  }
}
