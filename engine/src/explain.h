// The explanation part of the analysis (see analysis.h): the pattern as written, read by the
// engine's own plans into a tree, with a description of every node in plain words and the
// warnings about constructs that read differently in the common dialects.
//
// Items are read in their place (the text after them included, as a search reads them); a
// quantified atom is read alone, which is how each copy of it reads as long as the text
// around a copy cannot change its reading. Where it can (a "{" inside a repeated group that a
// later "}" turns into a quantifier, braces holding brackets or parentheses, a repeated "*"),
// or where a reading ends in an error, the tree is marked irregular: it still shows how the
// pattern as written reads, but no facts are drawn from it.
#pragma once

#include <vector>

#include "quarn/analysis.h"
#include "reading.h"

namespace quarn {

struct Tree {
  Explanation explanation;
  bool regular = true;  // every copy reads like the tree: facts may be drawn from it
  bool complete = true;
  std::vector<Diagnostic> warnings;
};

Tree Explain(Reading& reading);

}  // namespace quarn
