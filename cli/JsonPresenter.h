// SPDX-License-Identifier: GPL-3.0-or-later
// The run as JSON lines on standard output, one object per line: an event
// "log" for every message, "progress" for every progress update, "paused"
// and "continued" when the worker starts and ends waiting at a pause,
// "source" for every source that ended, "scan" for every source a scan
// scanned and "end" once at the end.
#pragma once

#include <string>

#include "cli/Presenter.h"
#include "frontend/ProgressDisplay.h"

class CJsonPresenter : public CPresenter {
public:
  explicit CJsonPresenter(COutputBuffer& out) : m_out(out) {}

  void OnLog(std::string_view message, CSteadyTime now) override;
  void OnProgress(const RunState& state, CSteadyTime now) override;
  void OnSourceDone(const CSourceSummary& summary, CSteadyTime now) override;
  void OnScanDone(const CScanSummary& summary, CSteadyTime now) override;
  // Writes {"event":"paused"} or {"event":"continued"}.
  void OnPause(bool paused, CSteadyTime now) override;
  void OnStop(CSteadyTime now) override;
  void OnTick(CSteadyTime now) override;
  void OnEnd(ResultFlags result, int exitStatus) override;

private:
  // Starts the line of an event: the opening brace and the "event" member.
  void BeginEvent(const char* event);
  // Appends ,"key": to the line being built; every member follows "event".
  void Key(const char* key);
  // Each appends one member: a JSON string, a number or a boolean.
  void Member(const char* key, std::string_view text);
  void Member(const char* key, uint64_t number);
  void Member(const char* key, int64_t number);
  void Member(const char* key, bool value);
  // Closes the line, adds it to the output and writes what is due.
  void EndEvent(CSteadyTime now);

  COutputBuffer& m_out;
  std::string m_line;
  bool m_ended = false;
  CProgressDisplay m_display;
};
