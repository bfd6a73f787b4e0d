// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TestFrontEnd.h"

#include "engine/RunState.h"

CTestFrontEnd::CTestFrontEnd() { g_RunState.mainForm = this; }

CTestFrontEnd::~CTestFrontEnd() {
  if (g_RunState.mainForm == this) g_RunState.mainForm = nullptr;
}

std::string CTestFrontEnd::Destination() const {
  std::lock_guard lock(m_lock);
  return m_destination;
}

void CTestFrontEnd::SetDestination(std::string destination) {
  std::lock_guard lock(m_lock);
  m_destination = std::move(destination);
}

void CTestFrontEnd::LogMessage(std::string_view message) {
  {
    std::lock_guard lock(m_lock);
    m_messages.emplace_back(message);
  }
  log.OnLogUpdate(message);
  if (onMessage) onMessage(std::string(message));
}

void CTestFrontEnd::UpdateProgress() {
  ++progressUpdates;
  const RunState& run = g_RunState;
  std::lock_guard lock(m_lock);
  m_progress.push_back(
      {run.fileProgress, run.bytesDone, run.totalBytes, run.currentFileNumber, run.fileCount});
}

void CTestFrontEnd::OnSourceDone(const CSourceSummary& summary) {
  std::lock_guard lock(m_lock);
  m_summaries.push_back(summary);
}

void CTestFrontEnd::OnScanDone(const CScanSummary& summary) {
  std::lock_guard lock(m_lock);
  m_scanSummaries.push_back(summary);
}

std::vector<CScanSummary> CTestFrontEnd::ScanSummaries() const {
  std::lock_guard lock(m_lock);
  return m_scanSummaries;
}

std::vector<CProgressSnapshot> CTestFrontEnd::Progress() const {
  std::lock_guard lock(m_lock);
  return m_progress;
}

std::vector<CSourceSummary> CTestFrontEnd::Summaries() const {
  std::lock_guard lock(m_lock);
  return m_summaries;
}

void CTestFrontEnd::SendStartCommand() {
  ++startCommands;
  g_RunState.runFlag = false;
}

std::vector<std::string> CTestFrontEnd::Messages() const {
  std::lock_guard lock(m_lock);
  return m_messages;
}

bool CTestFrontEnd::AskShareLogon(CShareLogon& logon) {
  ++logonRequests;
  return onAskShareLogon && onAskShareLogon(logon);
}
