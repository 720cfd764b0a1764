// The one place where the search meets the engine: a LineMatcher finds the matches of the
// patterns in one subject (a line, or with --whole a file). Nothing else in the search calls
// the engine, so that another engine can take its place behind this interface.
#pragma once

#include <quarn/pattern.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::cli {

// A stretch of a subject in its units, [from, to): UTF-16 units, or bytes of a text searched
// as bytes (ASCII or Latin-1, where byte i is UTF-16 unit i).
struct Span {
  size_t from = 0;
  size_t to = 0;
};

struct Match {
  Span whole;
  std::vector<std::optional<Span>> groups;  // nullopt: the group was not used in the match
  size_t next = 0;  // where the search for the next match starts (the engine's Match::next())
};

// A limit that ended the search of a subject before its end: the engine's depth and length
// limits, the memory available to the engine, the step budget, and the size of a line that
// is too long to be read into memory (which the tool sets, not the engine).
enum class Limit { Depth, Length, Memory, Steps, Size };

// What is known of a pattern before any search, from the engine's diagnostics: a fault that a
// search could meet (or our refusal to wrap the pattern for -w or -x), or a warning about a
// construct that reads differently here than in the common dialects. A fault that a search
// meets is told in the same shape.
struct PatternNote {
  bool fault = true;               // otherwise a warning
  std::string report;              // the engine's report or warning (or our words), UTF-8
  size_t pattern = 0;              // its index in MatchSettings::patterns
  std::optional<size_t> position;  // where in the pattern (UTF-16 units), when it is known
};

struct LineMatches {
  std::vector<Match> matches;  // ascending and not overlapping
  // With MatchSettings::replacement: each match's replacement, in the same order.
  std::vector<std::u16string> replacements;
  std::optional<Limit> limit;  // set when a pattern's search of the subject was cut short
  // The first fault of a pattern that a search of the subject met; that pattern's search of
  // the subject ended there, and the other patterns were still tried.
  std::optional<PatternNote> fault;
};

// Where a match has to sit in the subject: anywhere, as a whole word (-w), or as the whole
// subject (-x).
enum class Anchoring { Anywhere, Word, Whole };

struct MatchSettings {
  std::vector<std::u16string> patterns;  // tried in this order
  int32_t flags = 0;                     // the engine's option flags
  Anchoring anchoring = Anchoring::Anywhere;
  Limits limits;  // depth and subject length; the defaults are the engine's
  // The step budget of a subject (see StepBudget in search_limits.h); 0: none.
  uint64_t maxSteps = 0;
  // --replace: each match's replacement, in which "$0" to "$9" stand for the match and its
  // groups, as the engine expands it.
  std::optional<std::u16string> replacement = std::nullopt;
};

// The longest subject whose search can reach its end under limits: at the engine's default
// length limit a subject of exactly that length fails as well.
inline uint64_t LongestSubject(const Limits& limits) {
  return limits.subjectLength <= Limits().subjectLength ? limits.subjectLength - 1
                                                        : limits.subjectLength;
}

// Compiled once; Find may be called from several threads at once.
class LineMatcher {
 public:
  virtual ~LineMatcher() = default;

  // The matches of the patterns in subject, into found (whose storage is reused). With every,
  // all non-overlapping matches, leftmost first: at each place the leftmost match of any
  // pattern, the earlier pattern on a tie, and the next search after it. Without, the search
  // may stop at the first match, which is enough to select the subject. All the searches of
  // one subject share its step budget.
  virtual void Find(const Text& subject, bool every, LineMatches& found) const = 0;

  // The faults and warnings of the patterns, pattern by pattern, each pattern's in the order
  // of their positions (a refusal of -w or -x first). A matcher with a fault among them is not to
  // be searched with: what it finds then is no more than what the engine would.
  virtual const std::vector<PatternNote>& Notes() const = 0;

  // What the engine proves of every match of each pattern as it is searched (wrapped for -w
  // or -x), in the order of the patterns.
  virtual std::vector<PatternFacts> Facts() const = 0;
};

// A matcher on quarn::Pattern, one compiled pattern per pattern given, each analysed at once.
std::unique_ptr<LineMatcher> MakeLineMatcher(const MatchSettings& settings);

}  // namespace quarn::cli
