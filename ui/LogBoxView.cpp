#include "LogBoxView.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

void CLogBoxView::Show(const QString& text) {
  if (text == m_shown) return;
  qsizetype common = 0;
  const qsizetype shortest = std::min(text.size(), m_shown.size());
  while (common < shortest && text[common] == m_shown[common]) ++common;
  // Never split a surrogate pair.
  if (common > 0 && common < text.size() && text[common].isLowSurrogate()) --common;

  QTextDocument* document = m_box->document();
  if (common == 0) {
    m_box->setPlainText(text);
  } else {
    QTextCursor cursor(document);
    cursor.setPosition(static_cast<int>(common));
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.insertText(text.mid(common));
  }
  // The document counts a final paragraph separator of its own.
  if (document->characterCount() - 1 != text.size()) m_box->setPlainText(text);
  m_shown = text;
  // The caret goes with the view, so the keyboard goes on from the end.
  m_box->moveCursor(QTextCursor::End);
  m_box->verticalScrollBar()->setValue(m_box->verticalScrollBar()->maximum());
}
