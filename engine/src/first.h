// What a search of a pattern text takes first: the characters that can begin what it takes,
// proven from the first steps of the pattern graph. The start filter uses it to skip start
// positions, and a loop over one character to skip giving characters back to a rest that
// cannot begin with them.
//
// The proof holds only when every way through the first steps ends at an atom that takes a
// character: none may match the empty text, raise an error, look ahead, read the capture
// table or take any character at all. Covered by the engine tests and the differential test.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "graph.h"
#include "text.h"

namespace quarn {

using CharacterRanges = std::vector<std::pair<char16_t, char16_t>>;

struct FirstCharacters {
  // Folded under ignore case, as the atoms compare them.
  CharacterRanges ranges;
  // The deepest step the proof looked at, counting the text's own step as 1: a search of the
  // text at a position whose character is not in ranges fails within these levels.
  uint32_t levels = 0;
  // Whether an assertion stands among the first steps. Without one, such a search reaches
  // exactly levels: it tries every way through the first steps, as the proof did.
  bool assertions = false;
  // Whether a search at the end of the subject, where there is no character, may get past
  // the first steps: one of them is "\" alone, which matches only there. Otherwise every way
  // through them takes a character, and such a search fails within levels too.
  bool atEnd = false;
};

// A set of characters (folded under ignore case), as a bitmap below 256 and ranges above.
class CharacterSet {
 public:
  CharacterSet() = default;
  CharacterSet(CharacterRanges ranges, bool folded);

  bool Folded() const { return folded_; }
  bool Contains(char16_t c) const {
    if (folded_) c = LowerCase(c);
    if (c < 256) return (low_[c >> 6] >> (c & 63)) & 1;
    for (const auto& [lo, hi] : high_) {
      if (c >= lo && c <= hi) return true;
    }
    return false;
  }

 private:
  bool folded_ = false;
  uint64_t low_[4] = {};
  CharacterRanges high_;
};

std::optional<FirstCharacters> FindFirstCharacters(const Graph& graph, const Node* node);

// The rest of a loop: the characters it needs first, when that is proven; the levels within
// which it fails at a position without one (exactly those levels, without assertions); and
// whether the loop's atom can never take such a character, so that giving characters back
// to the rest is pointless.
struct RestFilter {
  bool proven = false;
  CharacterSet first;
  uint32_t levels = 0;
  bool exactDepth = false;
  bool possessive = false;
};

const RestFilter& RestFilterOf(const Graph& graph, const Loop& loop);

// When a pattern begins with a loop over one character, X* R, or with X X* R as "X+" reads,
// the test X, else none. A start inside a run of X after a start that failed without an error
// fails as well: it tries R at some of the same positions, with the same empty captures and
// at lower depths, and R reads nothing but the text there. So the scan passes over the run.
const AtomTest* LeadingRun(const Graph& graph);

// The characters (folded under ignore case) that a one-character atom can take, or nothing
// when it can take any character.
std::optional<CharacterRanges> AtomCharacters(const AtomTest& atom);

}  // namespace quarn
