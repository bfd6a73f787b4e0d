// SPDX-License-Identifier: GPL-3.0-or-later
// The log text on standard output. On a terminal the open last line is
// rewritten in place, at most every 50 ms, and the terminal's title shows
// the progress caption; elsewhere only completed lines are written, and the
// open line once at the end.
#pragma once

#include <chrono>
#include <string>

#include "cli/LogLines.h"
#include "cli/Presenter.h"
#include "frontend/ProgressDisplay.h"

// The shortest time between two redraws of the open line and the title.
inline constexpr std::chrono::milliseconds kRedrawInterval{50};

class CTextPresenter : public CPresenter {
public:
  // Writes to out; terminal tells whether out is a terminal, whose width is
  // read from terminalFd.
  CTextPresenter(COutputBuffer& out, bool terminal, int terminalFd);

  void OnLog(std::string_view message, CSteadyTime now) override;
  void OnProgress(const RunState& state, CSteadyTime now) override;
  void OnSourceDone(const CSourceSummary& summary, CSteadyTime now) override;
  // On a terminal redraws the open line and the title at once.
  void OnStop(CSteadyTime now) override;
  void OnTick(CSteadyTime now) override;
  void OnEnd(ResultFlags result, int exitStatus) override;

private:
  // Adds one completed line to the output; on a terminal it first clears
  // the open line shown on the current row.
  void WriteCompletedLine(std::string_view line);
  // Redraws the title and the open line when one of them changed and the
  // last redraw lies kRedrawInterval back.
  void RedrawIfDue(CSteadyTime now);
  // Adds what changed of the title and of the open line (cut to maxBytes)
  // to the output. Returns true when that added anything.
  bool Redraw(size_t maxBytes);
  // Reads the terminal's width; keeps the last one when it cannot be read.
  void ReadTerminalWidth();

  COutputBuffer& m_out;
  const bool m_terminal;
  const int m_terminalFd;
  CLogLines m_lines;
  std::string m_scratch;
  size_t m_columns = 80;
  bool m_rowShowsText = false;  // the terminal's current row shows an open line
  bool m_openDirty = false;     // the open line changed since it was drawn
  bool m_captionDirty = false;  // the caption changed since it was shown
  bool m_ended = false;
  CProgressDisplay m_display;
  std::string m_shownCaption;
  CSteadyTime m_lastRedraw{};
};
