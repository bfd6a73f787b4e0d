// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: the program's icon, "Ferrox Version 1.0", a second line
// and an OK button.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
public:
  // Builds the box from its template, modal over parent.
  explicit CAboutDlg(QWidget* parent = nullptr);
};
