// What the workbench asks of the engine on its worker thread: every match of the pattern in
// the subject, the depth the searches reached, the replace and split previews, and the match
// of each test case's subject. Plain C++ with no toolkit dependency; one call is one
// self-contained job.
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
  uint64_t subjectLimit = Limits{}.subjectLength;
  // The previews to make: a replacement of every match with this text, and the split.
  std::optional<std::u16string> replacement;
  bool split = false;
  // Test cases run with the hosts' default limits, as a host replaying them would.
  std::vector<std::u16string> caseSubjects;
};

// Every match of a subject and its groups, kept flat so that a million matches are a few
// allocations rather than millions.
class MatchList {
 public:
  explicit MatchList(int groupCount = 0) : groupCount_(groupCount) {}

  size_t size() const { return bounds_.size() / Stride(); }
  bool empty() const { return bounds_.empty(); }
  int groupCount() const { return groupCount_; }
  // Group 0 is the whole match; a group that took no part has no span.
  std::optional<Match::Span> span(size_t match, int group) const;
  // The first match that ends at or after position (size() when none does); as matches do not
  // overlap, the matches from there on that start before some end are those in that stretch.
  size_t firstEndingFrom(size_t position) const;

  // Keeps match, whose positions must be below 2^32 - 1.
  void add(const Match& match);

 private:
  static constexpr uint32_t kNoPart = UINT32_MAX;
  size_t Stride() const { return 2 * (static_cast<size_t>(groupCount_) + 1); }

  int groupCount_;
  std::vector<uint32_t> bounds_;  // start and end of each group of each match
};

// What one test case's subject gave: its match text, or no match, or an error.
struct CaseOutcome {
  bool matched = false;
  std::u16string matchText;
  std::optional<Error> error;
};

struct BenchOutcome {
  MatchList matches;
  // The pattern's error, or the one that ended the scan of the subject.
  std::optional<Error> error;
  uint32_t deepest = 0;  // the greatest depth any search of the subject reached
  std::optional<Replaced> replaced;
  std::optional<Split> split;
  std::vector<CaseOutcome> cases;

  bool cancelled() const { return error && error->kind == ErrorKind::kCancelled; }
};

// Runs request; once *cancel is true (when given) the running search ends with errCancelled
// and nothing more is searched.
BenchOutcome RunBench(const BenchRequest& request, const std::atomic<bool>* cancel);

}  // namespace quarn::demo
