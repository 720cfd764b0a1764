// What the workbench asks of the engine on its worker thread: every match of the pattern in
// the subject, the depth the searches reached, and the match of each test case's subject.
// Plain C++ with no toolkit dependency; one call is one self-contained job.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quarn/pattern.h"

namespace quarn::demo {

struct BenchRequest {
  std::u16string pattern;
  std::u16string subject;
  int32_t flags = 0;
  uint32_t depthLimit = Limits{}.depth;
  // Test cases run with the hosts' default limits, as a host replaying them would.
  std::vector<std::u16string> caseSubjects;
};

// A match's spans: [0] the whole match, [n] group n (empty when the group did not match).
using MatchSpans = std::vector<std::optional<Match::Span>>;

// What one test case's subject gave: its match text, or no match, or an error.
struct CaseOutcome {
  bool matched = false;
  std::u16string matchText;
  std::optional<Error> error;
};

struct BenchOutcome {
  std::vector<MatchSpans> matches;
  bool truncated = false;  // more matches than are kept
  // The pattern's error, or the one that ended the scan of the subject.
  std::optional<Error> error;
  uint32_t deepest = 0;  // the greatest depth any search of the subject reached
  std::vector<CaseOutcome> cases;

  bool cancelled() const { return error && error->number == errCancelled; }
};

// At most this many matches of the subject are kept.
inline constexpr size_t kMaxMatches = 1000;

// Runs request; once *cancel is true (when given) the running search ends with errCancelled
// and nothing more is searched.
BenchOutcome RunBench(const BenchRequest& request, const std::atomic<bool>* cancel);

}  // namespace quarn::demo
