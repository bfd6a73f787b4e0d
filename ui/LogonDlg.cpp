// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LogonDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "frontend/LogonRequest.h"
#include "ui/ProgramIcon.h"

namespace {

// Returns the text of edit as UTF-8 bytes.
std::string Utf8Of(const QLineEdit* edit) { return edit->text().toUtf8().toStdString(); }

}  // namespace

CLogonDlg::CLogonDlg(const std::string& share, const std::string& user, const std::string& domain,
                     QWidget* parent)
    : QDialog(parent) {
  const QString shareText = QString::fromUtf8(share);
  setWindowTitle(QString::fromUtf8(kLogonTitlePrefix) + shareText);
  setWindowIcon(ProgramIcon());
  setModal(false);
  setWindowModality(Qt::NonModal);

  auto* layout = new QVBoxLayout(this);
  auto* question =
      new QLabel(QStringLiteral("The server refused the logon to %1.\nLog on as:").arg(shareText), this);
  question->setTextFormat(Qt::PlainText);
  layout->addWidget(question);

  auto* fields = new QFormLayout;
  m_user = new QLineEdit(QString::fromUtf8(user), this);
  m_user->setObjectName(QStringLiteral("user"));
  m_domain = new QLineEdit(QString::fromUtf8(domain), this);
  m_domain->setObjectName(QStringLiteral("domain"));
  m_password = new QLineEdit(this);
  m_password->setObjectName(QStringLiteral("password"));
  m_password->setEchoMode(QLineEdit::Password);
  fields->addRow(QStringLiteral("&User name:"), m_user);
  fields->addRow(QStringLiteral("&Domain:"), m_domain);
  fields->addRow(QStringLiteral("&Password:"), m_password);
  layout->addLayout(fields);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  (user.empty() ? m_user : m_password)->setFocus(Qt::OtherFocusReason);
}

void CLogonDlg::TakeLogon(CShareLogon& logon) {
  logon.user = Utf8Of(m_user);
  logon.domain = Utf8Of(m_domain);
  QString typed = m_password->text();
  QByteArray bytes = typed.toUtf8();
  WipeText(logon.password);
  logon.password.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
  ClearPassword();
  // The field no longer shares these buffers: they are overwritten in place.
  typed.fill(QChar(u'\0'));
  bytes.fill('\0');
}

void CLogonDlg::ClearPassword() {
  // setText, unlike clear, keeps no undo step with the old text.
  m_password->setText(QString());
}
