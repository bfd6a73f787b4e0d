// SPDX-License-Identifier: GPL-3.0-or-later
// The log box: a read-only edit box that the keyboard can scroll and select
// in, with a caret while it has the focus, Tab moving the focus on, and a
// focus ring of its own when the style's frame does not show the focus.
#pragma once

#include <QPlainTextEdit>

class CLogBox : public QPlainTextEdit {
public:
  // Makes an empty read-only box, child of parent, with its vertical scroll
  // bar always shown.
  explicit CLogBox(QWidget* parent = nullptr);

  // Returns whether the box draws a focus ring itself, which it does while it
  // has the focus when the style's frame looks the same with and without it.
  bool DrawsFocusRing() const;

protected:
  // Paints the frame, and the focus ring over it when the box draws one.
  bool event(QEvent* event) override;
  // Repaint the frame so that the focus ring follows the focus.
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

private:
  // Returns whether the style draws the box's frame differently when the
  // box has the focus.
  bool StyleShowsFocus() const;
};
