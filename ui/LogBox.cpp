// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LogBox.h"

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

// The size of the frame drawn to see whether the style shows the focus.
constexpr int kProbeSide = 32;

}  // namespace

CLogBox::CLogBox(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  // A read-only box takes only the mouse by default; here the keyboard moves
  // the caret, scrolls and selects too, as in any edit box.
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setUndoRedoEnabled(false);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setTabChangesFocus(true);
}

bool CLogBox::StyleShowsFocus() const {
  QStyleOptionFrame option;
  initStyleOption(&option);
  option.rect = QRect(0, 0, kProbeSide, kProbeSide);
  auto draw = [&](bool focused) {
    QImage image(kProbeSide, kProbeSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    option.state.setFlag(QStyle::State_HasFocus, focused);
    QPainter painter(&image);
    style()->drawControl(QStyle::CE_ShapedFrame, &option, &painter, this);
    painter.end();
    return image;
  };
  return draw(false) != draw(true);
}

bool CLogBox::DrawsFocusRing() const { return hasFocus() && frameWidth() > 0 && !StyleShowsFocus(); }

bool CLogBox::event(QEvent* event) {
  const bool handled = QPlainTextEdit::event(event);
  // The box's own paint events draw its frame; the viewport and the scroll
  // bars are child widgets that this painter does not reach.
  if (event->type() == QEvent::Paint && DrawsFocusRing()) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Highlight));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  return handled;
}

void CLogBox::focusInEvent(QFocusEvent* event) {
  QPlainTextEdit::focusInEvent(event);
  update();
}

void CLogBox::focusOutEvent(QFocusEvent* event) {
  QPlainTextEdit::focusOutEvent(event);
  update();
}
