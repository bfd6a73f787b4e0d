// SPDX-License-Identifier: GPL-3.0-or-later
// Shows a text in the read-only log box, changing only what differs from
// what it shows (the log mostly grows or rewrites its last line, and now
// and then drops its oldest lines), and follows the end of the log only
// while the end is in view, so that the user can read back undisturbed.
#pragma once

#include <QString>
#include <cstdint>

class QPlainTextEdit;

class CLogBoxView {
public:
  explicit CLogBoxView(QPlainTextEdit* box) : m_box(box) {}

  // Makes the box show text, of which droppedLines lines were dropped from
  // the beginning of the log since it was set (the lines dropped since the
  // last call are removed from the box's beginning). When the box's end
  // was in view, scrolls to the new end with the caret there; otherwise
  // keeps the same lines in view and leaves the caret and the selection
  // where they are. Does nothing when the box shows text already.
  void Show(const QString& text, uint64_t droppedLines = 0);

  // Returns the text the box shows.
  const QString& Shown() const { return m_shown; }

  // Returns whether the box shows the last line of its text.
  bool EndInView() const;

private:
  // Removes the first lines lines from the box and from m_shown; returns
  // the number of lines of layout they took, or -1 when the box holds
  // fewer lines.
  int DropFirstLines(uint64_t lines);

  QPlainTextEdit* m_box;
  QString m_shown;
  uint64_t m_droppedLines = 0;
};
