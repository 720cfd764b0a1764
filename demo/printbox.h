// The box that the demo window prints its results into: text is appended line by line, each
// piece in normal or bold weight. It is a read-only text view, so a long output scrolls
// instead of being cut off, and the user can select and copy it.
#pragma once

#include <QTextEdit>

class PrintBox : public QTextEdit {
  Q_OBJECT

 public:
  explicit PrintBox(QWidget* parent = nullptr);

  // Empties the box; the next Print() starts the first line.
  void Clear();

  // Appends text to the current line. A CR LF inside the text breaks the line.
  void Print(const QString& text, bool bold);

  // Ends the current line: the next Print() starts a new one.
  void EndLine();

 private:
  bool lineEnded_ = false;
};
