// What each paragraph break stands for is a property of the paragraph after it, so that it
// goes wherever the break goes: joining two paragraphs deletes the break and its property
// together, splitting one makes a break with the property given, and undo restores both. The
// markers are inline objects of a format of their own that keeps the code unit they stand for.
// The engine's text and the map between its positions and the document's are worked out when
// first asked for after a change.
#include "subjectedit.h"

#include <QAbstractTextDocumentLayout>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextObjectInterface>

#include <algorithm>
#include <utility>

#include "visibletext.h"

namespace {

constexpr int kMarkerObject = QTextFormat::UserObject + 1;
constexpr int kMarkerCode = QTextFormat::UserProperty + 1;  // the code unit a marker stands for
constexpr int kBreakKind = QTextFormat::UserProperty + 2;   // what the break before stands for

// What a paragraph break stands for in the engine's text.
enum class Break { kCrLf, kLf, kNothing };

// A line longer than this is broken into paragraphs: laying out a paragraph, finding the
// cursor in it or drawing it costs time in proportion to its whole length.
constexpr qsizetype kLongestParagraph = 2000;
// How far back from that length a break looks for a space to stand after.
constexpr qsizetype kSpaceLookBack = 200;

const QString kCrLf = QStringLiteral("\r\n");

// Characters that a document turns into paragraph breaks, lays out as line breaks or does
// not show at all. A tab shows as space and stays text; a lone LF is a paragraph break.
bool NeedsMarker(char16_t c) {
  return (quarn::demo::IsInvisible(c) && c != u'\t' && c != u'\n') || c == 0xFDD0 || c == 0xFDD1 ||
         c == QChar::ObjectReplacementCharacter;
}

Break BreakBefore(const QTextBlock& block) {
  return static_cast<Break>(block.blockFormat().intProperty(kBreakKind));
}

QTextBlockFormat BreakFormat(Break kind) {
  QTextBlockFormat format;
  if (kind != Break::kCrLf) format.setProperty(kBreakKind, static_cast<int>(kind));
  return format;
}

QFont LabelFont(const QFont& font) {
  QFont small = font;
  small.setPointSizeF(font.pointSizeF() * 0.8);
  return small;
}

// A character's name in a small rounded box, as markers and lone LFs are drawn.
void DrawNameBox(QPainter* painter, const QRectF& rect, const QString& name, const QFont& font,
                 const QColor& colour) {
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setPen(colour);
  painter->drawRoundedRect(rect.adjusted(1, 2, -1, -2), 2, 2);
  painter->setFont(LabelFont(font));
  painter->drawText(rect, Qt::AlignCenter, name);
  painter->restore();
}

qreal NameBoxWidth(const QString& name, const QFont& font) {
  return QFontMetricsF(LabelFont(font)).horizontalAdvance(name) + 6;
}

// Draws the markers: each one's name, small, in a box of the placeholder colour.
class MarkerPainter : public QObject, public QTextObjectInterface {
  Q_OBJECT
  Q_INTERFACES(QTextObjectInterface)

 public:
  explicit MarkerPainter(QWidget* editor) : QObject(editor), editor_(editor) {}

  QSizeF intrinsicSize(QTextDocument* document, int, const QTextFormat& format) override {
    return {NameBoxWidth(Label(format), document->defaultFont()),
            QFontMetricsF(document->defaultFont()).height()};
  }

  void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int,
                  const QTextFormat& format) override {
    DrawNameBox(painter, rect, Label(format), document->defaultFont(),
                editor_->palette().color(QPalette::PlaceholderText));
  }

 private:
  static QString Label(const QTextFormat& format) {
    return quarn::demo::CharacterName(static_cast<char16_t>(format.intProperty(kMarkerCode)));
  }

  QWidget* editor_;
};

QTextCharFormat MarkerFormat(char16_t c) {
  QTextCharFormat format;
  format.setObjectType(kMarkerObject);
  format.setProperty(kMarkerCode, int{c});
  return format;
}

