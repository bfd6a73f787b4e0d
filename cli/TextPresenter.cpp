// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TextPresenter.h"

#include "cli/Console.h"
#include "cli/TerminalText.h"
#include "engine/RunState.h"

CTextPresenter::CTextPresenter(COutputBuffer& out, bool terminal, int terminalFd)
    : m_out(out), m_terminal(terminal), m_terminalFd(terminalFd) {
  if (!m_terminal) return;
  ReadTerminalWidth();
  m_out.Append(kSaveTitle);
}

void CTextPresenter::ReadTerminalWidth() {
  if (const int columns = TerminalColumns(m_terminalFd); columns > 1)
    m_columns = static_cast<size_t>(columns);
}

void CTextPresenter::WriteCompletedLine(std::string_view line) {
  m_scratch.clear();
  if (m_terminal) {
    if (m_rowShowsText) m_scratch += kClearRow;
    m_rowShowsText = false;
    AppendForTerminal(m_scratch, line);
  } else {
    m_scratch += line;
  }
  m_scratch += '\n';
  m_out.Append(m_scratch);
}

void CTextPresenter::OnLog(std::string_view message, CSteadyTime now) {
  if (m_ended) return;
  // The log box shows nothing after a zero byte of a message.
  message = message.substr(0, message.find('\0'));
  m_lines.Apply(message, [this](std::string_view line) { WriteCompletedLine(line); });
  if (m_terminal) {
    m_openDirty = true;
    RedrawIfDue(now);
  }
  m_out.FlushIfDue(now);
}

void CTextPresenter::OnProgress(const RunState& state, CSteadyTime now) {
  if (!m_terminal || m_ended) return;
  ComputeProgress(state, m_display);
  if (m_display.caption != m_shownCaption) m_captionDirty = true;
  RedrawIfDue(now);
  m_out.FlushIfDue(now);
}

void CTextPresenter::OnSourceDone(const CSourceSummary& /*summary*/, CSteadyTime /*now*/) {}

void CTextPresenter::OnStop(CSteadyTime now) {
  if (m_ended) return;
  if (m_terminal && (m_openDirty || m_captionDirty) && Redraw(m_columns - 1)) m_lastRedraw = now;
  m_out.Flush();
}

void CTextPresenter::OnTick(CSteadyTime now) {
  if (m_ended) return;
  if (m_terminal) {
    ReadTerminalWidth();
    RedrawIfDue(now);
  }
  m_out.FlushIfDue(now);
}

void CTextPresenter::RedrawIfDue(CSteadyTime now) {
  if (!m_openDirty && !m_captionDirty) return;
  if (now - m_lastRedraw < kRedrawInterval) return;
  // One column stays free so that the cursor never wraps to a new row.
  if (Redraw(m_columns - 1)) m_lastRedraw = now;
}

bool CTextPresenter::Redraw(size_t maxBytes) {
  m_scratch.clear();
  if (m_captionDirty) {
    AppendTerminalTitle(m_scratch, m_display.caption);
    m_shownCaption = m_display.caption;
    m_captionDirty = false;
  }
  if (m_openDirty) {
    const std::string& open = m_lines.OpenLine();
    if (!open.empty() || m_rowShowsText) m_scratch += kClearRow;
    AppendForTerminal(m_scratch, open, maxBytes);
    m_rowShowsText = !open.empty();
    m_openDirty = false;
  }
  m_out.Append(m_scratch);
  return !m_scratch.empty();
}

void CTextPresenter::OnEnd(ResultFlags /*result*/, int /*exitStatus*/) {
  if (m_ended) return;
  m_ended = true;
  const std::string& open = m_lines.OpenLine();
  if (m_terminal) {
    // The last line is shown whole, as a completed line; the title goes back
    // to what it was before the run.
    m_captionDirty = false;
    m_openDirty = m_rowShowsText || !open.empty();
    Redraw(std::string_view::npos);
    if (m_rowShowsText) m_out.Append("\n");
    m_out.Append(kRestoreTitle);
  } else if (!open.empty()) {
    m_scratch.assign(open);
    m_scratch += '\n';
    m_out.Append(m_scratch);
  }
  m_out.Flush();
}
