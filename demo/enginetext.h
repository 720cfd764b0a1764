// The engine's UTF-16 text as Qt's and back, unit for unit, for the windows and their tests.
#pragma once

#include <QString>
#include <QStringView>

#include <string>
#include <string_view>

namespace quarn::demo {

// Unlike QString::fromUtf16(), keeps a U+FEFF at the start: the engine's texts are shown as
// they are.
inline QString ToQString(std::u16string_view text) {
  return QStringView(text.data(), static_cast<qsizetype>(text.size())).toString();
}

inline std::u16string ToEngine(const QString& text) {
  return text.toStdU16String();
}

// text as the engine's, without a copy; valid while text lives unchanged.
inline std::u16string_view EngineView(const QString& text) {
  return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())};
}

}  // namespace quarn::demo