// The engine's text of block's characters (its break aside).
QString BlockText(const QTextBlock& block) {
  QString text = block.text();
  if (!text.contains(QChar::ObjectReplacementCharacter)) return text;
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment fragment = it.fragment();
    if (fragment.charFormat().objectType() != kMarkerObject) continue;
    const QChar code(static_cast<char16_t>(fragment.charFormat().intProperty(kMarkerCode)));
    const int first = fragment.position() - block.position();
    for (int i = first; i < first + fragment.length(); ++i) {
      if (text[i] == QChar::ObjectReplacementCharacter) text[i] = code;
    }
  }
  return text;
}

// Where in text[from, to) a paragraph may end so that it holds at most room characters:
// after a space near that length if there is one, and never inside a surrogate pair.
qsizetype ParagraphEnd(const QString& text, qsizetype from, qsizetype to, qsizetype room) {
  if (to - from <= room) return to;
  qsizetype end = from + std::max<qsizetype>(room, 1);
  for (qsizetype i = end; i > from && i > end - kSpaceLookBack; --i) {
    if (text[i - 1] == u' ') return i;
  }
  if (text[end - 1].isHighSurrogate() && end - 1 > from) --end;
  return end;
}

}  // namespace

SubjectEdit::SubjectEdit(QWidget* parent) : QPlainTextEdit(parent) {
  setTabChangesFocus(true);  // the whole window stays usable by keyboard
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  // Lines wrap; only a line end's sign could reach past the width.
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setTabStopDistance(QFontMetricsF(font()).horizontalAdvance(u' ') * 4);
  document()->documentLayout()->registerHandler(kMarkerObject, new MarkerPainter(this));
  // Before textChanged(), whose receivers may ask for the text.
  connect(document(), &QTextDocument::contentsChange, this, &SubjectEdit::Forget);
  // Scrolling comes from the scroll bar, the keyboard or the cursor, and this tells of all.
  connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect&, int dy) {
    if (dy != 0) emit visibleRangeChanged();
  });
}

void SubjectEdit::Forget() {
  shiftsKnown_ = false;
  engineTextKnown_ = false;
  if (!marks_.isEmpty()) setMarks({});
}

QString SubjectEdit::engineText() const {
  if (engineTextKnown_) return engineText_;
  engineText_.clear();
  engineText_.reserve(document()->characterCount() + document()->blockCount());
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    if (block != document()->begin()) {
      const Break kind = BreakBefore(block);
      if (kind != Break::kNothing)
        engineText_ += kind == Break::kCrLf ? kCrLf : QStringLiteral("\n");
    }
    engineText_ += BlockText(block);
  }
  engineTextKnown_ = true;
  return engineText_;
}

void SubjectEdit::setEngineText(const QString& text) {
  QTextCursor cursor(document());
  cursor.beginEditBlock();
  cursor.select(QTextCursor::Document);
  cursor.removeSelectedText();
  setTextCursor(cursor);
  insertEngineText(text);
  cursor.endEditBlock();
  moveCursor(QTextCursor::Start);
}

