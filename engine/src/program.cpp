// Compiling a pattern, and proving where its matches can begin.
#include "program.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>

#include "rewrite.h"

namespace quarn {

namespace {

// Every code unit whose lower case differs from it, with that lower case: what folding
// makes of the subject, read backwards.
const std::vector<std::pair<char16_t, char16_t>>& Folded() {
  static const std::vector<std::pair<char16_t, char16_t>> folded = [] {
    std::vector<std::pair<char16_t, char16_t>> pairs;
    for (unsigned c = 0; c < 0x10000; ++c) {
      const char16_t lower = LowerCase(static_cast<char16_t>(c));
      if (lower != c) pairs.emplace_back(static_cast<char16_t>(c), lower);
    }
    return pairs;
  }();
  return folded;
}

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
  // The code units of the subject that the filter admits, when they are few: those in the
  // ranges or, folded, those whose lower case is.
  std::vector<char16_t> units;
  for (const auto& [lo, hi] : first.ranges) {
    for (unsigned c = lo; c <= hi && units.size() <= 3; ++c) {
      if (std::find(units.begin(), units.end(), c) == units.end()) {
        units.push_back(static_cast<char16_t>(c));
      }
    }
  }
  if (folded && units.size() <= 3) {
    std::vector<char16_t> subjects;
    for (const char16_t c : units) {
      if (LowerCase(c) == c) subjects.push_back(c);
      for (const auto& [from, lower] : Folded()) {
        if (lower == c) subjects.push_back(from);
      }
    }
    units = std::move(subjects);
  }
  std::sort(units.begin(), units.end());
  units.erase(std::unique(units.begin(), units.end()), units.end());
  if (!units.empty() && units.size() <= 3) {
    filter.needleCount_ = static_cast<int>(units.size());
    std::copy(units.begin(), units.end(), filter.needles_);
  }
  return filter;
}

size_t StartFilter::FindNeedle(std::u16string_view text, size_t from) const {
  const char16_t* p = text.data();
  const size_t n = text.size();
#ifdef __SSE2__
  const __m128i a = _mm_set1_epi16(static_cast<short>(needles_[0]));
  const __m128i b = _mm_set1_epi16(static_cast<short>(needles_[needleCount_ > 1 ? 1 : 0]));
  const __m128i c = _mm_set1_epi16(static_cast<short>(needles_[needleCount_ - 1]));
  for (; from + 8 <= n; from += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, a), _mm_cmpeq_epi16(v, b)),
                                     _mm_cmpeq_epi16(v, c));
    if (const int mask = _mm_movemask_epi8(hit)) return from + __builtin_ctz(mask) / 2;
  }
#endif
  for (; from < n; ++from) {
    for (int k = 0; k < needleCount_; ++k) {
      if (p[from] == needles_[k]) return from;
    }
  }
  return n;
}

Program::Program(std::u16string_view pattern, int32_t flags) : pattern_(pattern), flags_(flags) {
  std::vector<uint32_t> expandedOrigin;
  std::u16string internal;
  try {
    const std::u16string expanded = ExpandEspaces(pattern_, &expandedOrigin);
    try {
      internal = ProcessParentheses(expanded, groupCount_, &origin_);
    } catch (const PatternError& error) {
      // Its position is in the expanded text; every character there came from the pattern.
      throw PatternError{error, error.position < expandedOrigin.size()
                                    ? expandedOrigin[error.position]
                                    : pattern_.size()};
    }
  } catch (const PatternError& error) {
    error_ = error;
    errorPosition_ = error.position;
    return;
  } catch (const EngineError& error) {
    error_ = error;
    return;
  }
  for (uint32_t& at : origin_)
    at = expandedOrigin[at];
  graph_ = std::make_unique<Graph>(internal, IgnoreCase(), groupCount_);
  filter_ = StartFilter::For(*graph_, IgnoreCase());
}

std::optional<size_t> Program::PatternPosition(const Node* node, uint64_t offset) const {
  const std::optional<size_t> internal = graph_->InternalPosition(node, offset);
  if (!internal || *internal >= origin_.size()) return std::nullopt;
  return origin_[*internal];
}

}  // namespace quarn
