// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DirDialog.h"

#include <QFileDialog>
#include <QStringList>

CDirDialog::CDirDialog() = default;

CDirDialog::~CDirDialog() = default;

void CDirDialog::Show(std::function<void(const std::string& path)> onChosen) {
  const QString title = QString::fromUtf8(m_title.empty() ? kDefaultPickerTitle : m_title.c_str());
  // Without a parent: no window is its owner, so none is blocked or kept
  // under it.
  m_chooser = std::make_unique<QFileDialog>(nullptr, title, QString::fromUtf8(m_initialSelection));
  m_chooser->setFileMode(QFileDialog::Directory);
  m_chooser->setOption(QFileDialog::ShowDirsOnly);
  m_chooser->setSupportedSchemes(QStringList(QStringLiteral("file")));
  m_chooser->setAttribute(Qt::WA_QuitOnClose, false);
  QObject::connect(m_chooser.get(), &QFileDialog::fileSelected, m_chooser.get(),
                   [this, onChosen = std::move(onChosen)](const QString& chosen) {
                     if (chosen.isEmpty()) return;
                     m_path = chosen.toUtf8().toStdString();
                     onChosen(m_path);
                   });
  m_chooser->show();
  // The keyboard goes to the chooser, so that Escape there closes it alone.
  m_chooser->raise();
  m_chooser->activateWindow();
}

bool CDirDialog::RaiseIfOpen() {
  if (!m_chooser || !m_chooser->isVisible()) return false;
  if (m_chooser->isMinimized()) m_chooser->showNormal();
  m_chooser->raise();
  m_chooser->activateWindow();
  return true;
}

void CDirDialog::Close() {
  if (m_chooser && m_chooser->isVisible()) m_chooser->reject();
}
