// The backtracking matcher. DoQuarn decides whether a pattern in the internal form matches
// at the front of the remaining subject, and on success removes what it matched.
//
// There is no compiled form: each call cuts one atom and its quantifier off the pattern,
// handles that atom and calls itself on the rest. A quantifier is handled by rewriting: the
// quantified atom becomes a longer pattern made of copies of itself ("a*" tries "aa*" before
// ""), so backtracking is simply the return from a failed call. Groups are spliced into the
// pattern with their markers, and passing a marker records a capture in the subexpression
// table. Each call snapshots the table and puts it back when it fails, so a failed attempt
// leaves no captures behind.
//
// The depth limit of 1000 nested calls is what stops a quantified group that matches the
// empty text from rewriting itself for ever, and what bounds the recursion.
#include <algorithm>
#include <vector>

#include "internal.h"

namespace quarn {

namespace {

// The pattern texts that the active calls have built, in 16-bit units. Rewriting a brace
// quantifier multiplies the atom, and every level keeps its own text, so without a bound a
// short pattern could ask for gigabytes; past the bound the search fails as out of memory.
size_t builtUnits = 0;
constexpr size_t kMaxBuiltUnits = size_t{1} << 25;

// A nested attempt with pattern p on a copy of the remaining subject; on success the remaining
// subject becomes what the attempt left.
bool Attempt(std::u16string_view& remaining, std::u16string_view p) {
  std::u16string_view copy = remaining;
  if (!DoQuarn(copy, p)) return false;
  remaining = copy;
  return true;
}

// An attempt with a pattern of `size` units that `build` appends to an empty text.
template <typename Build>
bool AttemptRewrite(std::u16string_view& remaining, size_t size, Build build) {
  if (size > kMaxBuiltUnits - builtUnits) {
    RaiseEngineError(u"Out of memory", errOutOfMemory, u"DoQuarn");
  }
  builtUnits += size;
  std::u16string p;
  p.reserve(size);
  build(p);
  const bool matched = Attempt(remaining, p);
  builtUnits -= size;
  return matched;
}

// An attempt with the concatenation of parts.
bool AttemptJoined(std::u16string_view& remaining,
                   std::initializer_list<std::u16string_view> parts) {
  size_t size = 0;
  for (const std::u16string_view part : parts)
    size += part.size();
  return AttemptRewrite(remaining, size, [&](std::u16string& p) {
    for (const std::u16string_view part : parts)
      p += part;
  });
}

// When the pattern has a "|" outside every group and bracket expression, cuts it there.
bool SplitAlternatives(std::u16string_view pattern, std::u16string_view& before,
                       std::u16string_view& after) {
  if (pattern.find(u'|') == std::u16string_view::npos) return false;
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
        before = pattern.substr(0, i);
        after = pattern.substr(i + 1);
        return true;
      default:
        break;
    }
  }
  return false;
}

void RestoreSubexpressions(const std::vector<SubexpressionRecord>& snapshot) {
  std::copy(snapshot.begin(), snapshot.end(), State.Subexpressions.begin() + 1);
}

// Opens the group whose marker begins atom, unless it is open already.
void OpenSubexpression(std::u16string_view remaining, std::u16string_view& atom, int16_t depth) {
  const int16_t n = GetGroupMarker(atom);
  if (n == 0) return;
  SubexpressionRecord& record = State.Subexpressions[n];
  if (record.OpenDepth != 0 && !record.Complete) return;
  record.OpenDepth = depth;
  record.Complete = false;
  atom.remove_prefix(1);
  record.StartPos = PositionOf(remaining);
}

// Closes every open group whose marker begins what is left of atom.
void CloseSubexpression(std::u16string_view remaining, std::u16string_view& atom) {
  for (int16_t n = GetGroupMarker(atom); n != 0 && State.Subexpressions[n].OpenDepth > 0;
       n = GetGroupMarker(atom)) {
    State.Subexpressions[n].Complete = true;
    State.Subexpressions[n].EndPos = PositionOf(remaining) - 1;
    atom.remove_prefix(1);
  }
}

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
  RaiseEngineError(std::u16string(text) + std::u16string(braces), errQuantifier, u"DoQuarn");
}

