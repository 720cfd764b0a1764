// The exploration part of the analysis (see analysis.h): every text that a search of the
// pattern can reach, whatever the subject, read once.
//
// A search reaches a text only through the steps before it, and each step's plan depends on
// the text alone, so following every plan from the pattern's root reads every text that any
// search can read, and with it every fault that a search can meet (assertions are assumed to
// hold, so a fault behind one that can never hold is still listed).
//
// Braces are the one place where that set is large: "x{5000}" is 5000 texts, one per copy
// left. The copies read alike, apart from their lengths, so the exploration reads the first
// (the longest) in full and jumps from the next to the one with two copies left; likewise it
// reads the outermost level of a brace's optional copies ("x{0,5000}" is
// "(x(x(...)?)?)?") and jumps from the next level to the one with two levels left. A fault
// that only a long text meets (a 16-bit overflow of a scan) is met by the longest, which a
// search reads first; nothing beyond a faulty text is reachable.
#pragma once

#include <optional>
#include <vector>

#include "reading.h"

namespace quarn {

struct Exploration {
  struct Found {
    Error error;  // as a search reports it
    Stretch at;   // the construct
  };
  std::vector<Found> faults;
  std::vector<Stretch> emptyLoops;  // repeated atoms that can match nothing
  // The most steps a search can take in a row without taking a character; nullopt when
  // unbounded or unknown.
  std::optional<uint32_t> levelsPerCharacter;
};

Exploration Explore(Reading& reading);

}  // namespace quarn
