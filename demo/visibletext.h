// Names for the characters that do not show when text is drawn: control characters and the
// Unicode line and paragraph separators. The subject editor labels its markers with them,
// and lists show text with each such character as its name in angle brackets.
#pragma once

#include <QString>

namespace quarn::demo {

// "LF", "CR", "NUL", ..., "DEL", "LS", "PS", or "U+XXXX" for the rest.
QString CharacterName(char16_t c);

// Whether text cannot show c as it is.
bool IsInvisible(char16_t c);

// text with every invisible character as its name in angle brackets: "a<CR><LF>b".
QString VisibleText(const QString& text);

}  // namespace quarn::demo
