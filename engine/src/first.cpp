// The proof of what a search of a pattern text takes first, by walking its first steps in
// the pattern graph (see first.h).
#include "first.h"

#include <algorithm>
#include <memory>

namespace quarn {

namespace {

// Looking further than this many steps or nodes is not worth it.
constexpr uint32_t kMaxLevels = 64;
constexpr int kMaxVisits = 64;

struct Proof {
  const Graph& graph;
  FirstCharacters first;
  int visits = 0;

  bool Add(const Node* node, uint32_t level) {
    if (++visits > kMaxVisits || level > kMaxLevels || node->length == 0) return false;
    first.levels = std::max(first.levels, level);
    const Plan& plan = graph.PlanOf(node);
    switch (plan.kind) {
      case PlanKind::kError:
        return false;
      case PlanKind::kLookahead:
        // Taking nothing itself, a positive lookahead goes on only where its inside begins.
        return plan.positive && Add(plan.probe, level + 1);
      case PlanKind::kMarker:
        return Add(plan.rest, level + 1);
      case PlanKind::kAttempts:
      case PlanKind::kLoop:
        if (plan.error) return false;
        return std::all_of(plan.attempts.begin(), plan.attempts.end(),
                           [&](const Node* attempt) { return Add(attempt, level + 1); });
      case PlanKind::kLiteral:
      case PlanKind::kBracket:
      case PlanKind::kAtom:
        break;
    }
    switch (plan.atom.kind) {
      case AtomKind::kLiteral:
      case AtomKind::kBracket:
        if (const auto taken = AtomCharacters(plan.atom)) {
          first.ranges.insert(first.ranges.end(), taken->begin(), taken->end());
          return true;
        }
        return false;
      case AtomKind::kLineBreak:
        first.ranges.emplace_back(u'\r', u'\r');
        return true;
      case AtomKind::kEndOnly:
        first.atEnd = true;  // it matches nothing but the end of the subject
        return true;
      case AtomKind::kCaret:
      case AtomKind::kDollar:
      case AtomKind::kTextStart:
      case AtomKind::kTextEnd:
      case AtomKind::kWordBoundary:
      case AtomKind::kNotWordBoundary:
        // Taking nothing, an assertion leaves the first character to the rest; assuming it
        // holds only admits more.
        first.assertions = true;
        return Add(plan.rest, level + 1);
      case AtomKind::kDot:
      case AtomKind::kBackReference:
        return false;
    }
    return false;
  }
};

// Whether no character lies in both sets of ranges.
bool Disjoint(CharacterRanges a, CharacterRanges b) {
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  for (size_t i = 0, j = 0; i < a.size() && j < b.size();) {
    if (a[i].second < b[j].first) {
      ++i;
    } else if (b[j].second < a[i].first) {
      ++j;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<FirstCharacters> FindFirstCharacters(const Graph& graph, const Node* node) {
  Proof proof{graph, {}};
  if (!proof.Add(node, 1)) return std::nullopt;
  return std::move(proof.first);
}

std::optional<CharacterRanges> AtomCharacters(const AtomTest& atom) {
  if (atom.kind == AtomKind::kLiteral) return CharacterRanges{{atom.literal, atom.literal}};
  CharacterRanges ranges;
  if (atom.kind == AtomKind::kBracket && atom.bracket->FirstCharacters(ranges)) return ranges;
  return std::nullopt;
}

CharacterSet::CharacterSet(CharacterRanges ranges, bool folded) : folded_(folded) {
  std::sort(ranges.begin(), ranges.end());
  for (const auto& [lo, hi] : ranges) {
    for (unsigned c = lo; c <= hi && c < 256; ++c)
      low_[c >> 6] |= uint64_t{1} << (c & 63);
    if (hi < 256) continue;
    const char16_t from = std::max<char16_t>(lo, 256);
    if (!high_.empty() && from <= high_.back().second + 1) {
      high_.back().second = std::max(high_.back().second, hi);
    } else {
      high_.emplace_back(from, hi);
    }
  }
}

Loop::~Loop() {
  delete restFilter.load();
}

const RestFilter& RestFilterOf(const Graph& graph, const Loop& loop) {
  if (const RestFilter* known = loop.restFilter.load(std::memory_order_acquire)) return *known;
  auto made = std::make_unique<RestFilter>();
  if (const std::optional<FirstCharacters> first = FindFirstCharacters(graph, loop.rest)) {
    made->proven = true;
    made->first = CharacterSet(first->ranges, graph.IgnoreCase());
    made->levels = first->levels;
    made->exactDepth = !first->assertions;
    const std::optional<CharacterRanges> taken = AtomCharacters(loop.atom);
    made->possessive = taken && Disjoint(*taken, first->ranges);
  }
  const RestFilter* expected = nullptr;
  if (loop.restFilter.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel)) {
    return *made.release();
  }
  return *expected;  // another search published it first
}

namespace {

bool SameTest(const AtomTest& a, const AtomTest& b) {
  return a.kind == b.kind && a.literal == b.literal && a.bracket == b.bracket;
}

}  // namespace

const AtomTest* LeadingRun(const Graph& graph) {
  const Node* node = graph.Root();
  if (node->length == 0) return nullptr;
  // "X+" is an attempt of "XX*" and the rest.
  if (const Plan& plus = graph.PlanOf(node);
      plus.kind == PlanKind::kAttempts && plus.attempts.size() == 1 && !plus.error) {
    node = plus.attempts[0];
    if (node->length == 0) return nullptr;
  }
  const Plan& first = graph.PlanOf(node);
  // A loop is made only over a test that takes one character, reading nothing but the text.
  if (first.kind == PlanKind::kLoop) return &first.loop->atom;
  if (first.kind != PlanKind::kLiteral && first.kind != PlanKind::kBracket &&
      first.kind != PlanKind::kAtom) {
    return nullptr;
  }
  if (first.rest == nullptr || first.rest->length == 0) return nullptr;
  const Plan& next = graph.PlanOf(first.rest);
  if (next.kind != PlanKind::kLoop || !SameTest(next.loop->atom, first.atom)) return nullptr;
  return &first.atom;
}

}  // namespace quarn