void SubjectEdit::insertEngineText(const QString& text) {
  QTextCursor cursor = textCursor();
  cursor.beginEditBlock();
  cursor.removeSelectedText();
  const QTextCharFormat plain;
  // Text goes in by batches, each with paragraph separators for the breaks: the paragraphs
  // that one insertion makes take the format of the one that the cursor is in, so a batch holds
  // only breaks of the kind that stands before that paragraph. A megabyte of lines is then a
  // few insertions, not one for each line.
  QString batch;
  Break kind = BreakBefore(cursor.block());
  const auto flush = [&] {
    cursor.insertText(batch, plain);
    batch.clear();
  };
  const auto addBreak = [&](Break next) {
    if (next == kind) {
      batch += QChar::ParagraphSeparator;
      return;
    }
    flush();
    cursor.insertBlock(BreakFormat(next), plain);
    kind = next;
  };
  qsizetype paragraph = cursor.positionInBlock();  // characters in the paragraph so far
  qsizetype run = 0;                               // where the text not yet taken begins
  const auto take = [&](qsizetype end) {
    while (run < end) {
      const qsizetype cut = ParagraphEnd(text, run, end, kLongestParagraph - paragraph);
      batch += QStringView(text).sliced(run, cut - run);
      paragraph += cut - run;
      run = cut;
      if (run < end) {
        addBreak(Break::kNothing);
        paragraph = 0;
      }
    }
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    const bool crLf = c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
    if (crLf || c == u'\n') {
      take(i);
      addBreak(crLf ? Break::kCrLf : Break::kLf);
      paragraph = 0;
      i += crLf ? 1 : 0;
      run = i + 1;
    } else if (NeedsMarker(c)) {
      take(i);
      flush();
      cursor.insertText(QString(QChar::ObjectReplacementCharacter), MarkerFormat(c));
      ++paragraph;
      run = i + 1;
    }
  }
  take(text.size());
  flush();
  cursor.endEditBlock();
  setTextCursor(cursor);
}

const std::vector<SubjectEdit::Shift>& SubjectEdit::Shifts() const {
  if (shiftsKnown_) return shifts_;
  shifts_.clear();
  qsizetype shift = 0;  // engine position minus document position, so far
  for (QTextBlock block = document()->begin().next(); block.isValid(); block = block.next()) {
    const Break kind = BreakBefore(block);
    if (kind == Break::kLf) continue;
    const int at = block.position() - 1;
    shifts_.push_back({at, at + shift, kind == Break::kCrLf});
    shift += kind == Break::kCrLf ? 1 : -1;
  }
  shiftsKnown_ = true;
  return shifts_;
}

qsizetype SubjectEdit::enginePosition(int documentPosition) const {
  const std::vector<Shift>& shifts = Shifts();
  // The last break before the position.
  const auto after = std::partition_point(
      shifts.begin(), shifts.end(), [&](const Shift& s) { return s.document < documentPosition; });
  if (after == shifts.begin()) return documentPosition;
  const Shift& s = *(after - 1);
  return s.engine + (s.crLf ? 2 : 0) + (documentPosition - s.document - 1);
}

int SubjectEdit::documentPosition(qsizetype enginePosition, bool end) const {
  const std::vector<Shift>& shifts = Shifts();
  // The last break that starts before the position (or at it, for a start).
  const auto after = std::partition_point(shifts.begin(), shifts.end(), [&](const Shift& s) {
    return end ? s.engine < enginePosition : s.engine <= enginePosition;
  });
  qsizetype position = enginePosition;
  if (after != shifts.begin()) {
    const Shift& s = *(after - 1);
    const qsizetype past = enginePosition - s.engine;  // into or beyond the break
    if (s.crLf && past < 2) {
      position = s.document + (end && past == 1 ? 1 : 0);
    } else {
      position = s.document + 1 + past - (s.crLf ? 2 : 0);
    }
  }
  return static_cast<int>(std::clamp<qsizetype>(position, 0, document()->characterCount() - 1));
}

std::pair<qsizetype, qsizetype> SubjectEdit::visibleRange() const {
  QTextBlock block = firstVisibleBlock();
  const int first = block.position();
  int last = first;
  const qreal bottom = viewport()->height();
  const QPointF offset = contentOffset();
  for (; block.isValid(); block = block.next()) {
    last = block.position() + block.length() - 1;
    if (blockBoundingGeometry(block).translated(offset).bottom() >= bottom) break;
  }
  return {enginePosition(first), enginePosition(last)};
}

void SubjectEdit::setMarks(const QList<Mark>& marks) {
  marks_ = marks;
  viewport()->update();
}