// A brace quantifier: "{n}", "{n,}", "{n,m}" and their lazy forms, rewritten into copies of
// the atom: "x{2,}" is "xxx*", "x{2,4}" is "xx(x(x)?)?" and "x{2,4}?" is "xx(x(x)??)??".
bool MatchBraces(std::u16string_view& remaining, std::u16string_view atom,
                 std::u16string_view braces, std::u16string_view rest) {
  const bool lazy = braces.ends_with(u'?');
  if (lazy) braces.remove_suffix(1);
  std::u16string_view inner = braces.substr(1, braces.size() - 2);

  if (braces.ends_with(u",}")) {
    const int16_t n = ReadBraceNumber(inner);
    if (n < 0) RaiseBraceError(u"Count is less than zero in regular expression ", braces);
    if (n == INT16_MAX) RaiseOverflow(u"DoQuarn");  // the copy loop would step past 32767
    const std::u16string_view star = lazy ? u"*?" : u"*";
    return AttemptRewrite(remaining, atom.size() * (n + 1) + star.size() + rest.size(),
                          [&](std::u16string& p) {
                            for (int k = 0; k <= n; ++k)
                              p += atom;
                            p += star;
                            p += rest;
                          });
  }

  int16_t lower;
  int16_t upper;
  if (const size_t comma = inner.find(u','); comma != std::u16string_view::npos) {
    lower = ReadBraceNumber(inner.substr(0, comma));
    upper = ReadBraceNumber(inner.substr(comma + 1));
    if (lower > upper) {
      RaiseBraceError(u"Upper limit is less than lower limit in regular expression ", braces);
    }
    if (lower < 0 || upper < 0) {
      RaiseBraceError(u"Upper or lower limit is less than zero in regular expression ", braces);
    }
  } else {
    lower = upper = ReadBraceNumber(inner);
    if (lower < 0) RaiseBraceError(u"Count is less than zero in regular expression ", braces);
  }
  // The optional copies are counted up to upper; that count cannot pass 32767.
  if (upper == INT16_MAX) RaiseOverflow(u"DoQuarn");

  // lower copies of the atom, then one nested optional group per further copy allowed.
  // An upper bound of 0 leaves the rest alone: zero occurrences.
  const std::u16string_view optional = lazy ? u"??" : u"?";
  const size_t optionalCopies = static_cast<size_t>(upper - lower);
  const size_t size = atom.size() * upper + (2 + optional.size()) * optionalCopies + rest.size();
  return AttemptRewrite(remaining, size, [&](std::u16string& p) {
    for (int k = 0; k < lower; ++k)
      p += atom;
    for (size_t k = 0; k < optionalCopies; ++k)
      (p += u'(') += atom;
    for (size_t k = 0; k < optionalCopies; ++k)
      (p += u')') += optional;
    p += rest;
  });
}

bool MatchQuantified(std::u16string_view& remaining, std::u16string_view atom,
                     std::u16string_view quantifier, std::u16string_view rest,
                     std::u16string_view pattern) {
  if (quantifier == u"*") {
    return AttemptJoined(remaining, {atom, atom, u"*", rest}) || Attempt(remaining, rest);
  }
  if (quantifier == u"*?") {
    return Attempt(remaining, rest) || AttemptJoined(remaining, {atom, atom, u"*?", rest});
  }
  if (quantifier == u"+") return AttemptJoined(remaining, {atom, atom, u"*", rest});
  if (quantifier == u"+?") return AttemptJoined(remaining, {atom, atom, u"*?", rest});
  if (quantifier == u"?") {
    return AttemptJoined(remaining, {atom, rest}) || Attempt(remaining, rest);
  }
  if (quantifier == u"??") {
    return Attempt(remaining, rest) || AttemptJoined(remaining, {atom, rest});
  }
  if (quantifier.starts_with(u'{')) return MatchBraces(remaining, atom, quantifier, rest);
  std::u16string text = u"Internal error in function RegEx.DoQuarn(\"";
  (((text += remaining) += u"\", \"") += pattern) += u"\")";
  RaiseEngineError(text, errInternal, u"DoQuarn");
}

