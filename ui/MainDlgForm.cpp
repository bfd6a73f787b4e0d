// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as the form view of the exchange and as the host of the
// run commands.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "engine/RunState.h"
#include "frontend/ControlIds.h"
#include "frontend/DetachedThread.h"
#include "frontend/DialogTemplate.h"
#include "frontend/FormExchange.h"
#include "frontend/LogBoxText.h"
#include "frontend/SourceList.h"
#include "ui/MainDlg.h"

std::string CMainDlg::FieldText(int id) const {
  if (id == kIdLog) return LogBoxText(m_log.Text());
  if (const auto* edit = qobject_cast<const QLineEdit*>(Control(id)))
    return edit->text().toUtf8().toStdString();
  return std::string();
}

void CMainDlg::SetFieldText(int id, std::string_view text) {
  if (auto* edit = qobject_cast<QLineEdit*>(Control(id))) {
    edit->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    edit->setCursorPosition(0);
  }
}

bool CMainDlg::IsChecked(int id) const {
  const auto* box = qobject_cast<const QAbstractButton*>(Control(id));
  return box && box->isChecked();
}

void CMainDlg::SetChecked(int id, bool checked) {
  if (auto* box = qobject_cast<QAbstractButton*>(Control(id))) box->setChecked(checked);
}

void CMainDlg::SetEnabled(int id, bool enabled) {
  if (QWidget* control = Control(id)) control->setEnabled(enabled);
}

bool CMainDlg::IsEnabled(int id) const {
  // The control's own state, whatever the window's.
  const QWidget* control = Control(id);
  return control && control->isEnabledTo(this);
}

void CMainDlg::RefuseField(int id, const std::string& message) {
  if (m_hooks.messageBox)
    m_hooks.messageBox(message);
  else
    QMessageBox::warning(this, QString::fromUtf8(kMainDialogCaption), QString::fromUtf8(message));
  QWidget* control = Control(id);
  if (!control) return;
  control->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
  if (auto* box = qobject_cast<QPlainTextEdit*>(control)) box->selectAll();
}

bool CMainDlg::ReadFormValues() {
  const bool passed = ReadForm(*this, m_values);
  m_engineValues.Publish(m_values);
  return passed;
}

void CMainDlg::WriteFormValues() {
  WriteForm(*this, m_values);
  m_engineValues.Publish(m_values);
}

void CMainDlg::EmptyLogAndWriteForm() {
  m_log.SetText(std::string());
  WriteFormValues();
  RequestRepaint();
}

void CMainDlg::ParseSourceList() { ::ParseSourceList(m_log.Text(), m_values.source, g_RunState.sources); }

void CMainDlg::SetStartText(const char* text) { m_startButton->setText(QString::fromUtf8(text)); }

void CMainDlg::SetPauseText(const char* text) { m_pauseButton->setText(QString::fromUtf8(text)); }

void CMainDlg::SetRunButtons(bool pauseEnabled, bool skipFileEnabled) {
  m_pauseButton->setEnabled(pauseEnabled);
  m_controls.at(kIdSkipFile)->setEnabled(skipFileEnabled);
}

void CMainDlg::BringToFront() {
  showNormal();
  raise();
  activateWindow();
}

void CMainDlg::CloseWindow() {
  // The folder pickers have no owner to close with.
  m_destinationPicker.Close();
  m_sourceDirPicker.Close();
  CloseLogonDialog();
  QDialog::done(QDialog::Rejected);
}

bool CMainDlg::StartWorker(std::function<void()> work, std::string& error) {
  m_workerWatch.start();
  if (m_hooks.startWorker) return m_hooks.startWorker(std::move(work), error);
  return StartDetachedThread(std::move(work), error);
}
