// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/LogonRequest.h"

void WipeText(std::string& text) {
  // Through a volatile pointer, so that the stores are not left out as dead.
  volatile char* bytes = text.data();
  for (size_t i = 0; i < text.size(); ++i) bytes[i] = '\0';
  text.clear();
}

CLogonRequest::CLogonRequest(const CShareLogon& asked) {
  m_asked.share = asked.share;
  m_asked.user = asked.user;
  m_asked.domain = asked.domain;
}

CLogonRequest::~CLogonRequest() { WipeText(m_answer.password); }

bool CLogonRequest::Await(const std::atomic<bool>& runFlag, CShareLogon& logon) {
  std::unique_lock lock(m_lock);
  while (!m_settled && runFlag) m_changed.wait_for(lock, kLogonPollInterval);
  if (!m_settled) m_settled = true;  // given up: a later answer is dropped
  if (!m_given) return false;
  logon.user = m_answer.user;
  logon.domain = m_answer.domain;
  WipeText(logon.password);
  logon.password = m_answer.password;
  WipeText(m_answer.password);
  return true;
}

bool CLogonRequest::Give(CShareLogon& given) {
  bool taken = false;
  {
    std::lock_guard lock(m_lock);
    if (!m_settled) {
      m_settled = m_given = taken = true;
      m_answer.user = given.user;
      m_answer.domain = given.domain;
      m_answer.password = given.password;
    }
  }
  WipeText(given.password);
  m_changed.notify_all();
  return taken;
}

bool CLogonRequest::Refuse() {
  bool refused = false;
  {
    std::lock_guard lock(m_lock);
    if (!m_settled) m_settled = refused = true;
  }
  m_changed.notify_all();
  return refused;
}

bool CLogonRequest::Settled() const {
  std::lock_guard lock(m_lock);
  return m_settled;
}
