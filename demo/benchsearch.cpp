#include "benchsearch.h"

#include <algorithm>

namespace quarn::demo {

namespace {

bool IsHigh(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLow(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Where the next search starts after a match, as Pattern::matches() has it: at its end, or
// one character later after an empty match, never between the halves of a surrogate pair.
// The workbench searches one by one to learn each search's depth.
size_t After(const Match& match, std::u16string_view text) {
  if (match.end() > match.start()) return match.end();
  size_t next = match.end() + 1;
  if (next < text.size() && IsHigh(text[next - 1]) && IsLow(text[next])) ++next;
  return next;
}

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
  for (size_t start = 0; start <= request.subject.size();) {
    const SearchResult result = pattern.search(request.subject, start, limits);
    outcome.deepest = std::max(outcome.deepest, result.depth());
    if (result.error()) {
      outcome.error = result.error();
      if (outcome.cancelled()) return outcome;
      break;
    }
    if (!result) break;
    if (outcome.matches.size() == kMaxMatches) {
      outcome.truncated = true;
      break;
    }
    outcome.matches.push_back(Spans(result.match()));
    start = After(result.match(), request.subject);
  }

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
