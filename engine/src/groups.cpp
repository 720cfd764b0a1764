// Group preprocessing, the second rewriting of a pattern: checks that every group and
// bracket expression is closed, drops comments, and writes the internal form that the
// matcher reads. A capturing group n becomes "(" + M + inside + M + ")" where M is the
// character of code n; "(?:...)" becomes a plain "(...)"; lookaheads keep their prefix.
//
// Groups are numbered in the order of their opening parentheses, so a group gets its number
// before the groups nested inside it. Checks run in the order of the text: a group's inside
// is rewritten, and checked, before what follows it.
#include "internal.h"

namespace quarn {

namespace {

[[noreturn]] void RaiseGroupError(std::u16string_view text) {
  RaiseEngineError(text, errSyntax, u"ProcessParentheses");
}

// Rewrites the group at the front of pattern onto result; `result` is what this level has
// built so far, which the unclosed-group message shows.
void ProcessGroup(std::u16string_view& pattern, std::u16string& result) {
  const std::u16string_view unclosed = pattern;
  const std::u16string_view group = GetParentheses(pattern);
  if (group.empty()) {
    RaiseGroupError(u"Invalid regular expression: A closing ) expected: " +
                    StripGroupMarkers(result + std::u16string(unclosed)));
  }
  if (group.starts_with(u"(?#")) return;

  std::u16string_view prefix;
  std::u16string marker;
  std::u16string_view inside;
  if (group.starts_with(u"(?:")) {
    inside = group.substr(3, group.size() - 4);
  } else if (group.starts_with(u"(?=") || group.starts_with(u"(?!")) {
    prefix = group.substr(1, 2);
    inside = group.substr(3, group.size() - 4);
  } else if (group[1] != u'?') {
    CreateMatch();
    marker = MakeGroupMarker(State.SubexpressionCount);
    inside = group.substr(1, group.size() - 2);
  } else {
    RaiseGroupError(u"Invalid extended regular expression syntax: " + std::u16string(group));
  }
  ((((result += u'(') += prefix) += marker) += ProcessParentheses(inside)) += marker;
  result += u')';
}

}  // namespace

std::u16string ProcessParentheses(std::u16string_view pattern) {
  std::u16string result;
  while (!pattern.empty()) {
    switch (pattern[0]) {
      case u'(':
        ProcessGroup(pattern, result);
        break;
      case u'\\': {
        const std::u16string_view pair = pattern.substr(0, 2);
        result += pair;
        pattern.remove_prefix(pair.size());
        break;
      }
      case u'[': {
        const std::u16string_view brackets = GetSquareBrackets(pattern);
        if (brackets.empty()) RaiseGroupError(u"Invalid regular expression: A closing ] expected.");
        result += brackets;
        break;
      }
      default:
        result += pattern[0];
        pattern.remove_prefix(1);
    }
  }
  return result;
}

void CreateMatch() {
  if (++State.SubexpressionCount > kMaxSubexpressions) {
    RaiseEngineError(u"Too many subexpressions in regular expression (max 31).", errSyntax,
                     u"CreateMatch");
  }
}

std::u16string MakeGroupMarker(int16_t n) {
  return std::u16string(1, static_cast<char16_t>(n));
}

}  // namespace quarn
