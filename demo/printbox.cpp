// PrintBox keeps no text model of its own: every piece goes straight into the document at
// its end, with the weight carried by the character format.
#include "printbox.h"

#include <QFont>
#include <QTextCharFormat>
#include <QTextCursor>

PrintBox::PrintBox(QWidget* parent) : QTextEdit(parent) {
  setReadOnly(true);
  setAcceptRichText(false);
  // Each printed line stays one line; a long one scrolls sideways.
  setLineWrapMode(QTextEdit::NoWrap);
}

void PrintBox::Clear() {
  clear();
  lineEnded_ = false;
}

void PrintBox::Print(const QString& text, bool bold) {
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  if (lineEnded_) {
    cursor.insertBlock();
    lineEnded_ = false;
  }
  QTextCharFormat format;
  format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
  // The engine's line break is CR LF; shown as one break within the printed line, where the
  // cursor would otherwise make two paragraphs of it.
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QChar(QChar::LineSeparator));
  cursor.insertText(shown, format);
}

void PrintBox::EndLine() {
  lineEnded_ = true;
}
