// Runs the same calls through the engine and through the rewriting reference and compares
// everything a host can observe: each Quarn result, every QuarnIndex and QuarnResult answer
// for every selector, and every report in order. The differential test and the fuzz target
// are built on it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::reference {

struct Call {
  std::u16string text;
  std::u16string pattern;
  int32_t flags = 0;
};

enum class Verdict { kSame, kDifferent, kNoVerdict };

struct Comparison {
  Verdict verdict = Verdict::kSame;
  std::string engine;     // what the engine did, one line per answer
  std::string reference;  // what the reference did
};

// Runs the calls in order through both, each call followed by the result calls for every
// selector. The reference running out of memory or out of its call budget (callBudget; 0:
// none) gives no verdict.
Comparison Compare(const std::vector<Call>& calls, uint64_t callBudget);

// One search with the depth limit lowered to depth, through the Pattern API and through the
// reference: the match and its groups, or no match, or the report. (The legacy calls always
// search with the limit of 1000; the API lets a caller lower it, which lets small cases meet
// the limit where exponential ones would need a thousand characters.)
Comparison CompareSearch(const Call& call, uint32_t depth, uint64_t callBudget);

// How often the analysis checks of CheckAnalyses had something to check.
struct AnalysisTally {
  int skipped = 0;  // searches whose facts say the subject cannot match
  int faults = 0;   // faults reported by a search, looked up among the diagnostics
};

// The analysis of each call's pattern against what the reference did with the call: every
// fault of the pattern that the reference reported is among the pattern's diagnostics (with
// its number and text), and a subject that the pattern's facts say cannot match got "no match"
// and no report. Gives what disagrees, or "" when nothing does.
std::string CheckAnalyses(const std::vector<Call>& calls, const Comparison& comparison,
                          AnalysisTally& tally);

// A text with every code unit that is not printable ASCII (and every backslash) written as
// \uXXXX, as the transcripts show texts.
std::string Visible(std::u16string_view text);

// A readable rendering of a call for failure messages.
std::string Describe(const Call& call);

// One call as a line of the regression file: flags, pattern and text separated by TABs, each
// code unit that is not printable ASCII (and every backslash) written as \uXXXX.
std::string RegressionLine(const Call& call);
std::optional<Call> ParseRegressionLine(std::string_view line);

}  // namespace quarn::reference
