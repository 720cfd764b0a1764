// Group preprocessing, the second rewriting of a pattern: checks that every group and
// bracket expression is closed, drops comments, and writes the internal form that the
// matcher reads. A capturing group n becomes "(" + M + inside + M + ")" where M is the
// character of code n; "(?:...)" becomes a plain "(...)"; lookaheads keep their prefix.
//
// Groups are numbered in the order of their opening parentheses, so a group gets its number
// before the groups nested inside it. Checks run in the order of the text: a group's inside
// is rewritten, and checked, before what follows it.
#include <vector>

#include "rewrite.h"
#include "scanner.h"
#include "text.h"

namespace quarn {

namespace {

[[noreturn]] void RaiseGroupError(std::u16string_view text) {
  RaiseEngineError(text, errSyntax, u"ProcessParentheses");
}

// One level of nesting being rewritten: the group's inside that is left to read, what has
// been written of it so far, and what goes around it once it is done. The levels live on
// the heap, so that however deeply a pattern nests its groups the stack does not grow.
struct Level {
  std::u16string_view pattern;
  std::u16string result;
  std::u16string_view prefix;  // "?=" or "?!" for a lookahead
  std::u16string marker;       // the group number's character for a capturing group
};

// Reads the group at the front of the level's pattern: a comment is dropped, every other
// group opens a new level for its inside.
void OpenGroup(std::vector<Level>& levels, int16_t& count) {
  Level& level = levels.back();
  const std::u16string_view unclosed = level.pattern;
  const std::u16string_view group = GetParentheses(level.pattern);
  if (group.empty()) {
    RaiseGroupError(u"Invalid regular expression: A closing ) expected: " +
                    StripGroupMarkers(level.result + std::u16string(unclosed)));
  }
  if (group.starts_with(u"(?#")) return;

  Level inner;
  if (group.starts_with(u"(?:")) {
    inner.pattern = group.substr(3, group.size() - 4);
  } else if (group.starts_with(u"(?=") || group.starts_with(u"(?!")) {
    inner.prefix = group.substr(1, 2);
    inner.pattern = group.substr(3, group.size() - 4);
  } else if (group[1] != u'?') {
    // The number is taken before the inside is read, so nested groups come after.
    if (++count > kMaxSubexpressions) {
      RaiseEngineError(u"Too many subexpressions in regular expression (max 31).", errSyntax,
                       u"CreateMatch");
    }
    inner.marker = MakeGroupMarker(count);
    inner.pattern = group.substr(1, group.size() - 2);
  } else {
    RaiseGroupError(u"Invalid extended regular expression syntax: " + std::u16string(group));
  }
  levels.push_back(std::move(inner));
}

// Writes a finished inner level, with its parentheses, prefix and markers, into its parent.
void CloseGroup(std::vector<Level>& levels) {
  const Level inner = std::move(levels.back());
  levels.pop_back();
  std::u16string& result = levels.back().result;
  ((((result += u'(') += inner.prefix) += inner.marker) += inner.result) += inner.marker;
  result += u')';
}

// Copies what is not a group: an escaped pair, a whole bracket expression, one character.
void CopyPlain(Level& level) {
  std::u16string_view& pattern = level.pattern;
  if (pattern[0] == u'[') {
    const std::u16string_view brackets = GetSquareBrackets(pattern);
    if (brackets.empty()) RaiseGroupError(u"Invalid regular expression: A closing ] expected.");
    level.result += brackets;
    return;
  }
  const std::u16string_view piece = pattern.substr(0, pattern[0] == u'\\' ? 2 : 1);
  level.result += piece;
  pattern.remove_prefix(piece.size());
}

}  // namespace

std::u16string ProcessParentheses(std::u16string_view pattern, int16_t& count) {
  std::vector<Level> levels(1);
  levels[0].pattern = pattern;
  while (levels.size() > 1 || !levels[0].pattern.empty()) {
    Level& level = levels.back();
    if (level.pattern.empty()) {
      CloseGroup(levels);
    } else if (level.pattern[0] == u'(') {
      OpenGroup(levels, count);
    } else {
      CopyPlain(level);
    }
  }
  return std::move(levels[0].result);
}

std::u16string MakeGroupMarker(int16_t n) {
  return std::u16string(1, static_cast<char16_t>(n));
}

}  // namespace quarn
