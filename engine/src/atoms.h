// Atom tests: whether one atom (an anchor, ".", a literal, a backslash escape or a bracket
// expression) matches at a position of the subject, and how many characters it takes.
//
// An atom's text is read once, when the planner first meets it, into an AtomTest; a bracket
// expression's list into a BracketClass. Testing then costs a switch and a comparison. The
// rules are those of reading the texts afresh on every test: a bracket list is read left to
// right and stops at the first member that matches, so a faulty range is only reported for a
// subject character that reaches it. Tested by the engine's atom and bracket tests and,
// against the rewriting reference, by the differential test.
//
// Both types are immutable after construction and safe to share between threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "quarn/errors.h"
#include "text.h"

namespace quarn {

// A subject's code units, read as UTF-16: 16-bit units, or 8-bit units (Latin-1, of which
// ASCII is part), each of which is the UTF-16 unit of the same value. A search reads either
// kind alike, so an 8-bit text is searched without being widened first.
template <typename Unit>
class Units {
  static_assert(std::is_same_v<Unit, char16_t> || std::is_same_v<Unit, uint8_t>);

 public:
  constexpr Units() = default;
  constexpr Units(const Unit* data, size_t size) : data_(data), size_(size) {}
  constexpr Units(std::u16string_view text)  // NOLINT: a UTF-16 text is its own units
      requires std::is_same_v<Unit, char16_t> : data_(text.data()),
                                                size_(text.size()) {}

  size_t size() const { return size_; }
  const Unit* data() const { return data_; }
  char16_t operator[](size_t i) const { return data_[i]; }
  Units substr(size_t from) const { return {data_ + from, size_ - from}; }

 private:
  const Unit* data_ = nullptr;
  size_t size_ = 0;
};

// The subject of a search and its option flags, as every test sees them. Positions are
// 0-based indices into text; the characters before a position are always at hand, so
// anchors and word boundaries look at the whole subject even when a search starts later.
template <typename Unit>
struct Subject {
  Units<Unit> text;
  bool ignoreCase = false;
  bool singleLine = false;
  bool multiline = false;
};

// What a test answers: characters taken (0 or more), no match, or the class's error.
inline constexpr int kNoMatch = -1;
inline constexpr int kClassError = -2;

class BracketClass {
 public:
  // bracketText is "[" + list + "]"; its first and last characters are not looked at.
  BracketClass(std::u16string_view bracketText, bool ignoreCase);

  template <typename Unit>
  int Match(const Subject<Unit>& subject, size_t pos) const {
    if (pos >= subject.text.size()) return kNoMatch;  // at the end nothing matches, negated too
    const char16_t c = subject.text[pos];
    if (c < 256 && low_[c] != kSlow) return low_[c];
    return MatchSlowly(
        c, c == u'\r' && pos + 1 < subject.text.size() && subject.text[pos + 1] == u'\n');
  }

  // Whether a member is the line break, so that the class may take two characters.
  bool TakesLineBreak() const { return lineBreak_; }

  // The error that a character raises when the reading reaches the faulty range.
  const quarn::Error& Error() const { return *error_; }

  // Adds to ranges every character (folded under ignore case) that the class can take
  // first; false when some character raises the class's error instead.
  bool FirstCharacters(std::vector<std::pair<char16_t, char16_t>>& ranges) const;

  struct Member {
    char16_t lo;
    char16_t hi;
    bool lineBreak;  // "\n" or "\N": the two characters CR LF
  };
  // The members read before the first faulty range (folded under ignore case), in order.
  const std::vector<Member>& Members() const { return members_; }
  bool Negated() const { return negated_; }
  // Whether some character reaches the faulty range: one that no member before it takes.
  bool ErrorReachable() const { return errorReachable_; }
  // Whether the class takes some character (or CR LF) without its error.
  bool TakesSome() const { return takesSome_; }

 private:
  int Read(char16_t c1, bool atLineBreak) const;
  bool SomeCharacterReads(int answer) const;
  // c at a place where atLineBreak tells whether it is the CR of a CR LF.
  int MatchSlowly(char16_t c, bool atLineBreak) const;
  int Answer(int taken) const;

  static constexpr int8_t kSlow = 0;  // a CR that the line-break member may take with its LF

  bool negated_ = false;
  bool ignoreCase_ = false;
  bool lineBreak_ = false;
  bool errorReachable_ = false;
  bool takesSome_ = false;
  std::vector<Member> members_;        // those read before the first faulty range
  std::optional<quarn::Error> error_;  // raised by a character that no member before took
  // The answer of Match for each character below 256 (folded first under ignore case, which
  // keeps it below 256), or kSlow.
  int8_t low_[256] = {};
};

enum class AtomKind : uint8_t {
  kLiteral,          // one character, compared folded under ignore case
  kEndOnly,          // a lone backslash (or an atom that stands for nothing): only at the end
  kCaret,            // "^"
  kDollar,           // "$"
  kDot,              // "."
  kBackReference,    // "\1" to "\9"
  kTextStart,        // "\A"
  kTextEnd,          // "\Z"
  kLineBreak,        // "\n": CR LF
  kWordBoundary,     // "\b"
  kNotWordBoundary,  // "\B"
  kBracket,          // a bracket expression
};

struct AtomTest {
  AtomKind kind = AtomKind::kLiteral;
  char16_t literal = 0;                   // kLiteral, folded under ignore case
  uint8_t group = 0;                      // kBackReference
  const BracketClass* bracket = nullptr;  // kBracket

  // Reads an atom's text as cut by the scanner. A back reference to a group the pattern does
  // not have raises its error here, as the test would on first use.
  static AtomTest Read(std::u16string_view atom, bool ignoreCase, int16_t groupCount);
};

// Word characters are those of the "\w" class: a-z, A-Z, 0-9, "_", U+0080 and U+00FF,
// folded first under ignore case.
inline bool IsWordCharacter(char16_t c, bool ignoreCase) {
  // Folding changes no ASCII character's kind: only the rest is folded first.
  const char16_t w = ignoreCase && c >= 0x80 ? LowerCase(c) : c;
  return (w >= u'a' && w <= u'z') || (w >= u'A' && w <= u'Z') || (w >= u'0' && w <= u'9') ||
         w == u'_' || w == 0x80 || w == 0xFF;
}

}  // namespace quarn
