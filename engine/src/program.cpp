// Compiling a pattern, and proving where its matches can begin.
#include "program.h"

#include <algorithm>

#include "rewrite.h"

namespace quarn {

namespace {

// Looking further than this many steps or nodes is not worth it for a start filter.
constexpr uint32_t kFilterLevels = 64;
constexpr int kFilterVisits = 64;

struct FirstCharacters {
  const Graph& graph;
  std::vector<std::pair<char16_t, char16_t>> ranges;
  uint32_t levels = 0;
  int visits = 0;

  // Adds what can be the first character taken by a search of node entered at level;
  // false when such a search could instead match the empty text, raise, read the capture
  // table or take any character.
  bool Add(const Node* node, uint32_t level) {
    if (++visits > kFilterVisits || level > kFilterLevels || node->length == 0) return false;
    levels = std::max(levels, level);
    const Plan& plan = graph.PlanOf(node);
    switch (plan.kind) {
      case PlanKind::kError:
      case PlanKind::kLookahead:
        return false;
      case PlanKind::kMarker:
        return Add(plan.rest, level + 1);
      case PlanKind::kAttempts:
        if (plan.error) return false;
        return std::all_of(plan.attempts.begin(), plan.attempts.end(),
                           [&](const Node* attempt) { return Add(attempt, level + 1); });
      case PlanKind::kAtom:
        break;
    }
    switch (plan.atom.kind) {
      case AtomKind::kLiteral:
        ranges.emplace_back(plan.atom.literal, plan.atom.literal);
        return true;
      case AtomKind::kLineBreak:
        ranges.emplace_back(u'\r', u'\r');
        return true;
      case AtomKind::kBracket:
        return plan.atom.bracket->FirstCharacters(ranges);
      case AtomKind::kEndOnly:
        return true;  // it matches nothing but the end, which is never skipped
      case AtomKind::kCaret:
      case AtomKind::kDollar:
      case AtomKind::kTextStart:
      case AtomKind::kTextEnd:
      case AtomKind::kWordBoundary:
      case AtomKind::kNotWordBoundary:
        // Taking nothing, an assertion leaves the first character to the rest; assuming it
        // holds only admits more positions.
        return Add(plan.rest, level + 1);
      case AtomKind::kDot:
      case AtomKind::kBackReference:
        return false;
    }
    return false;
  }
};

}  // namespace

StartFilter StartFilter::For(const Graph& graph, bool folded) {
  FirstCharacters first{graph, {}};
  StartFilter filter;
  if (!first.Add(graph.Root(), 1)) return filter;
  filter.active_ = true;
  filter.folded_ = folded;
  filter.levels_ = first.levels;
  std::sort(first.ranges.begin(), first.ranges.end());
  for (const auto& [lo, hi] : first.ranges) {
    for (unsigned c = lo; c <= hi && c < 256; ++c)
      filter.low_[c >> 6] |= uint64_t{1} << (c & 63);
    if (hi < 256) continue;
    const char16_t from = std::max<char16_t>(lo, 256);
    if (!filter.high_.empty() && from <= filter.high_.back().second + 1) {
      filter.high_.back().second = std::max(filter.high_.back().second, hi);
    } else {
      filter.high_.emplace_back(from, hi);
    }
  }
  return filter;
}

size_t StartFilter::Next(std::u16string_view text, size_t from) const {
  while (from < text.size() && !Admits(text[from]))
    ++from;
  return from;
}

Program::Program(std::u16string_view pattern, int32_t flags) : pattern_(pattern), flags_(flags) {
  std::u16string internal;
  try {
    internal = ProcessParentheses(ExpandEspaces(pattern_), groupCount_);
  } catch (const EngineError& error) {
    error_ = error;
    return;
  }
  graph_ = std::make_unique<Graph>(internal, IgnoreCase(), groupCount_);
  filter_ = StartFilter::For(*graph_, IgnoreCase());
}

}  // namespace quarn
