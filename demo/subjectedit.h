// The workbench's subject editor. The engine's only line break is CR LF, and a lone LF or CR
// is an ordinary character, while a text document knows nothing but paragraphs. So each
// paragraph break here is one CR LF (shown by a pilcrow), and every character that a document
// cannot hold as text (a lone LF or CR, the other control characters, the Unicode line and
// paragraph separators) is an inline object that stands for it, drawn as a small box with its
// name. Copy, cut, paste and drops go through the engine's text, so a pasted lone LF stays
// one; Shift+Enter types one.
#pragma once

#include <QString>
#include <QTextEdit>

class SubjectEdit : public QTextEdit {
  Q_OBJECT

 public:
  explicit SubjectEdit(QWidget* parent = nullptr);

  // The text as the engine gets it.
  QString engineText() const;
  void setEngineText(const QString& text);
  // Inserts text, as the engine would see it, at the cursor.
  void insertEngineText(const QString& text);

  // The document position of a position in engineText(). A position between the CR and the
  // LF of a line break is taken as before the break for a start, after it for an end.
  int documentPosition(qsizetype enginePosition, bool end) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  QMimeData* createMimeDataFromSelection() const override;
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;
};
