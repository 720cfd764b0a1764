// LineMatcher on the engine's public calls: Quarn() stores the leftmost match of one pattern
// and QuarnIndex() reads it back. The patterns are tried one after another; -w and -x wrap a
// pattern in assertions. The engine's reports are sorted here into faults of a pattern and
// the limits that depend on the subject.
#include <quarn/quarn.h>
#include <quarn/utf.h>

#include <algorithm>
#include <string>
#include <utility>

#include "line_matcher.h"
#include "reports.h"

namespace quarn::cli {

namespace {

constexpr std::u16string_view kDepthLimit =
    u"Maximum number of iterations exceeded. Possibly an infinite loop.";

// The engine's limits by their reports. The scan for a match start counts in 16 bits and
// overflows on a long subject; an overflow anywhere else comes from a count in the pattern.
std::optional<Limit> LimitOf(const Report& report) {
  if (report.number == errSyntax && report.description.ends_with(kDepthLimit)) {
    return Limit::Depth;
  }
  if (report.number == errOverflow &&
      report.description.find(u".FindFirstMatch:") != std::u16string::npos) {
    return Limit::Length;
  }
  if (report.number == errOutOfMemory) return Limit::Memory;
  return std::nullopt;
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

class LegacyMatcher : public LineMatcher {
 public:
  explicit LegacyMatcher(const MatchSettings& settings)
      : flags_(settings.flags), anchoring_(settings.anchoring) {
    for (size_t i = 0; i < settings.patterns.size(); ++i)
      patterns_.push_back(Prepare(settings.patterns[i], i));
  }

  LineMatches Find(std::u16string_view subject, bool every) override {
    LineMatches found;
    for (size_t i = 0; i < patterns_.size(); ++i) {
      std::optional<Match> match = FindOne(patterns_[i], i, subject, found.limit);
      if (!match) continue;
      found.matches.push_back(std::move(*match));
      if (!every) break;
    }
    // The earliest match wins a place; at the same start, the pattern tried first.
    std::stable_sort(found.matches.begin(), found.matches.end(),
                     [](const Match& a, const Match& b) { return a.whole.from < b.whole.from; });
    size_t kept = 0;
    for (size_t i = 0; i < found.matches.size(); ++i) {
      if (kept > 0 && found.matches[i].whole.from < found.matches[kept - 1].whole.to) continue;
      if (kept != i) found.matches[kept] = std::move(found.matches[i]);
      ++kept;
    }
    found.matches.resize(kept);
    return found;
  }

 private:
  struct Pattern {
    std::u16string search;   // the pattern as the engine gets it, wrapped for -w and -x
    std::u16string atStart;  // -w: the match that begins at the start of the subject
  };

  int32_t flags_;
  Anchoring anchoring_;
  std::vector<Pattern> patterns_;
  ReportCollector collector_;

  // One call on an empty subject shows the faults of a pattern before any input is read.
  // On an empty subject nothing can depend on the subject, so every report is a fault.
  void Check(std::u16string_view pattern, size_t index, const std::u16string& fault) {
    Quarn(std::u16string_view(), pattern, flags_);
    const std::vector<Report> reports = collector_.Take();
    if (!reports.empty()) {
      throw PatternFault{fault.empty() ? Utf16ToUtf8(reports.front().text) : Utf16ToUtf8(fault),
                         index, std::nullopt};
    }
  }

  Pattern Prepare(const std::u16string& pattern, size_t index) {
    Check(pattern, index, {});
    if (anchoring_ == Anchoring::Anywhere) return {pattern, {}};
    const std::u16string refusal =
        AnchoringName(anchoring_) + u" cannot be used with the pattern '" + pattern + u"'";
    const std::optional<std::u16string> inner = Enclosable(pattern);
    if (!inner) throw PatternFault{Utf16ToUtf8(refusal), index, std::nullopt};
    Pattern prepared;
    if (anchoring_ == Anchoring::Whole) {
      prepared.search = u"\\A(?:" + *inner + u")\\Z";
    } else {
      // No lookbehind: the character before a word is taken into the match, and a match
      // that begins at the start of the subject is told apart by a second search.
      prepared.search = u"(?:\\A|\\W)(?:" + *inner + u")(?!\\w)";
      prepared.atStart = u"\\A(?:" + *inner + u")(?!\\w)";
      Check(prepared.atStart, index, refusal);
    }
    Check(prepared.search, index, refusal);
    return prepared;
  }

  // Hands on the reports of the last call: a fault of the pattern ends the run, a limit is
  // kept. Returns whether there were none.
  bool TakeReports(size_t index, std::optional<Limit>& limit) {
    const std::vector<Report> reports = collector_.Take();
    for (const Report& report : reports) {
      const std::optional<Limit> reached = LimitOf(report);
      if (!reached) throw PatternFault{Utf16ToUtf8(report.text), index, std::nullopt};
      if (!limit) limit = reached;
    }
    return reports.empty();
  }

  static Span ToSpan(int32_t start, int32_t length) {
    const size_t from = static_cast<size_t>(start - 1);
    return {from, from + static_cast<size_t>(length)};
  }

  static Match ReadMatch() {
    Match match;
    int32_t start = 0, length = 0;
    QuarnIndex(reMatch, start, length);
    match.whole = ToSpan(start, length);
    int32_t count = 0, unused = 0;
    QuarnIndex(reSubexprCount, count, unused);
    for (int32_t n = 1; n <= count; ++n) {
      start = length = 0;
      QuarnIndex(n, start, length);
      match.groups.push_back(start > 0 ? std::optional(ToSpan(start, length)) : std::nullopt);
    }
    return match;
  }

  std::optional<Match> Search(std::u16string_view pattern, size_t index,
                              std::u16string_view subject, std::optional<Limit>& limit) {
    const bool found = Quarn(subject, pattern, flags_);
    if (!TakeReports(index, limit) || !found) return std::nullopt;
    Match match = ReadMatch();
    if (!TakeReports(index, limit)) return std::nullopt;
    return match;
  }

  std::optional<Match> FindOne(const Pattern& pattern, size_t index, std::u16string_view subject,
                               std::optional<Limit>& limit) {
    std::optional<Match> match = Search(pattern.search, index, subject, limit);
    if (!match || anchoring_ != Anchoring::Word) return match;
    if (match->whole.from == 0) {
      std::optional<Match> atStart = Search(pattern.atStart, index, subject, limit);
      if (atStart) return atStart;
    }
    ++match->whole.from;  // past the non-word character before the word
    return match;
  }
};

}  // namespace

std::unique_ptr<LineMatcher> MakeLineMatcher(const MatchSettings& settings) {
  return std::make_unique<LegacyMatcher>(settings);
}

}  // namespace quarn::cli
