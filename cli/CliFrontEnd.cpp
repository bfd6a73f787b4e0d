#include "CliFrontEnd.h"

#include "RunState.h"

CCliFrontEnd::CCliFrontEnd(const CCliOptions& options, CPresenter& presenter, CLogFile* logFile)
    : m_options(options), m_presenter(presenter), m_logFile(logFile) {}

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

void CCliFrontEnd::Tick() {
  const CSteadyTime now = std::chrono::steady_clock::now();
  std::lock_guard lock(m_lock);
  if (m_logFile) m_logFile->FlushIfDue(now);
  m_presenter.OnTick(now);
}

void CCliFrontEnd::Finish(ResultFlags result, int exitStatus) {
  std::lock_guard lock(m_lock);
  if (m_logFile) m_logFile->Flush();
  m_presenter.OnEnd(result, exitStatus);
}

void CCliFrontEnd::FinishIfIdle(int exitStatus) {
  std::unique_lock lock(m_lock, std::try_to_lock);
  if (!lock.owns_lock()) return;
  if (m_logFile) m_logFile->Flush();
  m_presenter.OnEnd(m_sourceResults.load(), exitStatus);
}
