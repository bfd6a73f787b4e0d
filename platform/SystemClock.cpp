// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemClock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace {

class CSystemClock final : public CClock {
public:
  int64_t Now() override { return static_cast<int64_t>(std::time(nullptr)); }
  void Sleep(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace

CClock& SystemClock() {
  static CSystemClock clock;
  return clock;
}