// A lookahead matches its inside on a copy and consumes nothing.
bool MatchLookahead(std::u16string_view& remaining, std::u16string_view atom,
                    std::u16string_view rest) {
  std::u16string_view probe = remaining;
  const bool found = DoQuarn(probe, atom.substr(3, atom.size() - 4));
  if (found != (atom[2] == u'=')) return false;
  return Attempt(remaining, rest);
}

// A group is spliced into the pattern with its markers, one alternative at a time, each
// followed by the whole rest: the first alternative that leads to overall success wins.
bool MatchGroup(std::u16string_view& remaining, std::u16string_view atom,
                std::u16string_view rest) {
  std::u16string_view inner = atom.substr(1, atom.size() - 2);
  std::u16string_view open;
  std::u16string_view close;
  if (inner.size() >= 2 && GetGroupMarker(inner) >= 1 &&
      GetGroupMarker(inner.substr(inner.size() - 1)) >= 1) {
    open = inner.substr(0, 1);
    close = inner.substr(inner.size() - 1);
    inner = inner.substr(1, inner.size() - 2);
  }
  std::u16string_view alternative;
  std::u16string_view others;
  while (SplitAlternatives(inner, alternative, others)) {
    if (AttemptJoined(remaining, {open, alternative, close, rest})) return true;
    inner = others;
  }
  return AttemptJoined(remaining, {open, inner, close, rest});
}

// A group marker opens its group when it is not open and closes it when it is.
bool PassGroupMarker(std::u16string_view& remaining, std::u16string_view atom,
                     std::u16string_view rest) {
  OpenSubexpression(remaining, atom, State.Depth);
  CloseSubexpression(remaining, atom);
  return Attempt(remaining, rest);
}

bool MatchUnquantified(std::u16string_view& remaining, std::u16string_view atom,
                       std::u16string_view rest) {
  const bool closedGroup = atom.starts_with(u'(') && atom.ends_with(u')');
  if (closedGroup && atom.size() >= 4 && (atom.starts_with(u"(?=") || atom.starts_with(u"(?!"))) {
    return MatchLookahead(remaining, atom, rest);
  }
  if (closedGroup) return MatchGroup(remaining, atom, rest);
  std::u16string_view copy = remaining;
  if (atom.size() >= 2 && atom.starts_with(u'[') && atom.ends_with(u']')) {
    if (!MatchSquareBrackets(copy, atom)) return false;
  } else if (atom.size() == 1 && GetGroupMarker(atom) >= 1) {
    return PassGroupMarker(remaining, atom, rest);
  } else if (!MatchAtom(copy, atom)) {
    return false;
  }
  if (!DoQuarn(copy, rest)) return false;
  remaining = copy;
  return true;
}

}  // namespace

void ResetMatcher() {
  builtUnits = 0;
}

int16_t GetGroupMarker(std::u16string_view text) {
  return !text.empty() && text[0] >= 1 && text[0] <= 31 ? static_cast<int16_t>(text[0]) : 0;
}

bool DoQuarn(std::u16string_view& remaining, std::u16string_view pattern) {
  if (pattern.empty()) return true;
  if (++State.Depth > kMaxDepth) {
    RaiseEngineError(u"Maximum number of iterations exceeded. Possibly an infinite loop.",
                     errSyntax, u"DoQuarn");
  }
  bool matched;
  std::u16string_view first;
  std::u16string_view others;
  if (SplitAlternatives(pattern, first, others)) {
    matched = Attempt(remaining, first) || Attempt(remaining, others);
  } else {
    const int16_t count = State.SubexpressionCount;
    std::vector<SubexpressionRecord> snapshot;
    if (count > 0) {
      snapshot.assign(State.Subexpressions.begin() + 1, State.Subexpressions.begin() + 1 + count);
    }
    std::u16string_view rest = pattern;
    std::u16string_view quantifier;
    const std::u16string_view atom = GetNextQuarn(rest, quantifier);
    matched = quantifier.empty() ? MatchUnquantified(remaining, atom, rest)
                                 : MatchQuantified(remaining, atom, quantifier, rest, pattern);
    if (!matched && count > 0) RestoreSubexpressions(snapshot);
  }
  --State.Depth;
  return matched;
}

}  // namespace quarn
