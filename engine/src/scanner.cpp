// Pattern scanning: cuts the next atom and its quantifier off the front of a pattern, and
// finds the extent of a group, a bracket expression or a brace quantifier.
//
// Every stage (group preprocessing, the alternation splitter, the matcher) uses these same
// finders, so that all of them agree on where a group or a bracket expression ends. Nothing
// here gives a group marker any meaning; only StripGroupMarkers, which builds the text shown
// in error messages, drops them.
#include "scanner.h"

#include <algorithm>

#include "text.h"

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
  const std::u16string_view atom = CutAtom(pattern);
  quantifier = CutQuantifier(pattern, atom.size());
  return atom;
}

std::u16string_view CutAtom(std::u16string_view& pattern) {
  switch (pattern.empty() ? u'\0' : pattern.front()) {
    case u'\\':
      return Cut(pattern, 2);
    case u'(':
      return GetParentheses(pattern);
    case u'[':
      return GetSquareBrackets(pattern);
    default:
      return Cut(pattern, 1);
  }
}

std::u16string_view CutQuantifier(std::u16string_view& pattern, size_t atomSize) {
  if (!StartsWithQuantifier(pattern)) return {};
  const size_t size = pattern.size();
  const std::u16string_view quantifier = GetQuantifier(pattern);
  // Only one quantifier may follow an atom; "a**" or "a{2}?*" is a pattern error.
  if (StartsWithQuantifier(pattern)) {
    RaiseAt(u"Nested +?*{} in regular expression.", errSyntax, u"GetNextQuarn",
            atomSize + size - pattern.size());
  }
  return quantifier;
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
  Raise(u"Internal error", errInternal, u"GetQuantifier");
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

std::u16string_view GroupEnds::Find(size_t from, size_t limit) {
  if (end_[from] == kUnknown) Walk(from);
  const size_t end = end_[from];
  const bool closes = end != kUnclosed && end < limit;
  const size_t last = closes ? end : LastLook(from, limit);
  CheckPosition16(static_cast<int64_t>(last - from) + 1, u"GetParentheses");
  return closes ? text_.substr(from, end - from + 1) : std::u16string_view();
}

std::optional<size_t> GroupEnds::Close(size_t from) {
  if (end_[from] == kUnknown) Walk(from);
  if (end_[from] == kUnclosed) return std::nullopt;
  return end_[from];
}

// The last position before limit that a walk from `from` looks at: the one before limit
// when that is a backslash escaping the character at limit - 1. In a run of backslashes
// the first escapes the second, the third the fourth, and so on.
size_t GroupEnds::LastLook(size_t from, size_t limit) const {
  size_t run = 0;
  while (limit >= run + 2 && limit - 2 - run > from && text_[limit - 2 - run] == u'\\')
    ++run;
  return run % 2 == 1 ? limit - 2 : limit - 1;
}

void GroupEnds::Walk(size_t from) {
  std::vector<size_t> open;
  bool inBrackets = false;
  for (size_t i = from; i < text_.size(); ++i) {
    switch (text_[i]) {
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
        if (inBrackets) break;
        if (end_[i] == kUnknown) {
          open.push_back(i);
        } else if (end_[i] != kUnclosed) {
          i = end_[i];  // a group walked before: it closes where it did then
        } else {
          i = text_.size();
        }
        break;
      case u')':
        if (inBrackets) break;
        end_[open.back()] = static_cast<uint32_t>(i);
        open.pop_back();
        if (open.empty()) return;
        break;
      default:
        break;
    }
  }
  for (const size_t at : open)
    end_[at] = kUnclosed;
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

int16_t GetGroupMarker(std::u16string_view text) {
  return !text.empty() && text[0] >= 1 && text[0] <= 31 ? static_cast<int16_t>(text[0]) : 0;
}

size_t FindTopLevelBar(std::u16string_view pattern) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    CheckPosition16(i + 1, u"SplitAlternatives");
    std::u16string_view tail = pattern.substr(i);
    switch (pattern[i]) {
      case u'(':
        i += std::max<size_t>(GetParentheses(tail).size(), 1) - 1;
        break;
      case u'[':
        i += std::max<size_t>(GetSquareBrackets(tail).size(), 1) - 1;
        break;
      case u'\\':
        ++i;
        break;
      case u'|':
        return i;
      default:
        break;
    }
  }
  return std::u16string_view::npos;
}

