// Escape expansion, the first rewriting of a pattern: class escapes become bracket
// expressions (or bare member lists inside an open one), character escapes become the
// character they name, "\Q".."\E" becomes literal characters, and raw control characters get
// a protecting backslash. Escapes with a meaning of their own to a later stage ("\n", "\b",
// "\A", "\Z", back references, escaped punctuation) pass through unchanged.
//
// A protecting backslash makes the following character literal, so it is never put in front
// of a letter or a digit: those always come out bare. After this stage the only bare
// characters with codes 1 to 31 are those inside the "\s" lists, which group preprocessing
// relies on: its markers are exactly such characters.
#include "rewrite.h"
#include "scanner.h"
#include "text.h"

namespace quarn {

namespace {

// "\W" is "^" followed by the "\w" list: a-z, A-Z, 0-9, "_", U+0080 and U+00FF, the last two
// being two single members and not a range.
constexpr std::u16string_view kNonWordList = u"^a-zA-Z0-9_\u0080\u00FF";
// " \n" is the line-break member, then TAB, CR and LF.
constexpr std::u16string_view kNonSpaceList = u"^ \\n\t\r\n";
constexpr std::u16string_view kNonDigitList = u"^0-9";

// The list of a class escape letter, or "" when the letter is not one.
std::u16string_view ClassList(char16_t letter) {
  switch (letter) {
    case u'w':
      return kNonWordList.substr(1);
    case u'W':
      return kNonWordList;
    case u'd':
      return kNonDigitList.substr(1);
    case u'D':
      return kNonDigitList;
    case u's':
      return kNonSpaceList.substr(1);
    case u'S':
      return kNonSpaceList;
    default:
      return {};
  }
}

bool IsAsciiLetterOrDigit(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::u16string Protected(char16_t c) {
  return {u'\\', c};
}

// The control character that "\t", "\f" (form feed), "\r", "\a" or "\e" names.
char16_t NamedControl(char16_t letter) {
  switch (letter) {
    case u't':
      return u'\t';
    case u'f':
      return u'\f';
    case u'r':
      return u'\r';
    case u'a':
      return u'\a';
    default:
      return u'\x1B';
  }
}

struct Scan {
  std::u16string_view pattern;
  size_t next = 0;  // index of the next character to handle
  bool literal = false;
  bool inBrackets = false;
  std::u16string out;

  size_t Left() const { return pattern.size() - next; }
  char16_t At(size_t offset) const { return pattern[next + offset]; }
  // Uses up n characters; positions past 32767 do not fit the 16-bit position.
  void Use(size_t n) {
    next += n;
    CheckPosition16(next, u"ExpandEspaces");
  }
};

// "\c" and a character X: the control character of (upper-cased X) - 64.
void ExpandControl(Scan& s) {
  if (s.Left() < 3) {
    RaiseAt(u"Control character missing in regular expression: " + StripGroupMarkers(s.pattern),
            errSyntax, u"ExpandEspaces", s.next);
  }
  char16_t x = s.At(2);
  if (x >= u'a' && x <= u'z') x -= u'a' - u'A';
  if (x < 64 || x > 64 + 31) {
    RaiseAt(u"Invalid control character in regular expression: " + StripGroupMarkers(s.pattern),
            errSyntax, u"ExpandEspaces", s.next);
  }
  s.out += Protected(static_cast<char16_t>(x - 64));
  s.Use(3);
}

// "\0" and up to three octal digits; "\0" alone is code 0.
void ExpandOctal(Scan& s) {
  size_t digits = 0;
  while (digits < 3 && s.Left() > 2 + digits && s.At(2 + digits) >= u'0' &&
         s.At(2 + digits) <= u'7') {
    ++digits;
  }
  int value = 0;
  for (size_t k = 0; k < digits; ++k)
    value = value * 8 + (s.At(2 + k) - u'0');
  if (value > 255) {
    RaiseAt(u"Invalid octal value in regular expression \\0" +
                std::u16string(s.pattern.substr(s.next + 2, digits)),
            errSyntax, u"ExpandEspaces", s.next);
  }
  s.out += EscapeCharCode(static_cast<uint8_t>(value));
  s.Use(2 + digits);
}

// "\x" and one or two hexadecimal digits; "\x" without one is a bare "x".
void ExpandHex(Scan& s) {
  size_t digits = 0;
  int value = 0;
  while (digits < 2 && s.Left() > 2 + digits && HexValue(s.At(2 + digits)) >= 0) {
    value = value * 16 + HexValue(s.At(2 + digits));
    ++digits;
  }
  s.out += digits == 0 ? std::u16string(u"x") : EscapeCharCode(static_cast<uint8_t>(value));
  s.Use(2 + digits);
}

// A class escape is a whole bracket expression, or inside an open one its bare list.
void ExpandClass(Scan& s, std::u16string_view list) {
  if (s.inBrackets) {
    s.out += list;
  } else {
    ((s.out += u'[') += list) += u']';
  }
  s.Use(2);
}

// The backslash at s.next, outside "\Q".."\E".
void ExpandEscape(Scan& s) {
  if (s.Left() == 1) {
    s.out += u'\\';  // a pattern that ends in a backslash keeps it
    s.Use(1);
    return;
  }
  const char16_t e = s.At(1);
  if (const std::u16string_view list = ClassList(e); !list.empty()) return ExpandClass(s, list);
  switch (e) {
    case u'c':
      return ExpandControl(s);
    case u'0':
      return ExpandOctal(s);
    case u'x':
      return ExpandHex(s);
    case u't':
    case u'f':
    case u'r':
    case u'a':
    case u'e':
      s.out += Protected(NamedControl(e));
      break;
    case u'Q':
      s.literal = true;
      break;
    case u'b':
      // Inside brackets "\b" is backspace; outside it is the word boundary.
      s.out += s.inBrackets ? Protected(u'\b') : std::u16string(u"\\b");
      break;
    default:
      s.out += s.pattern.substr(s.next, 2);
  }
  s.Use(2);
}

// One character inside "\Q".."\E": everything but letters and digits is protected.
void ExpandLiteral(Scan& s) {
  const char16_t c = s.At(0);
  if (c == u'\\' && s.Left() > 1 && s.At(1) == u'E') {
    s.literal = false;
    s.Use(2);
    return;
  }
  if (IsAsciiLetterOrDigit(c) || (c >= 128 && c <= 255)) {
    s.out += c;
  } else {
    s.out += Protected(c);
  }
  s.Use(1);
}

void ExpandNormal(Scan& s) {
  const char16_t c = s.At(0);
  if (c == u'\\') return ExpandEscape(s);
  if (c <= 31) {
    s.out += Protected(c);
  } else {
    if (c == u'[') s.inBrackets = true;
    if (c == u']') s.inBrackets = false;
    s.out += c;
  }
  s.Use(1);
}

}  // namespace

std::u16string EscapeCharCode(uint8_t code) {
  const char16_t c = code;
  if (IsAsciiLetterOrDigit(c) || c >= 128) return std::u16string(1, c);
  return Protected(c);
}

std::u16string ExpandEspaces(std::u16string_view pattern, std::vector<uint32_t>* origin,
                             std::vector<uint32_t>* end) {
  Scan s;
  s.pattern = pattern;
  while (s.Left() > 0) {
    CheckPosition16(s.next + 1, u"ExpandEspaces");
    const uint32_t at = static_cast<uint32_t>(s.next);
    if (s.literal) {
      ExpandLiteral(s);
    } else {
      ExpandNormal(s);
    }
    if (origin != nullptr) origin->resize(s.out.size(), at);
    if (end != nullptr) end->resize(s.out.size(), static_cast<uint32_t>(s.next));
  }
  return std::move(s.out);
}

}  // namespace quarn
