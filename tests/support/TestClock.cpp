// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TestClock.h"

CTestClock::CTestClock(int64_t startSecond) : m_ms(startSecond * 1000) {}

int64_t CTestClock::Now() {
  m_nowCalls.fetch_add(1);
  int64_t ms = m_ms.fetch_add(m_autoAdvance.load());
  // Whole seconds, rounded towards minus infinity also before the epoch.
  return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

void CTestClock::Sleep(uint32_t ms) {
  m_sleepCalls.fetch_add(1);
  m_sleptMs.fetch_add(ms);
  m_ms.fetch_add(ms);
}

void CTestClock::Advance(int64_t ms) { m_ms.fetch_add(ms); }

void CTestClock::SetAutoAdvance(uint32_t ms) { m_autoAdvance.store(ms); }

CClockInstall::CClockInstall(CClock& clock) { SetClock(&clock); }

CClockInstall::~CClockInstall() { SetClock(nullptr); }
