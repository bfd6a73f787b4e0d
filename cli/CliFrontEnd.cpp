// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliFrontEnd.h"

#include "cli/ExitStatus.h"
#include "engine/RunState.h"

CCliFrontEnd::CCliFrontEnd(const CCliOptions& options, CPresenter& presenter,
                           const COutputBuffer& standardOutput, CLogFile* logFile)
    : m_options(options), m_presenter(presenter), m_standardOutput(standardOutput), m_logFile(logFile) {}

void CCliFrontEnd::LogMessage(std::string_view message) {
  const CSteadyTime now = std::chrono::steady_clock::now();
  std::lock_guard lock(m_lock);
  if (m_logFile) m_logFile->Append(message, now);
  m_presenter.OnLog(message, now);
}

void CCliFrontEnd::UpdateProgress() {
  const CSteadyTime now = std::chrono::steady_clock::now();
  std::lock_guard lock(m_lock);
  m_presenter.OnProgress(g_RunState, now);
}

void CCliFrontEnd::SendStartCommand() { g_RunState.runFlag = false; }

void CCliFrontEnd::OnSourceDone(const CSourceSummary& summary) {
  m_sourceResults.fetch_or(summary.result);
  const CSteadyTime now = std::chrono::steady_clock::now();
  std::lock_guard lock(m_lock);
  m_presenter.OnSourceDone(summary, now);
}

void CCliFrontEnd::OnScanDone(const CScanSummary& summary) {
  m_sourceResults.fetch_or(summary.result);
  const CSteadyTime now = std::chrono::steady_clock::now();
  std::lock_guard lock(m_lock);
  m_presenter.OnScanDone(summary, now);
}

void CCliFrontEnd::OnPauseChanged(bool paused) {
  const CSteadyTime now = std::chrono::steady_clock::now();
  std::lock_guard lock(m_lock);
  m_presenter.OnPause(paused, now);
}

void CCliFrontEnd::FlushBeforeStop() {
  const CSteadyTime now = std::chrono::steady_clock::now();
  std::lock_guard lock(m_lock);
  if (m_logFile) m_logFile->Flush();
  m_presenter.OnStop(now);
}

void CCliFrontEnd::NoteFailures(int standardError, int logError) {
  m_failures.NoteStandardOutput(standardError);
  if (m_logFile) m_failures.NoteLogFile(m_logFile->Path(), logError);
}

void CCliFrontEnd::Tick() {
  const CSteadyTime now = std::chrono::steady_clock::now();
  int standardError = 0;
  int logError = 0;
  {
    std::lock_guard lock(m_lock);
    if (m_logFile) m_logFile->FlushIfDue(now);
    m_presenter.OnTick(now);
    standardError = m_standardOutput.Error();
    if (m_logFile) logError = m_logFile->Error();
  }
  NoteFailures(standardError, logError);
}

int CCliFrontEnd::Finish(ResultFlags result, int exitStatus) {
  int standardError = 0;
  int logError = 0;
  {
    std::lock_guard lock(m_lock);
    if (m_logFile) {
      m_logFile->Close();
      logError = m_logFile->Error();
    }
    // The end event carries what is known before it is written.
    if (m_failures.Any() || logError != 0 || m_standardOutput.Error() != 0)
      exitStatus = WithOutputFailure(exitStatus);
    m_presenter.OnEnd(result, exitStatus);
    standardError = m_standardOutput.Error();
  }
  NoteFailures(standardError, logError);
  return m_failures.Any() ? WithOutputFailure(exitStatus) : exitStatus;
}

void CCliFrontEnd::FinishIfIdle(int exitStatus) {
  int standardError = 0;
  int logError = 0;
  {
    std::unique_lock lock(m_lock, std::try_to_lock);
    if (!lock.owns_lock()) return;
    if (m_logFile) {
      m_logFile->Flush();
      logError = m_logFile->Error();
    }
    m_presenter.OnEnd(m_sourceResults.load(), exitStatus);
    standardError = m_standardOutput.Error();
  }
  NoteFailures(standardError, logError);
}
