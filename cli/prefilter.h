// A quick test of a line's bytes that passes every line the patterns could match, so that
// most lines of a large input never reach the engine. It is made from the facts the engine
// proves of each pattern as it is searched: the texts one of which every match holds (a
// literal, the words of an alternation), or else the characters a match begins with. It
// passes on a line that holds none of them only when the engine would answer "no match"
// there without an error: the patterns are free of faults, and the line is ASCII and short
// enough that neither the depth nor the length limit can be met. Under ignore case the texts
// are compared as the engine folds them. Where every pattern is a plain choice of texts, a
// line that holds one of them is known to match without asking the engine.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "line_matcher.h"

// AVX2 is used where the processor has it, chosen when the filter is made.
#if defined(__x86_64__) && defined(__GNUC__)
#define QUARN_CLI_AVX2 1
#endif

namespace quarn::cli {

class Prefilter {
 public:
  // The widest vectors Skippable may use: the processor's best, or SSE2 alone (so that a
  // test can hold one against the other).
  enum class Vectors { Widest, Sse2 };

  // A filter for the patterns that matcher searches under limits with a step budget of
  // maxSteps (see StepBudget; 0: none), or an inactive one when the facts of some pattern
  // give nothing to look for.
  Prefilter(const LineMatcher& matcher, const Limits& limits, uint64_t maxSteps = 0,
            Vectors vectors = Vectors::Widest);

  bool Active() const { return !stretches_.empty(); }

  // What the bytes of a line tell of its search, before any.
  enum class Verdict {
    kNo,     // it holds no match, and no limit can end its search
    kMaybe,  // only the engine can tell
    kYes,    // it holds a match, and no limit can end its search first
  };
  // The verdict on a line (UTF-8 bytes, no line break). kNo and kYes need a line short enough
  // for the depth and length limits, and kYes one short enough for the step budget too. A
  // line that is not ASCII is ruled out only by texts of ASCII characters compared exactly (no
  // byte of a longer character, nor one that is not UTF-8, is read as ASCII), and, where
  // invalidNoted, is judged only when it is valid UTF-8: a line that is not is decoded, to be
  // noted.
  // A place where the anchor of a stretch may lie in line (Skip::anchor) spares looking for
  // the stretches where it does.
  Verdict Judge(std::string_view line, bool invalidNoted = true,
                size_t anchor = std::string_view::npos) const;
  bool MayMatch(std::string_view line, bool invalidNoted = true) const {
    return Judge(line, invalidNoted) != Verdict::kNo;
  }
  // The whole lines at the start of text (which may end in a part of a line) that MayMatch
  // would pass over, one line after another: the lines up to the first that holds a stretch,
  // a byte that is not ASCII or too many bytes. One pass over the bytes finds where that
  // line begins and counts the line breaks before it. Where select, it passes over lines that
  // Judge finds kYes as well, where it can tell them by the stretch it stopped at, and counts
  // them apart too: then only how many lines are selected counts.
  struct Skip {
    size_t bytes = 0;
    size_t lines = 0;
    size_t selected = 0;   // of the lines
    bool stopped = false;  // at a line it does not pass over, not at the end of text
    bool nulFree = true;   // no byte passed over is NUL
    // Where in that line the scan stopped at the anchor of a stretch, for Judge; npos when it
    // stopped for another reason.
    size_t anchor = std::string_view::npos;
  };
  Skip Skippable(std::string_view text, bool select = false) const;

  // A set of ASCII characters, one bit each.
  struct Set {
    std::array<uint64_t, 2> bits{};
    bool Has(unsigned char c) const { return c < 128 && ((bits[c >> 6] >> (c & 63)) & 1); }
    void Add(unsigned char c) { bits[c >> 6] |= uint64_t{1} << (c & 63); }
    void Add(const Set& other) {
      bits[0] |= other.bits[0];
      bits[1] |= other.bits[1];
    }
    int Size() const;
  };
  // A stretch of characters, one set for each.
  struct Stretch {
    std::vector<Set> sets;
    size_t anchor = 0;  // the position whose members are rarest in text, looked for first
    size_t second = 0;  // the next rarest (the anchor in a stretch of one)
    std::vector<unsigned char> members;  // the anchor's members, when they are few
    // Every character that compares equal with one of its own is ASCII: the stretch rules out
    // lines that are not ASCII too.
    bool exact = false;
  };

