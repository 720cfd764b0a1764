#include "patternedit.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>

PatternEdit::PatternEdit(QWidget* parent) : QLineEdit(parent) {
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setClearButtonEnabled(true);
}

int PatternEdit::characterCentre(int position) const {
  // QLineEdit tells only where its cursor is drawn; the other places follow from the text's
  // advance between them.
  const QFontMetricsF metrics(font());
  const QString shown = displayText();
  const QRect cursor = cursorRect();  // centred on the cursor's place
  const qreal origin =
      cursor.left() + cursor.width() / 2 - metrics.horizontalAdvance(shown.left(cursorPosition()));
  const qreal width = position < shown.size() ? metrics.horizontalAdvance(shown.at(position))
                                              : metrics.averageCharWidth();
  return qRound(origin + metrics.horizontalAdvance(shown.left(position)) + width / 2);
}

ErrorCaret::ErrorCaret(PatternEdit* pattern, QWidget* parent) : QWidget(parent), pattern_(pattern) {
  setAccessibleName(tr("Error position"));
  // A wrapping error text below must not squeeze the caret away.
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  // Scrolling the pattern moves the place the caret points at.
  connect(pattern, &QLineEdit::cursorPositionChanged, this, qOverload<>(&QWidget::update));
  connect(pattern, &QLineEdit::textChanged, this, qOverload<>(&QWidget::update));
}

void ErrorCaret::pointAt(std::optional<int> position) {
  position_ = position;
  setAccessibleDescription(position ? tr("Position %1 in the pattern").arg(*position + 1)
                                    : QString());
  setToolTip(accessibleDescription());
  update();
}

int ErrorCaret::tipInPattern() const {
  return position_ ? pattern_->characterCentre(*position_) : -1;
}

QSize ErrorCaret::sizeHint() const {
  return {0, fontMetrics().height() / 2 + 4};
}

void ErrorCaret::paintEvent(QPaintEvent*) {
  if (!position_) return;
  const int x = mapFromGlobal(pattern_->mapToGlobal(QPoint(tipInPattern(), 0))).x();
  const qreal half = height() / 2.0;
  QPainterPath caret;
  caret.moveTo(x, 1);
  caret.lineTo(x + half, height() - 1);
  caret.lineTo(x - half, height() - 1);
  caret.closeSubpath();
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(caret, palette().color(QPalette::WindowText));
}

ErrorText::ErrorText(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  hide();
}

void ErrorText::setReport(const QString& text) {
  setText(text);
  setVisible(!text.isEmpty());
  FitHeight();
}

void ErrorText::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  FitHeight();
}

void ErrorText::FitHeight() {
  setMinimumHeight(text().isEmpty() ? 0 : heightForWidth(width()));
}
