#include "benchsearch.h"

#include <algorithm>

namespace quarn::demo {

std::optional<Match::Span> MatchList::span(size_t match, int group) const {
  const size_t at = match * Stride() + 2 * static_cast<size_t>(group);
  if (bounds_[at] == kNoPart) return std::nullopt;
  return Match::Span{bounds_[at], bounds_[at + 1]};
}

size_t MatchList::firstEndingFrom(size_t position) const {
  size_t low = 0;
  size_t high = size();
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (bounds_[middle * Stride() + 1] < position) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

void MatchList::add(const Match& match) {
  for (int n = 0; n <= groupCount_; ++n) {
    const std::optional<Match::Span>& span = match.span(n);
    bounds_.push_back(span ? static_cast<uint32_t>(span->start) : kNoPart);
    bounds_.push_back(span ? static_cast<uint32_t>(span->end) : kNoPart);
  }
}

BenchOutcome RunBench(const BenchRequest& request, const std::atomic<bool>* cancel) {
  BenchOutcome outcome;
  const Pattern pattern(request.pattern, request.flags);
  Limits limits;
  limits.depth = request.depthLimit;
  limits.subjectLength = request.subjectLimit;
  limits.cancel = cancel;
  outcome.matches = MatchList(pattern.ok() ? pattern.groupCount() : 0);
  Matches all = pattern.matches(request.subject, limits);
  for (const Match& match : all)
    outcome.matches.add(match);
  outcome.deepest = all.depth();
  outcome.error = all.error();
  if (outcome.cancelled()) return outcome;

  // A stopped preview is cut short by the same error as the matches, unless cancelled.
  const auto stopped = [&](const std::optional<Error>& error) {
    if (error && error->kind == ErrorKind::kCancelled) outcome.error = error;
    return outcome.cancelled();
  };
  if (request.replacement) {
    outcome.replaced = pattern.replace(request.subject, *request.replacement, 0, limits);
    if (stopped(outcome.replaced->error)) return outcome;
  }
  if (request.split) {
    outcome.split = pattern.split(request.subject, 0, limits);
    if (stopped(outcome.split->error)) return outcome;
  }

  Limits hostLimits;
  hostLimits.cancel = cancel;
  for (const std::u16string& subject : request.caseSubjects) {
    const SearchResult result = pattern.search(subject, 0, hostLimits);
    if (stopped(result.error())) return outcome;
    CaseOutcome& done = outcome.cases.emplace_back();
    done.error = result.error();
    done.matched = result.matched();
    if (done.matched) done.matchText = result.match().group();
  }
  return outcome;
}

}  // namespace quarn::demo
