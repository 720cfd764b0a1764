#include "benchsearch.h"

#include <algorithm>

namespace quarn::demo {

namespace {

MatchSpans Spans(const Match& match) {
  MatchSpans spans;
  for (int n = 0; n <= match.groupCount(); ++n)
    spans.push_back(match.span(n));
  return spans;
}

}  // namespace

BenchOutcome RunBench(const BenchRequest& request, const std::atomic<bool>* cancel) {
  BenchOutcome outcome;
  const Pattern pattern(request.pattern, request.flags);
  Limits limits;
  limits.depth = request.depthLimit;
  limits.cancel = cancel;
  Matches all = pattern.matches(request.subject, limits);
  for (const Match& match : all) {
    if (outcome.matches.size() == kMaxMatches) {
      outcome.truncated = true;
      break;
    }
    outcome.matches.push_back(Spans(match));
  }
  outcome.deepest = all.depth();
  outcome.error = all.error();
  if (outcome.cancelled()) return outcome;

  Limits hostLimits;
  hostLimits.cancel = cancel;
  for (const std::u16string& subject : request.caseSubjects) {
    const SearchResult result = pattern.search(subject, 0, hostLimits);
    if (result.error() && result.error()->number == errCancelled) {
      outcome.error = result.error();
      return outcome;
    }
    CaseOutcome& done = outcome.cases.emplace_back();
    done.error = result.error();
    done.matched = result.matched();
    if (done.matched) done.matchText = result.match().group();
  }
  return outcome;
}

}  // namespace quarn::demo
