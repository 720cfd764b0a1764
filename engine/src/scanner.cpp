// Pattern scanning: cuts the next atom and its quantifier off the front of a pattern, and
// finds the extent of a group, a bracket expression or a brace quantifier.
//
// Every stage (group preprocessing, the alternation splitter, the matcher) uses these same
// finders, so that all of them agree on where a group or a bracket expression ends. Nothing
// here gives a group marker any meaning; only StripGroupMarkers, which builds the text shown
// in error messages, drops them.
#include "internal.h"

namespace quarn {

namespace {

bool IsRepeatQuantifier(char16_t c) {
  return c == u'*' || c == u'+' || c == u'?';
}

// Cuts the first n characters off text and returns them.
std::u16string_view Cut(std::u16string_view& text, size_t n) {
  const std::u16string_view piece = text.substr(0, n);
  text.remove_prefix(piece.size());
  return piece;
}

}  // namespace

std::u16string_view GetNextQuarn(std::u16string_view& pattern, std::u16string_view& quantifier) {
  std::u16string_view atom;
  switch (pattern.empty() ? u'\0' : pattern.front()) {
    case u'\\':
      atom = Cut(pattern, 2);
      break;
    case u'(':
      atom = GetParentheses(pattern);
      break;
    case u'[':
      atom = GetSquareBrackets(pattern);
      break;
    default:
      atom = Cut(pattern, 1);
  }
  quantifier = {};
  if (StartsWithQuantifier(pattern)) {
    quantifier = GetQuantifier(pattern);
    // Only one quantifier may follow an atom; "a**" or "a{2}?*" is a pattern error.
    if (StartsWithQuantifier(pattern)) {
      RaiseEngineError(u"Nested +?*{} in regular expression.", errSyntax, u"GetNextQuarn");
    }
  }
  return atom;
}

std::u16string_view GetQuantifier(std::u16string_view& pattern) {
  if (!pattern.empty() && IsRepeatQuantifier(pattern[0])) {
    return Cut(pattern, pattern.size() > 1 && pattern[1] == u'?' ? 2 : 1);
  }
  if (!pattern.empty() && pattern[0] == u'{') {
    const std::u16string_view braces = GetCurlyBrackets(pattern);
    if (braces.empty() || !pattern.starts_with(u'?')) return braces;
    pattern.remove_prefix(1);
    return {braces.data(), braces.size() + 1};  // the lazy "?" follows the braces directly
  }
  RaiseEngineError(u"Internal error", errInternal, u"GetQuantifier");
}

bool StartsWithQuantifier(std::u16string_view text) {
  if (text.empty()) return false;
  if (IsRepeatQuantifier(text[0])) return true;
  // A "{" counts only when a "}" follows somewhere: "a{" is "a" followed by a literal "{".
  return !GetCurlyBrackets(text).empty();
}

std::u16string_view GetCurlyBrackets(std::u16string_view& pattern) {
  if (!pattern.starts_with(u'{')) return {};
  const size_t close = pattern.find(u'}');
  // The search looks at every position up to the "}" (or to the end when there is none).
  CheckPosition16(close == std::u16string_view::npos ? pattern.size() : close + 1,
                  u"GetCurlyBrackets");
  if (close == std::u16string_view::npos) return {};
  return Cut(pattern, close + 1);
}

std::u16string_view GetParentheses(std::u16string_view& pattern) {
  if (!pattern.starts_with(u'(')) return {};
  int depth = 0;
  bool inBrackets = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    CheckPosition16(i + 1, u"GetParentheses");
    switch (pattern[i]) {
      case u'[':
        inBrackets = true;
        break;
      case u']':
        inBrackets = false;
        break;
      case u'\\':
        ++i;  // an escaped character never opens, closes or ends anything
        break;
      case u'(':
        if (!inBrackets) ++depth;
        break;
      case u')':
        if (!inBrackets) --depth;
        break;
      default:
        break;
    }
    if (depth == 0) return Cut(pattern, i + 1);
  }
  return {};
}

std::u16string_view GetSquareBrackets(std::u16string_view& pattern) {
  if (!pattern.starts_with(u'[')) return {};
  // A "]" right after "[" or "[^" is a member of the list, not its end.
  const size_t firstClose = pattern.size() > 1 && pattern[1] == u'^' ? 3 : 2;
  for (size_t i = 1; i < pattern.size(); ++i) {
    CheckPosition16(i + 1, u"GetSquareBrackets");
    if (pattern[i] == u']' && i >= firstClose) return Cut(pattern, i + 1);
    if (pattern[i] == u'\\') ++i;
  }
  return {};
}

std::u16string StripGroupMarkers(std::u16string_view text) {
  std::u16string shown;
  while (!text.empty()) {
    const char16_t c = text[0];
    if (c == u'[') {
      const std::u16string_view brackets = GetSquareBrackets(text);
      shown += brackets.empty() ? Cut(text, 1) : brackets;
    } else if (c == u'\\') {
      shown += Cut(text, 2);  // the character after a backslash is kept, whatever its code
    } else if (c >= 1 && c <= 31) {
      text.remove_prefix(1);
    } else {
      shown += Cut(text, 1);
    }
  }
  return shown;
}

}  // namespace quarn
