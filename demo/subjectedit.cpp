// The markers are inline objects of a format of their own that keeps the code unit they stand
// for; the engine's text is read back from the document fragment by fragment.
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
const QString kCrLf = QStringLiteral("\r\n");

// Characters that a document turns into paragraph breaks, lays out as line breaks or does
// not show at all. A tab shows as space and stays text.
bool NeedsMarker(char16_t c) {
  return (quarn::demo::IsInvisible(c) && c != u'\t') || c == 0xFDD0 || c == 0xFDD1 ||
         c == QChar::ObjectReplacementCharacter;
}

// Draws the markers: each one's name, small, in a box of the placeholder colour.
class MarkerPainter : public QObject, public QTextObjectInterface {
  Q_OBJECT
  Q_INTERFACES(QTextObjectInterface)

 public:
  explicit MarkerPainter(QWidget* editor) : QObject(editor), editor_(editor) {}

  QSizeF intrinsicSize(QTextDocument* document, int, const QTextFormat& format) override {
    const QFontMetricsF metrics(LabelFont(document));
    const QFontMetricsF text(document->defaultFont());
    return {metrics.horizontalAdvance(Label(format)) + 6, text.height()};
  }

  void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int,
                  const QTextFormat& format) override {
    const QColor colour = editor_->palette().color(QPalette::PlaceholderText);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(colour);
    painter->drawRoundedRect(rect.adjusted(1, 2, -1, -2), 2, 2);
    painter->setFont(LabelFont(document));
    painter->drawText(rect, Qt::AlignCenter, Label(format));
    painter->restore();
  }

 private:
  static QString Label(const QTextFormat& format) {
    return quarn::demo::CharacterName(static_cast<char16_t>(format.intProperty(kMarkerCode)));
  }
  static QFont LabelFont(const QTextDocument* document) {
    QFont font = document->defaultFont();
    font.setPointSizeF(font.pointSizeF() * 0.8);
    return font;
  }

  QWidget* editor_;
};

QTextCharFormat MarkerFormat(char16_t c) {
  QTextCharFormat format;
  format.setObjectType(kMarkerObject);
  format.setProperty(kMarkerCode, int{c});
  return format;
}

// The engine's text of the document from position from to position to.
QString EngineText(const QTextDocument* document, int from, int to) {
  QString text;
  for (QTextBlock block = document->findBlock(from); block.isValid() && block.position() < to;
       block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      const int first = std::max(from, fragment.position());
      const int last = std::min(to, fragment.position() + fragment.length());
      if (first >= last) continue;
      const bool marker = fragment.charFormat().objectType() == kMarkerObject;
      const QChar code(static_cast<char16_t>(fragment.charFormat().intProperty(kMarkerCode)));
      for (const QChar c : fragment.text().mid(first - fragment.position(), last - first))
        text += marker && c == QChar::ObjectReplacementCharacter ? code : c;
    }
    const int separator = block.position() + block.length() - 1;
    if (block.next().isValid() && separator >= from && separator < to) text += kCrLf;
  }
  return text;
}

}  // namespace

SubjectEdit::SubjectEdit(QWidget* parent) : QTextEdit(parent) {
  setAcceptRichText(false);
  setTabChangesFocus(true);  // the whole window stays usable by keyboard
  setLineWrapMode(QTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  // Lines wrap; only a pilcrow at a line's very end could reach past the width.
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  document()->setDefaultFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  QTextOption option = document()->defaultTextOption();
  option.setFlags(option.flags() | QTextOption::ShowLineAndParagraphSeparators);
  document()->setDefaultTextOption(option);
  setTabStopDistance(QFontMetricsF(document()->defaultFont()).horizontalAdvance(u' ') * 4);
  document()->documentLayout()->registerHandler(kMarkerObject, new MarkerPainter(this));
}

QString SubjectEdit::engineText() const {
  return EngineText(document(), 0, document()->characterCount());
}

void SubjectEdit::setEngineText(const QString& text) {
  clear();
  insertEngineText(text);
  moveCursor(QTextCursor::Start);
}

void SubjectEdit::insertEngineText(const QString& text) {
  QTextCursor cursor = textCursor();
  cursor.beginEditBlock();
  const QTextCharFormat plain;
  qsizetype run = 0;  // where the text not yet inserted begins
  const auto flush = [&](qsizetype end) {
    if (end > run) cursor.insertText(text.mid(run, end - run), plain);
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      flush(i);
      cursor.insertBlock();
      run = ++i + 1;
    } else if (NeedsMarker(c)) {
      flush(i);
      cursor.insertText(QString(QChar::ObjectReplacementCharacter), MarkerFormat(c));
      run = i + 1;
    }
  }
  flush(text.size());
  cursor.endEditBlock();
  setTextCursor(cursor);
}

int SubjectEdit::documentPosition(qsizetype enginePosition, bool end) const {
  qsizetype engine = 0;  // where the block starts in the engine's text
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    const int textLength = block.length() - 1;
    if (enginePosition <= engine + textLength || !block.next().isValid()) {
      return block.position() +
             static_cast<int>(std::min<qsizetype>(enginePosition - engine, textLength));
    }
    if (enginePosition == engine + textLength + 1)
      return block.position() + textLength + (end ? 1 : 0);
    engine += textLength + 2;
  }
  return 0;
}

void SubjectEdit::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && event->modifiers() == Qt::ShiftModifier) {
    insertEngineText(QStringLiteral("\n"));
    return;
  }
  QTextEdit::keyPressEvent(event);
}

void SubjectEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu(event->pos());
  menu->addSeparator();
  for (const auto& [caption, text] :
       {std::pair{tr("Insert a lone &LF\tShift+Enter"), QStringLiteral("\n")},
        std::pair{tr("Insert a lone &CR"), QStringLiteral("\r")},
        std::pair{tr("Insert a &tab"), QStringLiteral("\t")}}) {
    connect(menu->addAction(caption), &QAction::triggered, this,
            [this, text] { insertEngineText(text); });
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

QMimeData* SubjectEdit::createMimeDataFromSelection() const {
  const QTextCursor cursor = textCursor();
  auto* data = new QMimeData;
  data->setText(EngineText(document(), cursor.selectionStart(), cursor.selectionEnd()));
  return data;
}

bool SubjectEdit::canInsertFromMimeData(const QMimeData* source) const {
  return source->hasText();
}

void SubjectEdit::insertFromMimeData(const QMimeData* source) {
  insertEngineText(source->text());
}

#include "subjectedit.moc"
