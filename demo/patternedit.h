// The workbench's pattern field, the caret under it that points at the place in the pattern
// where the engine found a fault, and the engine's report below.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include <optional>

class PatternEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit PatternEdit(QWidget* parent = nullptr);

  // The horizontal centre of the character at position (or of the place after the last one),
  // in this widget's coordinates, as the text is scrolled now.
  int characterCentre(int position) const;
};

class ErrorCaret : public QWidget {
  Q_OBJECT

 public:
  explicit ErrorCaret(PatternEdit* pattern, QWidget* parent = nullptr);

  // The 0-based position in the pattern to point at; none hides the caret.
  void pointAt(std::optional<int> position);
  std::optional<int> position() const { return position_; }
  // The caret's tip, in the pattern field's coordinates.
  int tipInPattern() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  PatternEdit* pattern_;
  std::optional<int> position_;
};

// The report wraps, and keeps the height of all its lines: the window's layout gives it only
// the height it prefers at some other width.
class ErrorText : public QLabel {
  Q_OBJECT

 public:
  explicit ErrorText(QWidget* parent = nullptr);

  // Shows text as it stands; an empty text hides the report.
  void setReport(const QString& text);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FitHeight();
};
