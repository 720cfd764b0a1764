// The workbench's subject editor. The engine's only line break is CR LF, and a lone LF or CR
// is an ordinary character, while a text document knows nothing but paragraphs. So each
// paragraph break here stands for one of three things, kept in the format of the paragraph
// after it: a CR LF (shown by a pilcrow), a lone LF (shown as a small "LF" box), or nothing
// at all, a break made only to keep paragraphs short. Every other character that a document
// cannot hold as text (a lone CR, the other control characters, the Unicode line and
// paragraph separators) is an inline object that stands for it, drawn as a small box with its
// name. Copy, cut, paste and drops go through the engine's text, so a pasted lone LF stays
// one; Shift+Enter types one.
//
// A megabyte of text stays quick to load, edit and scroll: no paragraph grows past a few
// thousand characters on loading (a longer line gets breaks that stand for nothing), only the
// paragraphs in view are laid out, and highlights are asked for what is in view only.
#pragma once

#include <QColor>
#include <QList>
#include <QPlainTextEdit>
#include <QString>

#include <utility>
#include <vector>

class SubjectEdit : public QPlainTextEdit {
  Q_OBJECT

 public:
  // A span of the engine's text painted in a colour; an empty one is a bar between two
  // characters.
  struct Mark {
    qsizetype start = 0;
    qsizetype end = 0;
    QColor colour;

    bool operator==(const Mark&) const = default;
  };

  explicit SubjectEdit(QWidget* parent = nullptr);

  // The text as the engine gets it.
  QString engineText() const;
  // Replaces the text, as one step that the user can undo.
  void setEngineText(const QString& text);
  // Inserts text, as the engine would see it, at the cursor.
  void insertEngineText(const QString& text);

  // The document position of a position in engineText(). A position between the CR and the
  // LF of a line break is taken as before the break for a start, after it for an end.
  int documentPosition(qsizetype enginePosition, bool end) const;
  // The position in engineText() of a document position.
  qsizetype enginePosition(int documentPosition) const;

  // The part of engineText() that is in view (roughly: whole paragraphs).
  std::pair<qsizetype, qsizetype> visibleRange() const;
  // Paints marks under the text; they are meant for the visible range, and stay until the
  // next call or a change of the text.
  void setMarks(const QList<Mark>& marks);
  const QList<Mark>& marks() const { return marks_; }
  // Where mark is painted, in the viewport's coordinates: a rectangle for each line of its
  // text that is laid out, or the bar of an empty one.
  QList<QRect> markArea(const Mark& mark) const;

  // How many LFs of text are not the end of a CR LF.
  static int loneLineFeeds(const QString& text);
  // Makes each lone LF between the engine positions from and to a CR LF, as one step that the
  // user can undo; answers how many there were.
  int readLineFeedsAsCrLf(qsizetype from, qsizetype to);

 signals:
  // What is in view changed: scrolled, resized or laid out anew.
  void visibleRangeChanged();
  // Pasted or dropped text brought count lone LFs; the text inserted now spans from to to in
  // engineText().
  void loneLineFeedsPasted(int count, qsizetype from, qsizetype to);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  QMimeData* createMimeDataFromSelection() const override;
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;

 private:
  // A paragraph break that does not stand for one character of the engine's text.
  struct Shift {
    int document;      // the break's document position
    qsizetype engine;  // where the break stands in the engine's text
    bool crLf;         // two characters there (else none)
  };

  const std::vector<Shift>& Shifts() const;
  void Forget();
  bool EraseBreakThatStandsForNothing(bool backwards);
  void PaintLineEnds(QPainter& painter, const QRect& area);

  mutable std::vector<Shift> shifts_;
  mutable bool shiftsKnown_ = false;
  mutable QString engineText_;
  mutable bool engineTextKnown_ = false;
  QList<Mark> marks_;
};
