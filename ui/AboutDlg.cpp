// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AboutDlg.h"

#include <QPushButton>

#include "frontend/ControlIds.h"
#include "frontend/DialogTemplate.h"
#include "ui/ProgramIcon.h"
#include "ui/TemplateWidgets.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(kAboutDialogCaption));
  setWindowIcon(ProgramIcon());
  const auto controls = AboutDialogTemplate();
  const std::vector<QWidget*> widgets = CreateTemplateControls(this, controls);
  PlaceTemplateControls(this, controls, widgets, kAboutDialogWidth, kAboutDialogHeight, ProgramIcon());
  if (auto* ok = qobject_cast<QPushButton*>(ControlsById(controls, widgets).at(kIdStart)))
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
