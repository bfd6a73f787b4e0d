#include "DirDialog.h"

#include <QFileDialog>

int CDirDialog::PickFolder() {
  const QString title = QString::fromUtf8(m_title.empty() ? kDefaultPickerTitle : m_title.c_str());
  const QString chosen = QFileDialog::getExistingDirectory(
      m_owner, title, QString::fromUtf8(m_initialSelection), QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return 0;
  m_path = chosen.toUtf8().toStdString();
  return 1;
}
