// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SourceFileDialog.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLineEdit>

CSourceFileDialog::CSourceFileDialog(QWidget* parent) : QFileDialog(parent) {
  setFileMode(QFileDialog::ExistingFiles);
}

QStringList CSourceFileDialog::SelectedInList() const {
  QStringList paths;
  for (const QAbstractItemView* view : findChildren<QAbstractItemView*>()) {
    if (!view->isVisible() || !view->selectionModel()) continue;
    for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
      const QString path = index.data(QFileSystemModel::FilePathRole).toString();
      if (!path.isEmpty() && QFileInfo(path).isFile() && !paths.contains(path)) paths.push_back(path);
    }
  }
  return paths;
}

QStringList CSourceFileDialog::NamedFiles(const QString& text) const {
  const QDir folder = directory();
  auto existing = [&folder](const QStringList& names) {
    QStringList paths;
    for (const QString& name : names) {
      const QFileInfo file(folder, name);
      if (name.isEmpty() || !file.isFile()) return QStringList();
      paths.push_back(file.absoluteFilePath());
    }
    return paths;
  };
  // One name as typed or as a click on it put it there.
  QStringList paths = existing(QStringList(text));
  if (!paths.isEmpty()) return paths;
  // Several, each in double quotes: "a" "b".
  const QString quote = QStringLiteral("\"");
  if (text.size() >= 2 && text.startsWith(quote) && text.endsWith(quote))
    paths = existing(text.mid(1, text.size() - 2).split(QStringLiteral("\" \"")));
  return paths;
}

void CSourceFileDialog::accept() {
  m_fromList.clear();
  const auto* nameBox = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (nameBox && nameBox->text().contains(QLatin1Char('"'))) {
    QStringList chosen = NamedFiles(nameBox->text().trimmed());
    if (chosen.isEmpty()) chosen = SelectedInList();
    if (!chosen.isEmpty()) {
      m_fromList = chosen;
      // Skips QFileDialog::accept on purpose: it would cut the names at their double quotes.
      QDialog::accept();  // NOLINT(bugprone-parent-virtual-call)
      return;
    }
  }
  QFileDialog::accept();
}

std::vector<std::string> CSourceFileDialog::ChosenFiles() const {
  std::vector<std::string> files;
  for (const QString& file : m_fromList.isEmpty() ? selectedFiles() : m_fromList)
    files.push_back(file.toUtf8().toStdString());
  return files;
}

std::optional<std::vector<std::string>> PickSourceFiles(QWidget* parent) {
  CSourceFileDialog dialog(parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::vector<std::string> files = dialog.ChosenFiles();
  if (files.empty()) return std::nullopt;
  return files;
}
