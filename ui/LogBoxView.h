// Shows a text in the read-only log box, changing only what differs from
// what it shows (the log mostly grows or rewrites its last line), and keeps
// the end of the log in view.
#pragma once

#include <QString>

class QPlainTextEdit;

class CLogBoxView {
public:
  explicit CLogBoxView(QPlainTextEdit* box) : m_box(box) {}

  // Makes the box show text, scrolled to its end with the caret there when
  // it changed; leaves the view, the caret and the selection alone when it
  // did not.
  void Show(const QString& text);

  // Returns the text the box shows.
  const QString& Shown() const { return m_shown; }

private:
  QPlainTextEdit* m_box;
  QString m_shown;
};
