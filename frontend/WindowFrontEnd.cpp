// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/WindowFrontEnd.h"

#include "engine/RunState.h"

CWindowFrontEnd::CWindowFrontEnd() {
  m_log.SetFinalTextListener([this](std::string_view piece) { m_runLog.Append(piece); });
}

CWindowFrontEnd::~CWindowFrontEnd() {
  m_log.SetFinalTextListener(nullptr);
  CloseLogFile();
}

std::string CWindowFrontEnd::Destination() const { return m_engineValues.Destination(); }

bool CWindowFrontEnd::CopyByParts() const { return m_engineValues.CopyByParts(); }

bool CWindowFrontEnd::ReGet() const { return m_engineValues.ReGet(); }

uint32_t CWindowFrontEnd::Header() const { return m_engineValues.Header(); }

uint32_t CWindowFrontEnd::PartNumber() const { return m_engineValues.PartNumber(); }

uint32_t CWindowFrontEnd::PartSize() const { return m_engineValues.PartSize(); }

void CWindowFrontEnd::LogMessage(std::string_view message) {
  m_log.OnLogUpdate(message);
  RequestRepaint();
}

void CWindowFrontEnd::UpdateProgress() {
  {
    std::lock_guard lock(m_progressLock);
    ComputeProgress(g_RunState, m_progress);
    m_progressChanged = true;
  }
  RequestRepaint();
}

bool CWindowFrontEnd::TakeProgress(CProgressDisplay& display) {
  std::lock_guard lock(m_progressLock);
  if (!m_progressChanged) return false;
  m_progressChanged = false;
  display = m_progress;
  return true;
}

bool CWindowFrontEnd::ProgressChanged() const {
  std::lock_guard lock(m_progressLock);
  return m_progressChanged;
}

void CWindowFrontEnd::ResetDisplayedProgress() {
  {
    std::lock_guard lock(m_progressLock);
    m_progress = CProgressDisplay();
    m_progressChanged = true;
  }
  RequestRepaint();
}

bool CWindowFrontEnd::OpenLogFile(std::string& error) { return m_runLog.Open(RunLogFolder(), error); }

void CWindowFrontEnd::CloseLogFile() { m_runLog.Close(m_log.LastLine()); }
