// What the two parts of the analysis share (see analysis.h): the program, a pattern graph of
// their own over its internal form, the pattern stretch of each internal character, a budget
// of texts to read, and the texts that can be passed without taking a character.
//
// One Reading serves one analysis on one thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "graph.h"
#include "program.h"

namespace quarn {

// A stretch of the pattern as written, [start, end).
struct Stretch {
  size_t start = 0;
  size_t end = 0;
};

class Reading {
 public:
  explicit Reading(const Program& program);

  const Program& program() const { return program_; }
  const Graph& graph() const { return graph_; }
  std::u16string_view pattern() const { return program_.Pattern(); }
  std::u16string_view internal() const { return internal_; }

  // The plan of a node, counted against the budget; nullptr once the budget is spent.
  const Plan* Read(const Node* node);
  bool Exhausted() const { return exhausted_; }

  // The pattern stretch of the internal characters [from, to); an empty range stands at
  // the source of from.
  Stretch Source(size_t from, size_t to) const;
  // The stretch of the item that begins a node read as written, or nothing.
  std::optional<Stretch> ItemSource(const Node* node, const Plan& plan) const;

  // How a step leads on without taking a character: the texts it enters at the next level
  // (for an atom that takes nothing, the rest after it). consuming is set for a step that
  // takes at least one character when it succeeds, whose rest comes after that character;
  // a step that can never succeed (a bracket expression that takes nothing) has neither.
  static std::vector<const Node*> Onward(const Plan& plan, bool& consuming);

  // Whether the atom's text alone can be passed without taking a character (assertions
  // assumed to hold, back references assumed empty).
  bool Nullable(const Piece* atom);

 private:
  const Program& program_;
  std::u16string_view internal_;
  Graph graph_;
  uint64_t texts_;       // reads left
  uint64_t characters_;  // characters that first readings may still look at
  bool exhausted_ = false;
  std::unordered_map<const Piece*, bool> nullable_;
};

}  // namespace quarn
