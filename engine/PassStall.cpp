#include "PassStall.h"

#include "FileServices.h"
#include "LeftOut.h"
#include "LogPrintf.h"
#include "RetryPause.h"
#include "RunState.h"

CPassStall::CPassStall() : m_lastGrowth(TimeNow()) {}

bool CPassStall::GaveUp(bool grew, uint32_t limit) {
  const int64_t now = TimeNow();
  if (grew) {
    m_lastGrowth = now;
    return false;
  }
  return now - m_lastGrowth > static_cast<int64_t>(limit);
}

bool CPassStall::MayRetry(bool grew, const std::string& path) {
  if (GaveUp(grew, g_RunState.reconnectLimit)) {
    LogPrintf("%s reconnect limit over, try again\r\n", path.c_str());
    NoteFailureCause("reads keep failing at one place, reconnect limit over");
    return false;
  }
  SleepMs(kRetryPauseMs);
  return true;
}
