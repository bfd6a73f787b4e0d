// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TemplateGroupBox.h"

#include <QFontMetrics>
#include <QPainter>

void CTemplateGroupBox::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QFontMetrics metrics(font());
  const int top = metrics.height() / 2;
  const QRect frame(0, top, width() - 2, height() - top - 2);
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(frame);
  painter.setPen(palette().color(QPalette::Light));
  painter.drawRect(frame.translated(1, 1));

  const QString text = title();
  const int gap = metrics.averageCharWidth() / 2;
  const QRect textPlace(metrics.averageCharWidth() + 2, 0, metrics.horizontalAdvance(text) + 2 * gap,
                        metrics.height());
  painter.fillRect(textPlace, palette().window());
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  painter.drawText(textPlace, Qt::AlignCenter, text);
}
