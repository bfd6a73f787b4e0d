// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LogBoxView.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

bool CLogBoxView::EndInView() const {
  const QScrollBar* bar = m_box->verticalScrollBar();
  return bar->value() >= bar->maximum();
}

int CLogBoxView::DropFirstLines(uint64_t lines) {
  qsizetype cut = 0;
  for (uint64_t line = 0; line < lines; ++line) {
    const qsizetype feed = m_shown.indexOf(QLatin1Char('\n'), cut);
    if (feed < 0) return -1;
    cut = feed + 1;
  }
  QTextDocument* document = m_box->document();
  int layoutLines = 0;
  QTextBlock block = document->begin();
  for (uint64_t line = 0; line < lines && block.isValid(); ++line, block = block.next())
    layoutLines += std::max(block.lineCount(), 1);
  QTextCursor cursor(document);
  cursor.setPosition(static_cast<int>(cut), QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
  m_shown.remove(0, cut);
  return layoutLines;
}

void CLogBoxView::Show(const QString& text, uint64_t droppedLines) {
  if (text == m_shown && droppedLines == m_droppedLines) return;
  QScrollBar* bar = m_box->verticalScrollBar();
  const bool follow = EndInView();
  int top = bar->value();
  // Lines dropped since the last call leave the box's beginning; a count
  // that went down belongs to a text set anew.
  if (droppedLines > m_droppedLines) {
    const int removed = DropFirstLines(droppedLines - m_droppedLines);
    top = removed < 0 ? 0 : std::max(0, top - removed);
  }
  m_droppedLines = droppedLines;

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
  if (follow) {
    // The caret goes with the view, so the keyboard goes on from the end.
    m_box->moveCursor(QTextCursor::End);
    bar->setValue(bar->maximum());
  } else {
    bar->setValue(top);
  }
}
