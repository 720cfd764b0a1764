// LineMatcher on quarn::Pattern: each pattern is compiled once, and every match of a subject
// is found by searching again after the last one, and with --replace expanded by the engine.
// -w and -x are the engine's matches on a whole word or a whole line, for any pattern.
// Each pattern's diagnostics are read once, when it is compiled: its faults and warnings are
// the matcher's notes. Errors of a search come back as values and are sorted here into
// faults of a pattern and the limits that depend on the subject.
#include <quarn/pattern.h>

#include <algorithm>
#include <string>
#include <utility>

#include "line_matcher.h"
#include "search_limits.h"

namespace quarn::cli {

namespace {

// The limits by the kinds of their errors.
std::optional<Limit> LimitOf(const Error& error) {
  switch (error.kind) {
    case ErrorKind::kDepthLimit:
      return Limit::Depth;
    case ErrorKind::kSubjectLength:
      return Limit::Length;
    case ErrorKind::kOutOfMemory:
      return Limit::Memory;
    case ErrorKind::kStepBudget:
      return Limit::Steps;
    default:
      return std::nullopt;
  }
}

// The engine's edges of a match for the anchoring asked for.
Edges EdgesOf(Anchoring anchoring) {
  switch (anchoring) {
    case Anchoring::Word:
      return Edges::kWord;
    case Anchoring::Whole:
      return Edges::kLine;
    default:
      return Edges::kAnywhere;
  }
}

class PatternMatcher : public LineMatcher {
 public:
  explicit PatternMatcher(const MatchSettings& settings)
      : limits_(settings.limits), maxSteps_(settings.maxSteps), replacement_(settings.replacement) {
    for (size_t i = 0; i < settings.patterns.size(); ++i) {
      patterns_.emplace_back(settings.patterns[i], settings.flags, EdgesOf(settings.anchoring));
      Take(patterns_.back(), i);
    }
  }

  void Find(const Text& subject, bool every, LineMatches& found) const override {
    found.matches.clear();
    found.replacements.clear();
    found.limit.reset();
    found.fault.reset();
    Budget budget{maxSteps_ ? StepBudget(maxSteps_, subject.size()) : 0};
    if (!every || patterns_.size() == 1) {
      for (size_t i = 0; i < patterns_.size(); ++i) {
        for (size_t from = 0; from <= subject.size();) {
          if (!FindFrom(i, subject, from, budget, found)) break;
          if (!every) return;
          from = found.matches.back().next;
        }
      }
      return;
    }
    FindAcross(subject, budget, found);
  }

  const std::vector<PatternNote>& Notes() const override { return notes_; }

  std::vector<PatternFacts> Facts() const override {
    std::vector<PatternFacts> facts;
    for (const Pattern& pattern : patterns_)
      facts.push_back(pattern.facts());
    return facts;
  }

 private:
  // The steps left to the searches of one subject; without a budget, none is kept.
  struct Budget {
    uint64_t left = 0;
    bool kept() const { return left > 0; }
  };

  Limits limits_;
  uint64_t maxSteps_;
  std::optional<std::u16string> replacement_;
  std::vector<Pattern> patterns_;  // with the edges of -w or -x
  std::vector<PatternNote> notes_;

  // The pattern's diagnostics as notes (one with a fault is never searched).
  void Take(const Pattern& pattern, size_t index) {
    for (const Diagnostic& d : pattern.diagnostics()) {
      const bool fault = d.severity == Severity::kError;
      const std::optional<size_t> at = d.error && d.error->position ? d.error->position : d.start;
      notes_.push_back({fault, fault && d.error ? d.error->report() : d.message, index, at});
    }
  }

  // Appends the leftmost match of pattern index at or after from; false when there is none
  // (or a limit ended the search, which found.limit then tells).
  bool FindFrom(size_t index, const Text& subject, size_t from, Budget& budget,
                LineMatches& found) const {
    if (maxSteps_ != 0 && !budget.kept()) {  // spent by the searches before
      if (!found.limit) found.limit = Limit::Steps;
      return false;
    }
    Limits limits = limits_;
    limits.steps = budget.left;
    const SearchResult result = patterns_[index].search(subject, from, limits);
    if (budget.kept()) budget.left -= std::min(budget.left, result.steps());
    if (const std::optional<Error>& error = result.error()) {
      const std::optional<Limit> limit = LimitOf(*error);
      if (!limit) {
        if (!found.fault) found.fault = PatternNote{true, error->report(), index, error->position};
      } else if (!found.limit) {
        found.limit = limit;
      }
      return false;
    }
    if (!result) return false;
    const quarn::Match& match = result.match();
    Match& kept = found.matches.emplace_back();
    kept.whole = {match.start(), match.end()};
    kept.next = match.next();
    for (int n = 1; n <= match.groupCount(); ++n) {
      const std::optional<quarn::Match::Span>& span = match.span(n);
      kept.groups.push_back(span ? std::optional(Span{span->start, span->end}) : std::nullopt);
    }
    if (replacement_) found.replacements.push_back(match.expand(*replacement_));
    return true;
  }

  // Every match of several patterns: each pattern's next match is kept while it still lies
  // ahead, since searching again from a later place before it would find it again.
  void FindAcross(const Text& subject, Budget& budget, LineMatches& found) const {
    struct Next {
      std::optional<Match> match;
      std::u16string replacement;  // the match's, with --replace
      bool exhausted = false;
    };
    std::vector<Next> next(patterns_.size());
    LineMatches scratch;
    for (size_t from = 0; from <= subject.size();) {
      size_t best = patterns_.size();
      for (size_t i = 0; i < patterns_.size(); ++i) {
        Next& pending = next[i];
        if (pending.exhausted) continue;
        if (!pending.match || pending.match->whole.from < from) {
          pending.match.reset();
          scratch.matches.clear();
          scratch.replacements.clear();
          scratch.limit.reset();
          scratch.fault.reset();
          if (!FindFrom(i, subject, from, budget, scratch)) {
            pending.exhausted = true;
            if (!found.limit) found.limit = scratch.limit;
            if (!found.fault) found.fault = std::move(scratch.fault);
            continue;
          }
          pending.match = std::move(scratch.matches.back());
          if (replacement_) pending.replacement = std::move(scratch.replacements.back());
        }
        if (best == patterns_.size() || pending.match->whole.from < next[best].match->whole.from) {
          best = i;
        }
      }
      if (best == patterns_.size()) return;
      found.matches.push_back(std::move(*next[best].match));
      if (replacement_) found.replacements.push_back(std::move(next[best].replacement));
      next[best].match.reset();
      from = found.matches.back().next;
    }
  }
};

}  // namespace

std::unique_ptr<LineMatcher> MakeLineMatcher(const MatchSettings& settings) {
  return std::make_unique<PatternMatcher>(settings);
}

}  // namespace quarn::cli
