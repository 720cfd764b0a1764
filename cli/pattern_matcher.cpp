// LineMatcher on quarn::Pattern: each pattern is compiled once, and every match of a subject
// is found by searching again after the last one, and with --replace expanded by the engine.
// -w and -x wrap a pattern in assertions.
// Each pattern's diagnostics are read once, when it is compiled: its faults and warnings are
// the matcher's notes. Errors of a search come back as values and are sorted here into
// faults of a pattern and the limits that depend on the subject.
#include <quarn/pattern.h>
#include <quarn/utf.h>

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

// pattern as it can stand inside a group, or nullopt when it cannot: the engine reads a ")"
// that closes nothing as a literal and lets \Q quote to the end, so either would reach past
// the group; a backslash at the very end has no character to escape.
std::optional<std::u16string> Enclosable(std::u16string_view pattern) {
  std::u16string out;
  int depth = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'\\') {
      if (i + 1 == pattern.size()) return std::nullopt;
      if (pattern[i + 1] == u'Q') {
        const size_t end = pattern.find(u"\\E", i + 2);
        if (end == std::u16string_view::npos) {
          out.append(pattern.substr(i)).append(u"\\E");
          return out;
        }
        out.append(pattern.substr(i, end + 2 - i));
        i = end + 1;
        continue;
      }
      out.append(pattern.substr(i, 2));
      ++i;
      continue;
    }
    if (c == u'[') {  // a bracket expression holds no groups; "]" first in it is a literal
      size_t j = i + 1;
      if (j < pattern.size() && pattern[j] == u'^') ++j;
      if (j < pattern.size() && pattern[j] == u']') ++j;
      while (j < pattern.size() && pattern[j] != u']')
        j += pattern[j] == u'\\' ? 2 : 1;
      if (j >= pattern.size()) return std::nullopt;
      out.append(pattern.substr(i, j + 1 - i));
      i = j;
      continue;
    }
    if (c == u'(' && pattern.substr(i, 3) == u"(?#") {  // a comment ends at the first ")"
      const size_t end = pattern.find(u')', i);
      if (end == std::u16string_view::npos) return std::nullopt;
      out.append(pattern.substr(i, end + 1 - i));
      i = end;
      continue;
    }
    if (c == u'(') ++depth;
    if (c == u')') {
      if (depth == 0) {
        out.append(u"\\)");
        continue;
      }
      --depth;
    }
    out += c;
  }
  return out;
}

std::u16string AnchoringName(Anchoring anchoring) {
  return anchoring == Anchoring::Word ? u"-w/--word-regexp" : u"-x/--line-regexp";
}

bool HighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool LowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Where the next search starts after a match: at its end, or one character later after an
// empty match, never between the halves of a surrogate pair (as Pattern::matches does).
size_t After(const Span& match, std::u16string_view text) {
  if (match.to > match.from) return match.to;
  size_t next = match.to + 1;
  if (next < text.size() && HighSurrogate(text[next - 1]) && LowSurrogate(text[next])) ++next;
  return next;
}

class PatternMatcher : public LineMatcher {
 public:
  explicit PatternMatcher(const MatchSettings& settings)
      : anchoring_(settings.anchoring),
        limits_(settings.limits),
        maxSteps_(settings.maxSteps),
        replacement_(settings.replacement),
        wordCharacter_(u"\\w", settings.flags) {
    for (size_t i = 0; i < settings.patterns.size(); ++i)
      patterns_.push_back(Prepare(settings.patterns[i], settings.flags, i));
  }

