// SPDX-License-Identifier: GPL-3.0-or-later
// Builds a dialog's widgets from its template and places them by the
// template's dialog units converted with the dialog font's metrics.
#pragma once

#include <QIcon>
#include <map>
#include <span>
#include <vector>

#include "frontend/DialogTemplate.h"
#include "frontend/DialogUnits.h"

class QWidget;

// Returns the dialog units of font: its average character width and its
// height in pixels.
CDialogUnits DialogUnitsOf(const QFont& font);

// Creates one widget per control of controls as children of dialog, in
// template order (so also in tab order), with its label, its initial
// state and its object name: "ctl" followed by its id, or "static" followed
// by its index for controls without an id. Returns the widgets in template
// order.
std::vector<QWidget*> CreateTemplateControls(QWidget* dialog, std::span<const CControlTemplate> controls);

// Places widgets (made by CreateTemplateControls from controls), each edge
// of a control converted on its own, gives the icon control icon at its
// size, and sizes dialog's client area to width by height dialog units,
// fixed. The progress labels are given room for kWidestProgressLabel.
void PlaceTemplateControls(QWidget* dialog, std::span<const CControlTemplate> controls,
                           const std::vector<QWidget*>& widgets, int width, int height, const QIcon& icon);

// Returns the widgets of controls that have an id, by id.
std::map<int, QWidget*> ControlsById(std::span<const CControlTemplate> controls,
                                     const std::vector<QWidget*>& widgets);
