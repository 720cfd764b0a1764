// Reading atoms and bracket lists into their tests. The reading follows the rules of the
// pattern language exactly: members are read left to right, "\n" and "\N" stand for the line
// break, a backslash that ends the list is itself, a range needs one character after its
// "-", and under ignore case every member and range end is folded before it is used.
#include "atoms.h"

#include <algorithm>

#include "scanner.h"
#include "text.h"

namespace quarn {

namespace {

// The member at list[i], moving i past it; lineBreak when it is "\n" or "\N".
std::pair<char16_t, bool> ReadMember(std::u16string_view list, size_t& i, bool fold) {
  char16_t c = list[i++];
  if (c == u'\\' && i < list.size()) {
    c = list[i++];
    if (c == u'n' || c == u'N') return {u'\n', true};
  }
  return {fold ? LowerCase(c) : c, false};
}

}  // namespace

BracketClass::BracketClass(std::u16string_view bracketText, bool ignoreCase)
    : ignoreCase_(ignoreCase) {
  std::u16string_view list = bracketText.substr(1, bracketText.size() - 2);
  negated_ = list.starts_with(u'^');
  if (negated_) list.remove_prefix(1);
  for (size_t i = 0; i < list.size();) {
    const auto [m, mBreak] = ReadMember(list, i, ignoreCase);
    if (i + 1 < list.size() && list[i] == u'-') {
      ++i;
      const auto [e, eBreak] = ReadMember(list, i, ignoreCase);
      if (mBreak || eBreak) {
        error_ = MakeError(
            u"Range start or end longer than 1 character: [" + StripGroupMarkers(list) + u"]",
            errQuantifier, u"MatchSquareBrackets");
        break;
      }
      if (m > e) {
        error_ = MakeError(u"Invalid range in regular expression [" + std::u16string(list) + u"]",
                           errQuantifier, u"MatchSquareBrackets");
        break;
      }
      members_.push_back({m, e, false});
    } else {
      members_.push_back({m, m, mBreak});
    }
  }
  for (const Member& m : members_)
    lineBreak_ = lineBreak_ || m.lineBreak;
  for (unsigned c = 0; c < 256; ++c) {
    const char16_t c1 = ignoreCase ? LowerCase(static_cast<char16_t>(c)) : static_cast<char16_t>(c);
    low_[c] = c1 == u'\r' && lineBreak_ ? kSlow : Answer(Read(c1, false));
  }
  errorReachable_ = error_ && SomeCharacterReads(kClassError);
  // A negated list takes the characters that its members do not, when no error comes first.
  takesSome_ = negated_ ? !error_ && SomeCharacterReads(0) : !members_.empty();
}

// What Match answers when reading the list for c1 gave taken.
int BracketClass::Answer(int taken) const {
  if (taken == kClassError) return kClassError;
  // A negated list that matches takes one character, even the CR of a CR LF.
  if (negated_) return taken == 0 ? 1 : kNoMatch;
  return taken == 0 ? kNoMatch : taken;
}

// Reads the list for the character c1: 1 or 2 characters taken by the first member that
// matches, 0 when none does, or the error of the faulty range that the reading reaches.
int BracketClass::Read(char16_t c1, bool atLineBreak) const {
  for (const Member& m : members_) {
    if (m.lineBreak) {
      if (atLineBreak) return 2;
    } else if (m.lo <= c1 && c1 <= m.hi) {
      return 1;
    }
  }
  return error_ ? kClassError : 0;
}

int BracketClass::MatchSlowly(char16_t c, bool atLineBreak) const {
  return Answer(Read(ignoreCase_ ? LowerCase(c) : c, atLineBreak));
}

bool BracketClass::FirstCharacters(std::vector<std::pair<char16_t, char16_t>>& ranges) const {
  if (error_) return false;
  std::vector<std::pair<char16_t, char16_t>> in;
  bool lineBreak = false;
  for (const Member& m : members_) {
    if (m.lineBreak) {
      lineBreak = true;
    } else {
      in.emplace_back(m.lo, m.hi);
    }
  }
  std::sort(in.begin(), in.end());
  if (!negated_) {
    ranges.insert(ranges.end(), in.begin(), in.end());
  } else {
    unsigned next = 0;  // the first character not yet known to be a member
    for (const auto& [lo, hi] : in) {
      if (lo > next)
        ranges.emplace_back(static_cast<char16_t>(next), static_cast<char16_t>(lo - 1));
      next = std::max<unsigned>(next, hi + 1u);
    }
    if (next <= 0xFFFF) ranges.emplace_back(static_cast<char16_t>(next), char16_t{0xFFFF});
  }
  // The line-break member needs a CR first; without the LF after it, the CR is a character
  // that the member does not take, so a negated list takes it.
  if (lineBreak) ranges.emplace_back(u'\r', u'\r');
  return true;
}

// Whether reading the list for some character gives answer.
bool BracketClass::SomeCharacterReads(int answer) const {
  for (unsigned c = 0; c <= 0xFFFF; ++c) {
    const char16_t c1 =
        ignoreCase_ ? LowerCase(static_cast<char16_t>(c)) : static_cast<char16_t>(c);
    if (Read(c1, false) == answer) return true;
  }
  return false;
}

AtomTest AtomTest::Read(std::u16string_view atom, bool ignoreCase, int16_t groupCount) {
  AtomTest test;
  auto of = [&](AtomKind kind) {
    test.kind = kind;
    return test;
  };
  auto literal = [&](char16_t c) {
    test.literal = ignoreCase ? LowerCase(c) : c;
    return of(AtomKind::kLiteral);
  };
  // A lone backslash stands for "", which only the end of the subject is.
  if (atom.empty() || atom == u"\\") return of(AtomKind::kEndOnly);
  if (atom[0] != u'\\') {
    if (atom == u"^") return of(AtomKind::kCaret);
    if (atom == u"$") return of(AtomKind::kDollar);
    if (atom == u".") return of(AtomKind::kDot);
    return literal(atom[0]);
  }
  const char16_t e = atom[1];
  if (e >= u'1' && e <= u'9') {
    if (e - u'0' > groupCount) {
      Raise(u"Not so many sub-expressions in this regular expression: " +
                std::u16string(atom.substr(0, 2)),
            errSyntax, u"MatchAtom");
    }
    test.group = static_cast<uint8_t>(e - u'0');
    return of(AtomKind::kBackReference);
  }
  switch (e) {
    case u'A':
      return of(AtomKind::kTextStart);
    case u'Z':
      return of(AtomKind::kTextEnd);
    case u'n':
      return of(AtomKind::kLineBreak);
    case u'b':
      return of(AtomKind::kWordBoundary);
    case u'B':
      return of(AtomKind::kNotWordBoundary);
    default:
      return literal(e);
  }
}

}  // namespace quarn
