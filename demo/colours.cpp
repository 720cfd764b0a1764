#include "colours.h"

#include <algorithm>
#include <cmath>

namespace quarn::demo {

namespace {

// WCAG's lowest contrast for normal text.
constexpr double kReadable = 4.5;

double Linear(double channel) {
  return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c) {
  return 0.2126 * Linear(c.redF()) + 0.7152 * Linear(c.greenF()) + 0.0722 * Linear(c.blueF());
}

bool IsDark(const QColor& c) {
  return Luminance(c) < 0.18;
}

// The colour of the given hue and saturation, starting at lightness and moving away from
// against until it reads on it (or cannot move further).
QColor Against(const QColor& against, int hue, double saturation, double lightness) {
  const double step = IsDark(against) ? 0.02 : -0.02;
  QColor colour = QColor::fromHslF(hue / 360.0f, saturation, lightness);
  while (Contrast(colour, against) < kReadable && lightness + step >= 0 && lightness + step <= 1) {
    lightness += step;
    colour = QColor::fromHslF(hue / 360.0f, saturation, lightness);
  }
  return colour;
}

}  // namespace

double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor GroupColour(const QPalette& palette, int group, int match) {
  // The match takes the palette's own highlight hue; the groups follow at the golden angle,
  // which keeps any few of them far apart on the colour wheel.
  const int highlightHue = palette.color(QPalette::Highlight).hslHue();
  const int hue = ((highlightHue < 0 ? 210 : highlightHue) + group * 137) % 360;
  const QColor text = palette.color(QPalette::Text);
  const double saturation = match % 2 == 0 ? 0.75 : 0.45;
  // Light tints under dark text, deep ones under light text.
  return Against(text, hue, saturation, IsDark(text) ? 0.82 : 0.28);
}

QColor InkColour(const QPalette& palette, int hue) {
  const QColor window = palette.color(QPalette::Window);
  return Against(window, hue, 0.8, IsDark(window) ? 0.7 : 0.35);
}

}  // namespace quarn::demo
