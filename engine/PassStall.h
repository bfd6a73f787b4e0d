// SPDX-License-Identifier: GPL-3.0-or-later
// The bound on passes that keep failing at the same place: a file copy
// whose destination has not grown for longer than the reconnect limit gives
// up as when the source cannot be reached, so that a source that can be
// opened but never read past a bad spot does not keep a run busy for ever.
#pragma once

#include <cstdint>
#include <string>

class CPassStall {
public:
  // Starts the watch at the current time (ActiveTimeNow).
  CPassStall();

  // Notes the end of a failed pass; grew tells whether it added to the
  // destination. Returns true when the destination has not grown for more
  // than limit seconds: since the last pass that grew it, or since the
  // watch started when none did. Time spent paused does not count (see
  // ActiveTimeNow).
  bool GaveUp(bool grew, uint32_t limit);

  // Called before a pass that follows a failed one (grew tells whether that
  // one added to the destination), for the source at path. Returns false
  // after logging "reconnect limit over" once the passes have stopped getting
  // further for longer than the run's reconnect limit; otherwise pauses
  // briefly, so that a failure that recurs at once is no busy loop, and
  // returns true.
  bool MayRetry(bool grew, const std::string& path);

private:
  int64_t m_lastGrowth;
};

// Logs that the passes over the source at path stopped getting further for
// longer than the reconnect limit, and notes the cause.
void LogPassesStalled(const std::string& path);
