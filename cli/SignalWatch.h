// SPDX-License-Identifier: GPL-3.0-or-later
// Ctrl-C (and SIGTERM, or a console's close and break events) as commands
// read by the main thread, which waits for them between its ticks. On POSIX
// both signals are blocked and read from a signal descriptor, so no code
// runs inside a signal handler; on Windows the console's control handler
// only counts the event and wakes the main thread.
#pragma once

#include <atomic>

class CSignalWatch {
public:
  CSignalWatch() = default;
  // Releases what Start set up; on POSIX the signals stay blocked.
  ~CSignalWatch();
  CSignalWatch(const CSignalWatch&) = delete;
  CSignalWatch& operator=(const CSignalWatch&) = delete;

  // Starts watching: POSIX blocks SIGINT and SIGTERM in the calling thread,
  // and so in every thread it starts afterwards. Returns false when that
  // fails; the signals then keep their default effect.
  bool Start();

  // Returns how many of the watched events came since the last call,
  // without waiting.
  int TakePending();

  // Waits at most ms milliseconds for a watched event or a Wake.
  void Wait(int ms);

  // Ends a Wait of another thread now, or the next one at once. Safe from
  // any thread.
  void Wake();

private:
  int m_fd = -1;      // POSIX: the signal descriptor
  int m_wakeFd = -1;  // POSIX: the descriptor Wake makes readable
  std::atomic<bool> m_started{false};
};
