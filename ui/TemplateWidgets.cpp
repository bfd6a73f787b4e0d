// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TemplateWidgets.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <limits>

#include "frontend/ControlIds.h"
#include "frontend/ProgressDisplay.h"
#include "ui/LogBox.h"
#include "ui/TemplateGroupBox.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Creates the widget of one control.
QWidget* CreateControl(QWidget* dialog, const CControlTemplate& control) {
  const QString text = QString::fromUtf8(control.text);
  switch (control.kind) {
    case ControlKind::kStatic: {
      auto* label = new QLabel(text, dialog);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      return label;
    }
    case ControlKind::kEdit: {
      auto* edit = new QLineEdit(dialog);
      // A path typed, pasted or chosen may be of any length: no limit cuts it.
      edit->setMaxLength(std::numeric_limits<int>::max());
      return edit;
    }
    case ControlKind::kLog:
      return new CLogBox(dialog);
    case ControlKind::kButton:
    case ControlKind::kDefaultButton:
    case ControlKind::kHiddenButton: {
      auto* button = new QPushButton(text, dialog);
      button->setDefault(control.kind == ControlKind::kDefaultButton);
      if (control.kind == ControlKind::kHiddenButton) button->hide();
      return button;
    }
    case ControlKind::kCheckBox:
      return new QCheckBox(text, dialog);
    case ControlKind::kGroupBox:
      return new CTemplateGroupBox(text, dialog);
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(dialog);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::kIcon: {
      auto* label = new QLabel(dialog);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
  }
  return new QWidget(dialog);
}

// Returns the width in pixels that widget needs to show its text whole, or
// 0 for a control without a text of its own.
int NeededWidth(const CControlTemplate& control, const QWidget* widget) {
  // The progress labels change their text; they are made wide enough for
  // the widest they show.
  if (control.id == kIdFileLabel || control.id == kIdTotalLabel)
    return widget->fontMetrics().horizontalAdvance(QString::fromLatin1(kWidestProgressLabel)) +
           widget->sizeHint().width() -
           widget->fontMetrics().horizontalAdvance(QString::fromUtf8(control.text));
  switch (control.kind) {
    case ControlKind::kStatic:
    case ControlKind::kCheckBox:
      return widget->sizeHint().width();
    case ControlKind::kButton:
    case ControlKind::kDefaultButton: {
      QString text = QString::fromUtf8(control.text);
      text.remove(QLatin1Char('&'));
      const int margin = widget->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, widget);
      return widget->fontMetrics().horizontalAdvance(text) + 2 * margin;
    }
    default:
      return 0;
  }
}

}  // namespace

CDialogUnits DialogUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  CDialogUnits units;
  units.baseX = AverageCharWidth(metrics.horizontalAdvance(QString::fromLatin1(kAlphabet)));
  units.baseY = metrics.height();
  return units;
}

std::vector<QWidget*> CreateTemplateControls(QWidget* dialog, std::span<const CControlTemplate> controls) {
  std::vector<QWidget*> widgets;
  widgets.reserve(controls.size());
  for (size_t index = 0; index < controls.size(); ++index) {
    const CControlTemplate& control = controls[index];
    QWidget* widget = CreateControl(dialog, control);
    widget->setObjectName(control.id == kIdNone ? QStringLiteral("static%1").arg(index)
                                                : QStringLiteral("ctl%1").arg(control.id));
    if (control.disabled) widget->setEnabled(false);
    widgets.push_back(widget);
  }
  return widgets;
}

void PlaceTemplateControls(QWidget* dialog, std::span<const CControlTemplate> controls,
                           const std::vector<QWidget*>& widgets, int width, int height, const QIcon& icon) {
  CDialogUnits units = DialogUnitsOf(dialog->font());
  for (size_t index = 0; index < controls.size() && index < widgets.size(); ++index)
    units.baseX =
        WidenBaseX(units.baseX, NeededWidth(controls[index], widgets[index]), controls[index].width);
  for (size_t index = 0; index < controls.size() && index < widgets.size(); ++index) {
    const CControlTemplate& control = controls[index];
    // Each edge is converted on its own, as Windows maps a dialog's rects,
    // so that controls that meet in the template meet here too, never
    // overlapping by a rounded pixel.
    const QRect place(
        QPoint(units.X(control.x), units.Y(control.y)),
        QPoint(units.X(control.x + control.width) - 1, units.Y(control.y + control.height) - 1));
    widgets[index]->setGeometry(place);
    if (control.kind == ControlKind::kIcon) {
      auto* label = static_cast<QLabel*>(widgets[index]);
      const int side = std::min(place.width(), place.height());
      label->setPixmap(icon.pixmap(QSize(side, side)));
    }
  }
  dialog->setFixedSize(units.X(width), units.Y(height));
}

std::map<int, QWidget*> ControlsById(std::span<const CControlTemplate> controls,
                                     const std::vector<QWidget*>& widgets) {
  std::map<int, QWidget*> byId;
  for (size_t index = 0; index < controls.size() && index < widgets.size(); ++index)
    if (controls[index].id != kIdNone) byId[controls[index].id] = widgets[index];
  return byId;
}
