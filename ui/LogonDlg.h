// SPDX-License-Identifier: GPL-3.0-or-later
// The logon dialog: asks for the user name, domain and password to log on
// to a share whose server refused the logon of the run, titled
// "Log on to " and the share. The main window opens it beside itself, not
// modal, so that Abort and Exit stay at hand while it is open.
#pragma once

#include <QDialog>
#include <string>

#include "engine/MainForm.h"

class QLineEdit;

inline constexpr char kLogonTitlePrefix[] = "Log on to ";

class CLogonDlg : public QDialog {
public:
  // Builds the dialog for share with user and domain filled in and an empty
  // password field that shows no echo; not modal. Its fields are named
  // "user", "domain" and "password".
  CLogonDlg(const std::string& share, const std::string& user, const std::string& domain, QWidget* parent);

  // Puts the typed user name, domain and password into logon and clears the
  // password field.
  void TakeLogon(CShareLogon& logon);
  // Clears the password field.
  void ClearPassword();

private:
  QLineEdit* m_user = nullptr;
  QLineEdit* m_domain = nullptr;
  QLineEdit* m_password = nullptr;
};
