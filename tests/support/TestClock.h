// SPDX-License-Identifier: GPL-3.0-or-later
// A clock for tests: time is a millisecond counter that moves only when the test or the code under test
// says so, so that waits of minutes run in no time. Install it with CClockInstall.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/FileServices.h"

class CTestClock : public CClock {
public:
  // Calendar second the clock starts at unless told otherwise: 2023-11-14 22:13:20 UTC.
  static constexpr int64_t kDefaultStart = 1700000000;

  // Creates the clock at startSecond, millisecond 0 of it.
  explicit CTestClock(int64_t startSecond = kDefaultStart);

  // Returns the current whole calendar second (rounded down), then advances the clock by the
  // auto-advance step.
  int64_t Now() override;
  // Advances the clock by ms and returns at once.
  void Sleep(uint32_t ms) override;

  // Moves the clock by ms (backwards when negative, as a corrected system clock would).
  void Advance(int64_t ms);
  // Makes every later Now() call advance the clock by ms after reading it (0, the default, turns it off).
  void SetAutoAdvance(uint32_t ms);

  // Returns the current time in milliseconds since the epoch, without advancing it.
  int64_t NowMs() const { return m_ms.load(); }
  // Returns the number of Now() calls so far.
  int NowCount() const { return m_nowCalls.load(); }
  // Return the number of Sleep calls so far, and the milliseconds they asked for in total.
  int SleepCount() const { return m_sleepCalls.load(); }
  uint64_t SleptMs() const { return m_sleptMs.load(); }

private:
  std::atomic<int64_t> m_ms;
  std::atomic<uint32_t> m_autoAdvance{0};
  std::atomic<int> m_nowCalls{0};
  std::atomic<int> m_sleepCalls{0};
  std::atomic<uint64_t> m_sleptMs{0};
};

// Installs a clock for its lifetime: SetClock(&clock) now, SetClock(nullptr) (the system clock) when
// destroyed. A clock installed before is not restored.
class CClockInstall {
public:
  explicit CClockInstall(CClock& clock);
  ~CClockInstall();
  CClockInstall(const CClockInstall&) = delete;
  CClockInstall& operator=(const CClockInstall&) = delete;
};
