// SPDX-License-Identifier: GPL-3.0-or-later
// Keeping errno across cleanup: a failure's errno must survive the calls
// made while undoing what the failed operation had begun.
#pragma once

#include <cerrno>

// Restores errno when it goes out of scope.
class CErrnoGuard {
public:
  CErrnoGuard() : m_saved(errno) {}
  ~CErrnoGuard() { errno = m_saved; }
  CErrnoGuard(const CErrnoGuard&) = delete;
  CErrnoGuard& operator=(const CErrnoGuard&) = delete;

private:
  int m_saved;
};
