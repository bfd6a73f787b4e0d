// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/DetachedThread.h"

#include <system_error>
#include <thread>

bool StartDetachedThread(std::function<void()> work, std::string& error) {
  try {
    std::thread(std::move(work)).detach();
    return true;
  } catch (const std::system_error& failure) {
    error = failure.what();
    return false;
  }
}