  void Find(std::u16string_view subject, bool every, LineMatches& found) const override {
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
          from = After(found.matches.back().whole, subject);
        }
      }
      return;
    }
    FindAcross(subject, budget, found);
  }

  const std::vector<PatternNote>& Notes() const override { return notes_; }

  std::vector<PatternFacts> Facts() const override {
    std::vector<PatternFacts> facts;
    for (const Prepared& prepared : patterns_)
      facts.push_back(prepared.search.facts());
    return facts;
  }

 private:
  struct Prepared {
    Pattern search;
    bool wrapped = false;  // for -w or -x: its positions are not those of the pattern given
  };

  // The steps left to the searches of one subject; without a budget, none is kept.
  struct Budget {
    uint64_t left = 0;
    bool kept() const { return left > 0; }
  };

  Anchoring anchoring_;
  Limits limits_;
  uint64_t maxSteps_;
  std::optional<std::u16string> replacement_;
  Pattern wordCharacter_;  // -w: what may not stand before a word
  std::vector<Prepared> patterns_;
  std::vector<PatternNote> notes_;

  static std::optional<size_t> Origin(const Prepared& prepared, std::optional<size_t> position) {
    return prepared.wrapped ? std::nullopt : position;
  }

  // The pattern's diagnostics as notes, with positions only where they are the pattern's own.
  void Take(const Prepared& prepared, size_t index) {
    for (const Diagnostic& d : prepared.search.diagnostics()) {
      const bool fault = d.severity == Severity::kError;
      const std::optional<size_t> at = d.error && d.error->position ? d.error->position : d.start;
      notes_.push_back(
          {fault, fault && d.error ? d.error->report() : d.message, index, Origin(prepared, at)});
    }
  }

  bool Faulty(size_t first) const {
    return std::any_of(notes_.begin() + static_cast<std::ptrdiff_t>(first), notes_.end(),
                       [](const PatternNote& note) { return note.fault; });
  }

  // The pattern as searched: as given, or wrapped for -w or -x when it is free of faults
  // (one with faults is never searched).
  Prepared Prepare(const std::u16string& pattern, int32_t flags, size_t index) {
    Prepared plain{Pattern(pattern, flags)};
    const size_t first = notes_.size();
    Take(plain, index);
    if (anchoring_ == Anchoring::Anywhere || Faulty(first)) return plain;
    const PatternNote refusal{true,
                              Utf16ToUtf8(AnchoringName(anchoring_) +
                                          u" cannot be used with the pattern '" + pattern + u"'"),
                              index, std::nullopt};
    const std::optional<std::u16string> inner = Enclosable(pattern);
    if (!inner) {
      notes_.insert(notes_.begin() + static_cast<std::ptrdiff_t>(first), refusal);
      return plain;
    }
    // -w: the character before a word is checked apart, since the engine has no lookbehind.
    const std::u16string_view before = anchoring_ == Anchoring::Whole ? u"\\A(?:" : u"(?:";
    const std::u16string_view after = anchoring_ == Anchoring::Whole ? u")\\Z" : u")(?!\\w)";
    Prepared wrapped{Pattern(std::u16string(before) + *inner + std::u16string(after), flags), true};
    const bool wrappedFaulty =
        std::any_of(wrapped.search.diagnostics().begin(), wrapped.search.diagnostics().end(),
                    [](const Diagnostic& d) { return d.severity == Severity::kError; });
    if (wrappedFaulty) notes_.insert(notes_.begin() + static_cast<std::ptrdiff_t>(first), refusal);
    return wrapped;
  }

  // A word may not follow a word character.
  bool WordStart(std::u16string_view subject, size_t at) const {
    return at == 0 || !wordCharacter_.search(subject.substr(at - 1, 1), 0, limits_);
  }

  // Appends the leftmost match of pattern index at or after from; false when there is none
  // (or a limit ended the search, which found.limit then tells).
  bool FindFrom(size_t index, std::u16string_view subject, size_t from, Budget& budget,
                LineMatches& found) const {
    const Prepared& prepared = patterns_[index];
    Limits limits = limits_;
    for (;;) {
      if (maxSteps_ != 0 && !budget.kept()) {  // spent by the searches before
        if (!found.limit) found.limit = Limit::Steps;
        return false;
      }
      limits.steps = budget.left;
      const SearchResult result = prepared.search.search(subject, from, limits);
      if (budget.kept()) budget.left -= std::min(budget.left, result.steps());
      if (const std::optional<Error>& error = result.error()) {
        const std::optional<Limit> limit = LimitOf(*error);
        if (!limit) {
          if (!found.fault) {
            found.fault =
                PatternNote{true, error->report(), index, Origin(prepared, error->position)};
          }
        } else if (!found.limit) {
          found.limit = limit;
        }
        return false;
      }
      if (!result) return false;
      const quarn::Match& match = result.match();
      if (anchoring_ == Anchoring::Word && !WordStart(subject, match.start())) {
        from = match.start() + 1;
        if (from > subject.size()) return false;
        continue;
      }
      Match& kept = found.matches.emplace_back();
      kept.whole = {match.start(), match.end()};
      for (int n = 1; n <= match.groupCount(); ++n) {
        const std::optional<quarn::Match::Span>& span = match.span(n);
        kept.groups.push_back(span ? std::optional(Span{span->start, span->end}) : std::nullopt);
      }
      // The wrapping of -w and -x adds no group, so "$n" means the pattern's own.
      if (replacement_) found.replacements.push_back(match.expand(*replacement_));
      return true;
    }
  }

  // Every match of several patterns: each pattern's next match is kept while it still lies
  // ahead, since searching again from a later place before it would find it again.
  void FindAcross(std::u16string_view subject, Budget& budget, LineMatches& found) const {
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
      from = After(found.matches.back().whole, subject);
    }
  }
};

}  // namespace

std::unique_ptr<LineMatcher> MakeLineMatcher(const MatchSettings& settings) {
  return std::make_unique<PatternMatcher>(settings);
}

}  // namespace quarn::cli
