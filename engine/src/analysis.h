// The analysis of a compiled pattern (quarn/analysis.h): one walk over the engine's own reading
// of the pattern, which gives the explanation, the diagnostics and the facts.
//
// The walk has two parts, both on a pattern graph of its own (the same reading as the
// searches', kept apart so that the searches' graph does not grow):
//   - explore.cpp visits every text that a search can reach, whatever the subject, and
//     collects the faults it reads there, the loops over atoms that can match nothing, and the
//     most levels a search can go without taking a character;
//   - explain.cpp reads the pattern as written into the explanation tree, from which come the
//     facts about every match and the warnings about constructs of other dialects.
// analysis.cpp puts them together and decides when the facts let a search be skipped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "atoms.h"
#include "quarn/analysis.h"

namespace quarn {

class Program;

struct Analysis {
  Explanation explanation;
  std::vector<Diagnostic> diagnostics;  // by position; errors before warnings at a place
  PatternFacts facts;
};

// The analysis of a program; for one whose rewriting failed, its error alone.
Analysis Analyze(const Program& program);
// The analysis of a pattern refused before it is read (contradictory options, invalid UTF-8):
// the error, a tree of one node, and no facts. explanation, when given, is kept as the tree.
Analysis RefusedAnalysis(std::u16string_view pattern, const Error& error,
                         const Explanation* explanation = nullptr);

// The analysis as one JSON document (docs/pattern-analysis.md).
std::string AnalysisJson(const Analysis& analysis, std::u16string_view pattern, int32_t flags,
                         int groups);

// Whether the facts prove that a search of text from start, under the depth limit depth and
// the subject length limit subjectLength, answers "no match" without any error.
template <typename Unit>
bool CannotMatch(const PatternFacts& facts, Units<Unit> text, size_t start, uint32_t depth,
                 uint64_t subjectLength);

// Passes over the starts from which no match can begin, by the facts: a match holds the first
// required literal and takes nothing but the match characters, so it begins within the run of
// them that reaches a place of that literal. For a scan whose starts only grow: each character
// is looked at twice at most. The caller makes sure that no error can end a search from the
// starts passed over (CannotMatch's conditions).
class StartSkip {
 public:
  // Inactive unless facts has what it needs.
  explicit StartSkip(const PatternFacts* facts);
  bool Active() const { return facts_ != nullptr; }
  // The first start at or after start from which a match may begin, or text.size() + 1.
  template <typename Unit>
  size_t Next(Units<Unit> text, size_t start);

 private:
  const PatternFacts* facts_ = nullptr;
  bool looked_ = false;
  size_t literalAt_ = 0;  // the next place of the literal, once looked for
  size_t viable_ = 0;     // no match holding it there begins before this
};

}  // namespace quarn
