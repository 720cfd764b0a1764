// Bracket expressions: whether the current character (or the CR LF that begins there) is a
// member of a list such as "[a-z_]" or "[^\n]", consuming it when it is.
//
// The list is read afresh, left to right, on every call, and reading stops at the first
// member that matches; so a faulty range is only reported when the reading reaches it.
#include "reference_internal.h"

namespace quarn::reference {

namespace {

// One member of a list: a character, or the line break that "\n" and "\N" stand for.
struct Member {
  char16_t character;
  bool lineBreak;
};

// Reads the member at index i (a character, or a backslash and the character after it) and
// moves i past it. A backslash that ends the list is the backslash itself.
Member ReadMember(std::u16string_view list, size_t& i, bool fold) {
  CheckPosition16(i + 1, u"MatchSquareBrackets");
  char16_t c = list[i++];
  if (c == u'\\' && i < list.size()) {
    CheckPosition16(i + 1, u"MatchSquareBrackets");
    c = list[i++];
    if (c == u'n' || c == u'N') return {u'\n', true};
  }
  return {fold ? LowerCase(c) : c, false};
}

}  // namespace

bool MatchSquareBrackets(std::u16string_view& remaining, std::u16string_view bracketText) {
  std::u16string_view list = bracketText.substr(1, bracketText.size() - 2);
  const bool negated = list.starts_with(u'^');
  if (negated) list.remove_prefix(1);
  // At the end of the subject nothing matches, a negated list included.
  if (remaining.empty()) return false;

  const bool fold = (State.Options & reIgnoreCase) != 0;
  const char16_t c1 = fold ? LowerCase(remaining[0]) : remaining[0];
  const bool atLineBreak = remaining.starts_with(kLineBreak);
  bool matched = false;
  size_t count = 1;
  for (size_t i = 0; i < list.size() && !matched;) {
    const Member m = ReadMember(list, i, fold);
    if (i + 1 < list.size() && list[i] == u'-') {
      ++i;
      const Member end = ReadMember(list, i, fold);
      if (m.lineBreak || end.lineBreak) {
        RaiseEngineError(
            u"Range start or end longer than 1 character: [" + StripGroupMarkers(list) + u"]",
            errQuantifier, u"MatchSquareBrackets");
      }
      if (m.character > end.character) {
        RaiseEngineError(u"Invalid range in regular expression [" + std::u16string(list) + u"]",
                         errQuantifier, u"MatchSquareBrackets");
      }
      matched = m.character <= c1 && c1 <= end.character;
    } else if (m.lineBreak) {
      if (atLineBreak) {
        matched = true;
        count = 2;
      }
    } else {
      matched = c1 == m.character;
    }
  }
  // A negated list that matches takes one character, even the CR of a CR LF.
  if (negated) {
    matched = !matched;
    count = 1;
  }
  if (matched) remaining.remove_prefix(count);
  return matched;
}

}  // namespace quarn::reference