bool SplitAlternatives(std::u16string_view pattern, std::u16string_view& before,
                       std::u16string_view& after) {
  if (pattern.find(u'|') == std::u16string_view::npos) return false;
  const size_t bar = FindTopLevelBar(pattern);
  if (bar == std::u16string_view::npos) return false;
  before = pattern.substr(0, bar);
  after = pattern.substr(bar + 1);
  return true;
}

namespace {

// Reads a brace number: blanks skipped, an optional sign, digits and an optional decimal
// fraction, up to the first character that cannot continue it; no number at all reads as 0.
// The value is rounded half to even and must fit 16 bits.
int16_t ReadBraceNumber(std::u16string_view text) {
  size_t i = text.find_first_not_of(u" \t");
  if (i == std::u16string_view::npos) return 0;
  const bool negative = text[i] == u'-';
  if (text[i] == u'-' || text[i] == u'+') ++i;
  auto isDigit = [&](size_t k) { return k < text.size() && text[k] >= u'0' && text[k] <= u'9'; };
  int64_t whole = 0;
  for (; isDigit(i); ++i)
    whole = std::min<int64_t>(whole * 10 + (text[i] - u'0'), 1 << 20);
  int halfCompare = -1;  // the fraction against one half: -1 below, 0 equal, 1 above
  if (i < text.size() && text[i] == u'.' && isDigit(i + 1)) {
    ++i;
    halfCompare = text[i] < u'5' ? -1 : text[i] > u'5' ? 1 : 0;
    for (++i; isDigit(i); ++i) {
      if (halfCompare == 0 && text[i] != u'0') halfCompare = 1;
    }
  }
  if (halfCompare > 0 || (halfCompare == 0 && whole % 2 == 1)) ++whole;
  return Narrow16(negative ? -whole : whole, u"DoQuarn");
}

[[noreturn]] void RaiseBraceError(std::u16string_view text, std::u16string_view braces) {
  Raise(std::u16string(text) + std::u16string(braces), errQuantifier, u"DoQuarn");
}

}  // namespace

BraceCount ReadBraces(std::u16string_view braces) {
  BraceCount count;
  count.lazy = braces.ends_with(u'?');
  if (count.lazy) braces.remove_suffix(1);
  const std::u16string_view inner = braces.substr(1, braces.size() - 2);
  const std::u16string_view negative = u"Count is less than zero in regular expression ";
  if (braces.ends_with(u",}")) {
    count.open = true;
    count.lower = ReadBraceNumber(inner);
    if (count.lower < 0) RaiseBraceError(negative, braces);
  } else if (const size_t comma = inner.find(u','); comma != std::u16string_view::npos) {
    count.lower = ReadBraceNumber(inner.substr(0, comma));
    count.upper = ReadBraceNumber(inner.substr(comma + 1));
    if (count.lower > count.upper) {
      RaiseBraceError(u"Upper limit is less than lower limit in regular expression ", braces);
    }
    if (count.lower < 0 || count.upper < 0) {
      RaiseBraceError(u"Upper or lower limit is less than zero in regular expression ", braces);
    }
  } else {
    count.lower = count.upper = ReadBraceNumber(inner);
    if (count.lower < 0) RaiseBraceError(negative, braces);
  }
  // The copies are counted in 16 bits, and the count loop cannot step past 32767.
  if ((count.open ? count.lower : count.upper) == INT16_MAX) RaiseOverflow(u"DoQuarn");
  return count;
}

}  // namespace quarn