 private:
  std::vector<Stretch> stretches_;  // a line that may match holds at least one
  // For each pattern, the stretches a line it matches holds every one of (its required
  // texts, and one of the characters a match begins with), and which of stretches_ are its
  // own.
  // A pattern that is a plain choice of texts has them as its own stretches, and a line that
  // holds one holds a match.
  struct Required {
    std::vector<Stretch> all;
    size_t first = 0, end = 0;  // its own in stretches_
    bool decisive = false;
  };
  std::vector<Required> required_;
  size_t longest_ = 0;     // longer lines always may match
  bool anyExact_ = false;  // whether some stretch is exact
  // Whether every pattern is decisive, so that a line may be judged kYes; then the step
  // budget of a line's search, and the most steps a search of a line may take at a start.
  bool decides_ = false;
  // Whether, besides, no stretch holds a line break or a carriage return: a stretch found
  // before a line's end lies in its text.
  bool selects_ = false;
  uint64_t maxSteps_ = 0;
  uint64_t stepsPerStart_ = 0;
  bool WithinBudget(std::string_view line, bool ascii) const;
  // The members of every stretch's anchor: Skippable stops at them to look for the stretch.
  // For each, which stretches have it (bit i: stretches_[i], of the first 64).
  Set anchors_;
  std::array<uint64_t, 128> anchoredBy_{};
  // How Skippable finds the stretches in a block of bytes: the members of rare anchors, and
  // for each other stretch the members of its anchor and of its second position, which lies
  // apart bytes away.
  struct Probe {
    std::vector<unsigned char> anchor, second;
    std::ptrdiff_t apart = 0;
  };
  std::vector<unsigned char> rareAnchors_;
  std::vector<Probe> probes_;
  std::vector<unsigned char> compared_;  // the members above, one after another
  bool blockScan_ = false;  // whether they take few enough comparisons, and lines are long
#ifdef QUARN_CLI_AVX2
  bool avx2_ = false;  // the processor has AVX2
  // With AVX2, several stretches of two characters or more are looked for by the first
  // characters of all at once, in the manner of the Teddy algorithm: for each of the first
  // two or three positions, a table by the low four bits of a byte and one by its high four
  // give the stretches (bit i % 8 for stretches_[i]) whose set there may hold the byte.
  struct Fingerprint {
    std::array<uint8_t, 16> low{}, high{};
  };
  std::vector<Fingerprint> fingerprint_;  // empty when not used
  void TakeFingerprint();
  // For each ASCII character, the stretches that begin with it (bit i: stretches_[i]).
  std::array<uint64_t, 128> startedBy_{};
  // The place of the anchor of a stretch that begins at bytes[at] and lies in bytes[0, size),
  // or npos.
  size_t StretchFrom(const unsigned char* bytes, size_t size, size_t at) const;
#endif
  size_t reachBack_ = 0;   // the most bytes a second position lies before its anchor
  size_t reachAhead_ = 0;  // or after it

  static bool Holds(std::string_view line, const Stretch& stretch);
  // The first place in bytes[0, end) where the stretch is, or end.
  static size_t Find(const unsigned char* bytes, size_t end, const Stretch& stretch);
  // The first place at or after from (and before end) where the anchor's set has a member.
  static size_t NextAnchor(const unsigned char* bytes, size_t from, size_t end,
                           const Stretch& stretch);
  // Whether a stretch whose anchor is bytes[at] lies in bytes[0, size).
  bool StretchAt(const unsigned char* bytes, size_t size, size_t at) const;
#ifdef __SSE2__
  // Skippable's scan of bytes[0, size) a step of 64 bytes at a time from i, while every
  // probe's second position lies in the bytes too: a byte that is not ASCII has its top bit
  // set, as has the anchor of a probe whose anchor and second position both hold a member
  // after the comparisons. Whether it stopped; i is where the steps ended.
  bool StepSse2(const unsigned char* bytes, size_t size, size_t& i, bool select, Skip& skip) const;
#ifdef QUARN_CLI_AVX2
  bool StepAvx2(const unsigned char* bytes, size_t size, size_t& i, bool select, Skip& skip) const;
  template <size_t kPositions>  // of the fingerprint; 0: none
  __attribute__((target("avx2,popcnt"))) bool StepAvx2With(const unsigned char* bytes, size_t size,
                                                           size_t& i, bool select,
                                                           Skip& skip) const;
#endif
  // How the scan goes on after a step.
  enum class Next {
    kStep,    // with the next step; skip takes the step's whole lines but for their count
    kStop,    // it stops: skip ends before the line of the stop, or before a line too long
    kResume,  // from skip.bytes, after a selected line
  };
  // The end of a step at base whose bytes that may stop the scan and line breaks are the
  // bits of hits and breaks. Where byStart, a hit is where a stretch may begin, else where
  // its anchor may be.
  [[gnu::always_inline]] inline Next StopsIn(const unsigned char* bytes, size_t size, size_t base,
                                             uint64_t hits, uint64_t breaks, bool select,
                                             bool byStart, Skip& skip) const;
#endif
  // Passes skip over the line it ends before, where Judge would find kYes by the stretch at
  // skip.anchor in it and the line ends in bytes[0, size); whether it did.
  bool PassSelected(const unsigned char* bytes, size_t size, Skip& skip) const;
};

}  // namespace quarn::cli
