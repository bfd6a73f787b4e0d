// SPDX-License-Identifier: GPL-3.0-or-later
// The Source File picker: the toolkit's file dialog choosing one or more
// existing files. The toolkit's own dialog reads its name box as a list of
// names in double quotes, so a name that holds a double quote would be cut
// there and not found. Such names are read here as whole names instead.
#pragma once

#include <QFileDialog>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

class CSourceFileDialog : public QFileDialog {
public:
  // Makes the dialog, modal over parent, choosing existing files.
  explicit CSourceFileDialog(QWidget* parent = nullptr);

  // Returns the full paths of the files chosen, UTF-8, once the dialog was
  // accepted.
  std::vector<std::string> ChosenFiles() const;

protected:
  // Open: when the name box holds a double quote, accepts the files it
  // names (NamedFiles), or else the files selected in the list; otherwise,
  // or when neither names a file, as the toolkit's dialog does.
  void accept() override;

private:
  // Returns the full paths of the existing files text names in the
  // dialog's folder: text as one name, or else as names each in double
  // quotes separated by a blank; empty when a name is no existing file.
  QStringList NamedFiles(const QString& text) const;
  // Returns the full paths of the files selected in the dialog's file list.
  QStringList SelectedInList() const;

  QStringList m_fromList;  // the list's selection, when accepted from it
};

// Shows the dialog modally over parent and returns the chosen files' full
// paths, UTF-8; nullopt when the user cancelled.
std::optional<std::vector<std::string>> PickSourceFiles(QWidget* parent);
