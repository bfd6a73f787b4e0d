// SPDX-License-Identifier: GPL-3.0-or-later
// Ctrl-C (and SIGTERM, or a console's close and break events) as commands
// read by the main thread, which waits for them between its ticks; on POSIX
// also the job control of Ctrl-Z (SIGTSTP) and of fg or bg (SIGCONT). On
// POSIX the signals are blocked and read from a signal descriptor, so no
// code runs inside a signal handler; on Windows the console's control
// handler only counts the event and wakes the main thread.
#pragma once

#include <atomic>

// The last job-control signal read (POSIX only).
enum class CJobSignal { kNone, kStop, kContinue };

class CSignalWatch {
public:
  CSignalWatch() = default;
  // Releases what Start set up; on POSIX the signals stay blocked.
  ~CSignalWatch();
  CSignalWatch(const CSignalWatch&) = delete;
  CSignalWatch& operator=(const CSignalWatch&) = delete;

  // Starts watching: POSIX blocks SIGINT, SIGTERM, SIGTSTP and SIGCONT in
  // the calling thread, and so in every thread it starts afterwards. Returns
  // false when that fails; the signals then keep their default effect.
  bool Start();

  // Returns how many Ctrl-C events (SIGINT, SIGTERM) came since the last
  // call, without waiting; notes the last SIGTSTP or SIGCONT among the
  // signals read for TakeJobSignal.
  int TakePending();

  // Returns the job-control signal TakePending read last since the last
  // call (kNone when none; always kNone on Windows) and forgets it.
  CJobSignal TakeJobSignal();

  // Stops the process as SIGTSTP does by default, so that the shell's job
  // control takes over, and returns once it is continued; SIGTSTP is then
  // watched again (the SIGCONT that continued it is read by TakePending).
  // Returns false at once when the process was not stopped: it belongs to
  // an orphaned process group, which the system does not stop, or the
  // watch is not started (always false on Windows).
  bool StopProcess();

  // Waits at most ms milliseconds for a watched event or a Wake.
  void Wait(int ms);

  // Ends a Wait of another thread now, or the next one at once. Safe from
  // any thread.
  void Wake();

private:
  int m_fd = -1;      // POSIX: the signal descriptor
  int m_wakeFd = -1;  // POSIX: the descriptor Wake makes readable
  CJobSignal m_job = CJobSignal::kNone;
  std::atomic<bool> m_started{false};
};
