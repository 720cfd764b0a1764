// The workbench's colours, derived from the widget's palette so that they suit a light and a
// dark theme alike: backgrounds that the palette's own text colour stays readable on, and
// text colours readable on the palette's backgrounds.
#pragma once

#include <QColor>
#include <QPalette>

namespace quarn::demo {

// The contrast ratio of two colours as WCAG defines it, from 1 to 21.
double Contrast(const QColor& a, const QColor& b);

// The background of the whole match (group 0) or of group n in the subject; alternate
// matches differ in shade so that adjacent ones can be told apart.
QColor GroupColour(const QPalette& palette, int group, int match = 0);

// A text colour of the given hue for messages on the palette's window background.
QColor InkColour(const QPalette& palette, int hue);

inline constexpr int kRedHue = 0;
inline constexpr int kGreenHue = 120;
inline constexpr int kAmberHue = 35;

}  // namespace quarn::demo