QList<QRect> SubjectEdit::markArea(const Mark& mark) const {
  const int from = documentPosition(mark.start, false);
  if (mark.end <= mark.start) {
    QTextCursor cursor(document());
    cursor.setPosition(from);
    const QRect place = cursorRect(cursor);
    // Wide enough to see, centred on the place between the two characters.
    const int width = std::max(2, fontMetrics().averageCharWidth() / 4);
    return {QRect(place.center().x() - width / 2, place.top(), width, place.height())};
  }
  const int to = documentPosition(mark.end, true);
  QList<QRect> area;
  const QPointF offset = contentOffset();
  // Only the blocks in view are laid out, and only they are painted.
  QTextBlock block = document()->findBlock(from);
  if (block.blockNumber() < firstVisibleBlock().blockNumber()) block = firstVisibleBlock();
  for (; block.isValid() && block.position() < to; block = block.next()) {
    const QRectF bounds = blockBoundingGeometry(block).translated(offset);
    if (bounds.top() > viewport()->height()) break;
    const QTextLayout* layout = block.layout();
    const QPointF origin = bounds.topLeft() + layout->position();
    const int first = std::max(from - block.position(), 0);
    const int last = to - block.position();  // past the block's text: its break is marked too
    for (int i = 0; i < layout->lineCount(); ++i) {
      const QTextLine line = layout->lineAt(i);
      const int lineEnd = line.textStart() + line.textLength();
      if (lineEnd < first || line.textStart() >= last) continue;
      if (lineEnd == first && lineEnd < block.length() - 1) continue;
      const qreal left = line.cursorToX(std::max(first, line.textStart()));
      qreal right = line.cursorToX(std::min(last, lineEnd));
      if (last > lineEnd && i == layout->lineCount() - 1) right += fontMetrics().averageCharWidth();
      area << QRectF(origin.x() + left, origin.y() + line.y(), right - left, line.height())
                  .toAlignedRect();
    }
  }
  return area;
}

int SubjectEdit::loneLineFeeds(const QString& text) {
  int count = 0;
  for (qsizetype i = 0; i < text.size(); ++i)
    count += text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r') ? 1 : 0;
  return count;
}

int SubjectEdit::readLineFeedsAsCrLf(qsizetype from, qsizetype to) {
  const int first = documentPosition(from, false);
  const int last = documentPosition(to, true);
  QTextCursor cursor(document());
  cursor.beginEditBlock();
  int count = 0;
  for (QTextBlock block = document()->findBlock(first).next();
       block.isValid() && block.position() <= last; block = block.next()) {
    if (BreakBefore(block) != Break::kLf) continue;
    cursor.setPosition(block.position());
    cursor.setBlockFormat(BreakFormat(Break::kCrLf));
    ++count;
  }
  cursor.endEditBlock();
  return count;
}

bool SubjectEdit::EraseBreakThatStandsForNothing(bool backwards) {
  QTextCursor cursor = textCursor();
  const auto atSuchBreak = [&] {
    if (backwards)
      return cursor.atBlockStart() && !cursor.atStart() &&
             BreakBefore(cursor.block()) == Break::kNothing;
    return cursor.atBlockEnd() && cursor.block().next().isValid() &&
           BreakBefore(cursor.block().next()) == Break::kNothing;
  };
  if (cursor.hasSelection() || !atSuchBreak()) return false;
  // Such a break is no character to the user: the key erases the character beyond it.
  cursor.beginEditBlock();
  while (atSuchBreak())
    backwards ? cursor.deletePreviousChar() : cursor.deleteChar();
  if (backwards ? !cursor.atStart() : !cursor.atEnd())
    backwards ? cursor.deletePreviousChar() : cursor.deleteChar();
  cursor.endEditBlock();
  setTextCursor(cursor);
  return true;
}

