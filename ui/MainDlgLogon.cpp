// SPDX-License-Identifier: GPL-3.0-or-later
// The main window asking the user for a share logon on the worker's behalf.
#include <QMetaObject>
#include <QThread>

#include "engine/RunState.h"
#include "ui/LogonDlg.h"
#include "ui/MainDlg.h"

bool CMainDlg::AskShareLogon(CShareLogon& logon) {
  // The window thread would wait for an answer only it can give.
  if (QThread::currentThread() == thread()) return false;
  auto request = std::make_shared<CLogonRequest>(logon);
  QMetaObject::invokeMethod(
      this, [this, request] { OpenLogonDialog(request); }, Qt::QueuedConnection);
  if (request->Await(g_RunState.runFlag, logon)) return true;
  // Given up or refused: a dialog still open for the question goes too.
  QMetaObject::invokeMethod(
      this, [this, request] { CloseLogonDialog(request.get()); }, Qt::QueuedConnection);
  return false;
}

QDialog* CMainDlg::LogonDialog() const { return m_logonDialog.data(); }

void CMainDlg::OpenLogonDialog(const std::shared_ptr<CLogonRequest>& request) {
  if (request->Settled()) return;
  if (!g_RunState.runFlag) {
    request->Refuse();
    return;
  }
  CloseLogonDialog();
  m_logonRequest = request;
  const std::string& user = request->User().empty() ? m_lastLogonUser : request->User();
  const std::string& domain = request->Domain().empty() ? m_lastLogonDomain : request->Domain();
  auto* logonDialog = new CLogonDlg(request->Share(), user, domain, this);
  m_logonDialog = logonDialog;
  connect(logonDialog, &QDialog::finished, this,
          [this, logonDialog](int result) { OnLogonFinished(logonDialog, result == QDialog::Accepted); });
  if (isMinimized()) showNormal();
  logonDialog->show();
  logonDialog->raise();
  logonDialog->activateWindow();
}

void CMainDlg::OnLogonFinished(CLogonDlg* logonDialog, bool accepted) {
  if (logonDialog != m_logonDialog) return;
  const std::shared_ptr<CLogonRequest> request = std::move(m_logonRequest);
  m_logonRequest.reset();
  m_logonDialog = nullptr;
  if (accepted) {
    CShareLogon given;
    logonDialog->TakeLogon(given);
    m_lastLogonUser = given.user;
    m_lastLogonDomain = given.domain;
    request->Give(given);
  } else {
    logonDialog->ClearPassword();
    request->Refuse();
  }
  logonDialog->deleteLater();
}

void CMainDlg::CloseLogonDialog(const CLogonRequest* which) {
  if (!m_logonDialog || (which && m_logonRequest.get() != which)) return;
  m_logonDialog->reject();  // finished: the request is refused there
}
