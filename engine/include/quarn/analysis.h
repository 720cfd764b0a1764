// What the engine knows about a pattern before any search, from one analysis of the compiled
// pattern (quarn::Pattern::explain(), diagnostics(), facts() and explainJson()):
//
// - an explanation: the tree of how the engine reads the pattern, with the dialect's own
//   readings spelled out ("\n" is CR LF, braces are rewritten into copies, TAB, CR and LF of a
//   bare "\s" list act as group markers);
// - diagnostics: every fault that a search of the pattern could meet, found by reading every
//   bracket, brace, escape and group that a search can reach, each with the number and text a
//   search would report, and warnings for constructs that end the searches reaching them or
//   that read differently from the common dialects;
// - facts: what every match satisfies, exact in this dialect, from which a search can tell
//   that a subject cannot match without trying it.
//
// Searching stays as it is: a fault is reported only when a search reaches it. The analysis is
// extra knowledge, made once per compiled pattern when first asked for, in time linear in the
// pattern; a pattern too large to read fully within that bound is marked incomplete (a warning
// says so, and the facts then claim nothing).
//
// Positions are 0-based, half-open, in UTF-16 units of the pattern as given; explainJson()
// also gives UTF-8 byte offsets. docs/pattern-analysis.md describes the JSON.
//
// Thread safety: plain values, made once and shared by the copies of a Pattern.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quarn/errors.h"
#include "quarn/export.h"