void SubjectEdit::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    insertEngineText(kCrLf);
    return;
  }
  if (enter && event->modifiers() == Qt::ShiftModifier) {
    insertEngineText(QStringLiteral("\n"));
    return;
  }
  if (event->modifiers() == Qt::NoModifier && !isReadOnly() &&
      ((event->key() == Qt::Key_Backspace && EraseBreakThatStandsForNothing(true)) ||
       (event->key() == Qt::Key_Delete && EraseBreakThatStandsForNothing(false)))) {
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void SubjectEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu(event->pos());
  if (!isReadOnly()) {
    menu->addSeparator();
    for (const auto& [caption, text] :
         {std::pair{tr("Insert a lone &LF\tShift+Enter"), QStringLiteral("\n")},
          std::pair{tr("Insert a lone &CR"), QStringLiteral("\r")},
          std::pair{tr("Insert a &tab"), QStringLiteral("\t")}}) {
      connect(menu->addAction(caption), &QAction::triggered, this,
              [this, text] { insertEngineText(text); });
    }
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

// The marks' backgrounds go under the text and the bars of empty marks over it. The text
// keeps the palette's colour, which each mark's colour is chosen to keep readable.
void SubjectEdit::paintEvent(QPaintEvent* event) {
  {
    QPainter under(viewport());
    for (const Mark& mark : marks_) {
      if (mark.end <= mark.start) continue;
      for (const QRect& rect : markArea(mark))
        under.fillRect(rect, mark.colour);
    }
  }
  QPlainTextEdit::paintEvent(event);
  QPainter over(viewport());
  PaintLineEnds(over, event->rect());
  for (const Mark& mark : marks_) {
    if (mark.end <= mark.start) over.fillRect(markArea(mark).front(), mark.colour.darker(150));
  }
}

// A pilcrow after each line that a CR LF ends, an "LF" box after each that a lone LF ends.
void SubjectEdit::PaintLineEnds(QPainter& painter, const QRect& area) {
  const QColor colour = palette().color(QPalette::PlaceholderText);
  const QPointF offset = contentOffset();
  for (QTextBlock block = firstVisibleBlock(); block.isValid() && block.next().isValid();
       block = block.next()) {
    const QRectF bounds = blockBoundingGeometry(block).translated(offset);
    if (bounds.top() > area.bottom()) break;
    const Break kind = BreakBefore(block.next());
    if (kind == Break::kNothing) continue;
    QTextCursor end(block);
    end.movePosition(QTextCursor::EndOfBlock);
    const QRect place = cursorRect(end);
    const QFontMetricsF metrics(font());
    if (kind == Break::kCrLf) {
      painter.setPen(colour);
      painter.setFont(font());
      painter.drawText(QPointF(place.center().x() + 1, place.top() + metrics.ascent()),
                       QStringLiteral("\u00B6"));
    } else {
      const QString name = quarn::demo::CharacterName(u'\n');
      DrawNameBox(
          &painter,
          QRectF(place.center().x() + 1, place.top(), NameBoxWidth(name, font()), metrics.height()),
          name, font(), colour);
    }
  }
}

void SubjectEdit::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  emit visibleRangeChanged();
}

QMimeData* SubjectEdit::createMimeDataFromSelection() const {
  const QTextCursor cursor = textCursor();
  const qsizetype from = enginePosition(cursor.selectionStart());
  auto* data = new QMimeData;
  data->setText(engineText().mid(from, enginePosition(cursor.selectionEnd()) - from));
  return data;
}

bool SubjectEdit::canInsertFromMimeData(const QMimeData* source) const {
  return source->hasText();
}

void SubjectEdit::insertFromMimeData(const QMimeData* source) {
  const QString text = source->text();
  const int from = textCursor().selectionStart();
  insertEngineText(text);
  const int lone = loneLineFeeds(text);
  if (lone > 0)
    emit loneLineFeedsPasted(lone, enginePosition(from), enginePosition(textCursor().position()));
}

#include "subjectedit.moc"
