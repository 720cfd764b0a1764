// A compiled pattern: the option flags, the pattern rewritten once into the internal form
// (escape expansion, then group preprocessing), its group count, the graph of pattern texts
// that searches share, and the start filter.
//
// A pattern that fails to compile keeps its error, so every search of it reports the same
// error in the same place as a fresh rewriting would.
//
// Thread safety: immutable after construction (the graph grows behind its own lock, and the
// analysis is made once behind a once flag), so one Program may serve any number of searches
// at once. Covered by the engine and threads tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "first.h"
#include "graph.h"
#include "quarn/edges.h"
#include "text.h"

namespace quarn {

struct Analysis;
struct PatternFacts;

// Where a match can begin. A position whose character is not admitted is skipped without a
// search, which is exact only because every search from such a position would fail at its
// first character without a report and without leaving anything in the capture table: the
// filter is made only when the pattern's first steps prove that (no error, lookahead, back
// reference or "." among them, and no way to match the empty text).
class StartFilter {
 public:
  bool Active() const { return active_; }
  // The deepest step the proof looked at: the filter holds for depth limits at least that.
  uint32_t Levels() const { return levels_; }
  bool Admits(char16_t c) const { return first_.Contains(c); }
  // Whether a match may begin at pos, short of the end: its character is admitted and, for a
  // pattern that begins with "\b" before word characters only, the one before is no word
  // character (or there is none), since that "\b" fails at once otherwise.
  template <typename Unit>
  bool AdmitsAt(Units<Unit> text, size_t pos) const {
    return Admits(text[pos]) && !AfterWordCharacter(text, pos);
  }
  // Whether a search at the end of the subject, which has no character, may match there.
  bool AdmitsEnd() const { return atEnd_; }

  // The first position at or after from where a match may begin (AdmitsAt), or text.size().
  template <typename Unit>
  size_t Next(Units<Unit> text, size_t from) const {
    for (;; ++from) {
      from = NextAdmitted(text, from);
      if (from >= text.size() || !AfterWordCharacter(text, from)) return from;
    }
  }

  static StartFilter For(const Graph& graph, bool folded);

 private:
  // The first position at or after from whose character is admitted, or text.size().
  template <typename Unit>
  size_t NextAdmitted(Units<Unit> text, size_t from) const {
    if (needleCount_ > 0) return FindNeedle(text, from);
    if (rangeCount_ > 0) return FindInRanges(text, from);
    while (from < text.size() && !Admits(text[from]))
      ++from;
    return from;
  }
  template <typename Unit>
  bool AfterWordCharacter(Units<Unit> text, size_t pos) const {
    return wordStart_ && pos > 0 && IsWordCharacter(text[pos - 1], first_.Folded());
  }
  template <typename Unit>
  size_t FindNeedle(Units<Unit> text, size_t from) const;
  template <typename Unit>
  size_t FindInRanges(Units<Unit> text, size_t from) const;

  bool active_ = false;
  bool atEnd_ = true;
  bool wordStart_ = false;  // the pattern begins with "\b", and every first character is a word one
  uint32_t levels_ = 0;
  CharacterSet first_;
  // When at most three code units are admitted, they are searched for directly.
  int needleCount_ = 0;
  char16_t needles_[3] = {};
  int byteCount_ = 0;  // those of them below 256, for 8-bit subjects
  uint8_t bytes_[3] = {};
  // Otherwise, when they are at most three ranges (not folded), so are the ranges: each is
  // the units from its low one to low + span.
  int rangeCount_ = 0;
  char16_t rangeLow_[3] = {};
  char16_t rangeSpan_[3] = {};
};

template <>
size_t StartFilter::FindNeedle(Units<char16_t> text, size_t from) const;
template <>
size_t StartFilter::FindNeedle(Units<uint8_t> text, size_t from) const;

class Program {
 public:
  // With edges, the internal form is enclosed as "\A(?:P)\Z" or "(?:P)(?!\w)" would make it
  // (quarn/edges.h); Pattern() stays the pattern as given.
  Program(std::u16string_view pattern, int32_t flags, Edges edges = Edges::kAnywhere);
  ~Program();

  std::u16string_view Pattern() const { return pattern_; }
  int32_t Flags() const { return flags_; }
  Edges MatchEdges() const { return edges_; }
  bool IgnoreCase() const { return (flags_ & reIgnoreCase) != 0; }
  bool SingleLine() const { return (flags_ & reSingleLine) != 0; }
  bool Multiline() const { return (flags_ & reMultiline) != 0; }

  // The error of the rewriting, raised by every search of this pattern, with the position in
  // the pattern where it arose when that is known.
  const std::optional<quarn::Error>& Error() const { return error_; }

  // Where the character at offset of a node's text came from in the pattern, when the node is
  // a stretch of the pattern as written (and not a text that a rewrite made). The node may be
  // one of another graph of the same internal form.
  std::optional<size_t> PatternPosition(const Node* node, uint64_t offset) const;

  // The internal form, and the stretch [start, end) of the pattern that its character i
  // stands for (an escape, a group's parenthesis, one character).
  std::u16string_view Internal() const;
  size_t SourceStart(size_t i) const { return origin_[i]; }
  size_t SourceEnd(size_t i) const { return sourceEnd_[i]; }

  // What the analysis knows of the pattern (explanation, diagnostics, facts), made the first
  // time it is asked for; only for a program without Error().
  const Analysis& Analyzed() const;
  // The facts, for a search to skip subjects that cannot match, once they are worth their cost
  // (a few times that of compiling): when the analysis is made already, or once the searches
  // of the pattern took many steps (NoteSteps), or always for a search with a step budget,
  // whose count must not depend on the searches before it. Otherwise nothing.
  const PatternFacts* FactsWorthUsing(bool budgeted) const;
  // Counts a search's steps towards making the facts: one search of many steps, or many of
  // some. Searches of a few steps are not counted, so they never share a counter's cache line.
  void NoteSteps(uint64_t steps) const;
  int16_t GroupCount() const { return groupCount_; }
  const Graph& Nodes() const { return *graph_; }
  const StartFilter& Filter() const { return filter_; }
  // The one-character loop the pattern begins with, whose runs the start scan passes over
  // (first.h); none when it begins otherwise.
  const AtomTest* LeadingRun() const { return leadingRun_; }

 private:
  void Enclose(std::u16string& internal);

  std::u16string pattern_;
  int32_t flags_;
  Edges edges_;
  std::optional<quarn::Error> error_;
  std::vector<uint32_t> origin_;     // for each character of the internal form, its source
  std::vector<uint32_t> sourceEnd_;  // and where that source ends
  int16_t groupCount_ = 0;
  std::unique_ptr<Graph> graph_;
  StartFilter filter_;
  const AtomTest* leadingRun_ = nullptr;
  mutable std::once_flag analysisMade_;
  mutable std::unique_ptr<const Analysis> analysis_;
  mutable std::atomic<bool> analysed_{false};
  mutable std::atomic<bool> costly_{false};
  mutable std::atomic<uint64_t> counted_{0};  // steps of the searches NoteSteps counted
};

}  // namespace quarn