namespace quarn {

struct Limits;

enum class Severity : uint8_t {
  kError,    // a search that reaches the construct reports error
  kWarning,  // the pattern works, but probably not as meant
};

struct Diagnostic {
  Severity severity = Severity::kError;
  // A stable name of what was found:
  //   "fault"               a fault of the pattern (error says which; kError)
  //   "empty-loop"          a repeated atom that can match nothing: where it does, the
  //                         repetition goes on until the depth limit (error 20052)
  //   "deep-match"          every match needs more levels than the default depth limit
  //   "letter-escape"       "\z", "\p", "\h", ... : here just the letter
  //   "hex-brace"           "\x{...}": "x" and a count, not a code point
  //   "posix-class"         "[[:alpha:]]": a list of characters and a "]"
  //   "brace-count"         braces whose count is not a number ("{abc}" is 0 times)
  //   "zero-count"          a count of 0: the atom is skipped and never read
  //   "trailing-backslash"  a backslash that ends the pattern matches only at the end
  //   "stray-marker"        TAB, CR or LF of a bare "\s" list acting as a group marker
  //   "incomplete"          the pattern was too large to analyse fully
  std::string code;
  size_t start = 0;  // the construct in the pattern
  size_t end = 0;
  std::string message;  // in plain words, UTF-8
  // What a search reports there: always for a fault; for an empty loop, the depth limit.
  std::optional<Error> error;
};

enum class NodeKind : uint8_t {
  kAlternation,        // children: the alternatives, tried left to right
  kSequence,           // children: the items, in order
  kLiteral,            // one character
  kLineBreak,          // "\n": the two characters CR LF
  kAnyCharacter,       // "."
  kClass,              // a bracket expression or a class escape
  kLineStart,          // "^"
  kLineEnd,            // "$"
  kTextStart,          // "\A"
  kTextEnd,            // "\Z"
  kWordBoundary,       // "\b"
  kNotWordBoundary,    // "\B"
  kBackReference,      // "\1" to "\9"
  kEndOnly,            // a backslash that ends the pattern
  kGroup,              // a capturing group; children: its alternatives
  kPlainGroup,         // "(?:...)" or a group of a brace rewrite
  kLookahead,          // "(?=...)"
  kNegativeLookahead,  // "(?!...)"
  kMarker,             // a marker character standing alone (a stray TAB, CR or LF)
  kRepeat,             // a quantifier; child: its atom
  kIgnored,            // what the engine drops: a comment, "\Q", "\E"
  kError,              // a construct the engine cannot read: error says why
};

struct ClassMember {
  char16_t from = 0;
  char16_t to = 0;
  bool lineBreak = false;  // "\n" or "\N": the two characters CR LF
};

struct ExplainNode {
  NodeKind kind = NodeKind::kSequence;
  size_t start = 0;  // the stretch of the pattern it reads
  size_t end = 0;
  std::string description;  // one line in plain words, UTF-8
  int group = 0;            // kGroup, kBackReference, kMarker: the group number
  char16_t character = 0;   // kLiteral: as written (compared folded under ignore case)
  // kRepeat: how often (max nullopt: no limit), whether as many as possible, the quantifier as
  // written, and for braces the text the engine reads in their place.
  uint32_t min = 0;
  std::optional<uint32_t> max;
  bool greedy = true;
  std::u16string quantifier;
  std::u16string rewrite;
  // kClass: the members in the order they are read, and whether the list is negated.
  bool negated = false;
  std::vector<ClassMember> members;
  // kError, or a class whose reading reaches a faulty range.
  std::optional<Error> error;
  std::vector<uint32_t> children;  // indices into Explanation::nodes
};

struct Explanation {
  std::vector<ExplainNode> nodes;  // nodes[0] is the root, a kAlternation or kSequence
  const ExplainNode& root() const { return nodes[0]; }
};

using CharacterRanges = std::vector<std::pair<char16_t, char16_t>>;

// A character as ignore case compares it: its Unicode simple lowercase mapping (so "K" and
// the Kelvin sign U+212A both fold to "k"), the same on every machine and in every locale.
// The folded texts and characters of PatternFacts compare with the folds of a subject's.
QUARN_API char16_t FoldCase(char16_t c);

// What every match of a pattern satisfies. Each fact holds exactly in this dialect (CR LF
// line breaks, group markers, rewritten braces, lookahead, back references, ignore case);
// where the analysis cannot prove a fact it claims nothing (the neutral value), never
// something false.
struct QUARN_API PatternFacts {
  // Every construct a search can reach was read; otherwise the facts below are neutral.
  bool complete = false;
  // No search can meet a fault of the pattern (diagnostics() lists no error).
  bool faultFree = false;
  // Texts below are folded (compare them with FoldCase of the subject's characters).
  bool ignoreCase = false;
  // The fewest characters (UTF-16 units) that a match takes.
  uint64_t minLength = 0;
  // Every match begins at the start of the subject ("\A", or "^" without multi-line).
  bool anchoredAtStart = false;
  // The characters a match can begin with (folded under ignore case), when proven: a start
  // position whose character is not among them fails within firstLevels levels, so the set
  // holds for searches whose depth limit is at least that. Empty when not proven.
  CharacterRanges firstCharacters;
  uint32_t firstLevels = 0;
  // Texts that every match contains, each as a run of adjacent characters of the match.
  std::vector<std::u16string> requiredLiterals;
  // The characters that every match is made of, when proven (not under ignore case): a match
  // lies within a run of them. Empty when not proven.
  CharacterRanges matchCharacters;
  // Texts of which every match contains at least one, as adjacent characters: the words of
  // "GNU|Debian", or one required literal where that narrows best. Empty when none is known.
  std::vector<std::u16string> anyOfLiterals;
  // The texts that are the pattern's matches, when it is a plain choice of texts ("GNU|Debian",
  // "ab(c|d)"; no class, open count, assertion, back reference or edges) whose every way
  // through gives a text of its own: a search from a start finds a match exactly where one of
  // them first begins after it, and a subject holds a match exactly when it holds one of them
  // (within depthSafeLength and faultFree). At one start a search then takes at most
  // matchLiterals.size() * (longest + 1) * (levelsPerCharacter + 1) steps. Empty otherwise.
  std::vector<std::u16string> matchLiterals;
  // The most levels a search can go down between two characters it takes (or before the
  // first, or after the last); nullopt when that is unbounded (an empty loop) or unknown. A
  // search of n characters from its start goes at most (n + 1) * (this + 1) levels deep.
  std::optional<uint32_t> levelsPerCharacter;

  // The longest subject (counted from the search's start) on which no search can reach the
  // depth limit depth; nullopt when none is known.
  std::optional<uint64_t> depthSafeLength(uint32_t depth) const;
  // Whether a search of text from start under limits surely answers "no match" without any
  // error: the facts then prove that no match is possible and that nothing (a fault, the
  // depth limit, the subject's length) can end the search first.
  bool cannotMatch(std::u16string_view text, size_t start, const Limits& limits) const;
};

}  // namespace quarn
