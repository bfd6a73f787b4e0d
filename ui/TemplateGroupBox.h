// SPDX-License-Identifier: GPL-3.0-or-later
// A group box drawn as a dialog template's group box: an etched frame whose
// top edge runs through the middle of the title, so the controls placed
// inside by dialog units sit clear of the frame.
#pragma once

#include <QGroupBox>

class CTemplateGroupBox : public QGroupBox {
public:
  CTemplateGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

protected:
  // Draws the frame and the title on it.
  void paintEvent(QPaintEvent* event) override;
};
