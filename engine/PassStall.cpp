// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/PassStall.h"

#include "engine/LeftOut.h"
#include "engine/LogPrintf.h"
#include "engine/PauseGate.h"
#include "engine/RetryPause.h"
#include "engine/RunState.h"
#include "platform/FileServices.h"

CPassStall::CPassStall() : m_lastGrowth(ActiveTimeNow()) {}

bool CPassStall::GaveUp(bool grew, uint32_t limit) {
  const int64_t now = ActiveTimeNow();
  if (grew) {
    m_lastGrowth = now;
    return false;
  }
  return now - m_lastGrowth > static_cast<int64_t>(limit);
}

void LogPassesStalled(const std::string& path) {
  LogPrintf("%s reconnect limit over, try again\r\n", path.c_str());
  NoteFailureCause("reads keep failing at one place, reconnect limit over");
}

bool CPassStall::MayRetry(bool grew, const std::string& path) {
  if (GaveUp(grew, g_RunState.reconnectLimit)) {
    LogPassesStalled(path);
    return false;
  }
  SleepMs(kRetryPauseMs);
  return true;
}
