// A quick test of a line's bytes that passes every line the patterns could match, so that
// most lines of a large input never reach the engine. It knows a few necessary stretches of
// characters that each match holds (a literal, an alternation of words, a run of classes) and
// passes on a line that holds none of them only when it can tell that the engine would find
// nothing there: the line is ASCII and short enough that no limit can be met. Each class's
// ASCII members are asked of the engine itself, so that its own rules (ignoring case among
// them) decide; a pattern with anything else (back references, lookahead, \Q, comments,
// escapes other than classes and punctuation) gets no filter.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "line_matcher.h"

namespace quarn::cli {

class Prefilter {
 public:
  // A filter for the patterns of settings (searched with their flags and limits), or an
  // inactive one when none is known to be safe.
  explicit Prefilter(const MatchSettings& settings);

  bool Active() const { return !stretches_.empty(); }
  // False only when the line (UTF-8 bytes, no line break) certainly holds no match and its
  // search could meet no limit.
  bool MayMatch(std::string_view line) const;
  // How many bytes of whole lines at the start of text (which may end in a part of a line)
  // MayMatch would pass over, one line after another: the lines up to the first that holds a
  // stretch, a byte that is not ASCII or too many bytes.
  size_t Skippable(std::string_view text) const;

  // A set of ASCII characters, one bit each.
  struct Set {
    std::array<uint64_t, 2> bits{};
    bool Has(unsigned char c) const { return c < 128 && ((bits[c >> 6] >> (c & 63)) & 1); }
    void Add(unsigned char c) { bits[c >> 6] |= uint64_t{1} << (c & 63); }
    int Size() const;
  };
  // A stretch of characters, one set for each.
  struct Stretch {
    std::vector<Set> sets;
    size_t anchor = 0;                   // the position with the fewest members, looked for first
    std::vector<unsigned char> members;  // the anchor's members, when they are few
  };

 private:
  std::vector<Stretch> stretches_;  // a line that may match holds at least one
  size_t longest_ = 0;              // longer lines always may match

  static bool Holds(std::string_view line, const Stretch& stretch);
  // The first place in bytes[0, end) where the stretch is, or end.
  static size_t Find(const unsigned char* bytes, size_t end, const Stretch& stretch);
  // The first place at or after from (and before end) where the anchor's set has a member.
  static size_t NextAnchor(const unsigned char* bytes, size_t from, size_t end,
                           const Stretch& stretch);
};

}  // namespace quarn::cli
