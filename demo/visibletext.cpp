#include "visibletext.h"

namespace quarn::demo {

QString CharacterName(char16_t c) {
  static const char* const kControls[] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                          "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                          "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                          "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
  if (c < 0x20) return QLatin1String(kControls[c]);
  if (c == 0x7F) return QStringLiteral("DEL");
  if (c == 0x2028) return QStringLiteral("LS");
  if (c == 0x2029) return QStringLiteral("PS");
  return QStringLiteral("U+%1").arg(int{c}, 4, 16, QLatin1Char('0')).toUpper();
}

bool IsInvisible(char16_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

QString VisibleText(const QString& text) {
  QString shown;
  for (const QChar c : text) {
    if (IsInvisible(c.unicode())) {
      shown += u'<' + CharacterName(c.unicode()) + u'>';
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace quarn::demo
