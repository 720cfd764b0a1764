// Compiling a pattern, and proving where its matches can begin.
#include "program.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>

#include "analysis.h"
#include "first.h"
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

}  // namespace

StartFilter StartFilter::For(const Graph& graph, bool folded) {
  StartFilter filter;
  std::optional<FirstCharacters> first = FindFirstCharacters(graph, graph.Root());
  if (!first) return filter;
  filter.active_ = true;
  filter.levels_ = first->levels;
  filter.first_ = CharacterSet(first->ranges, folded);
  // The code units of the subject that the filter admits, when they are few: those in the
  // ranges or, folded, those whose lower case is.
  std::vector<char16_t> units;
  for (const auto& [lo, hi] : first->ranges) {
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
    for (const char16_t c : units) {
      if (c < 256) filter.bytes_[filter.byteCount_++] = static_cast<uint8_t>(c);
    }
  }
  return filter;
}

template <>
size_t StartFilter::FindNeedle(Units<char16_t> text, size_t from) const {
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

// An 8-bit unit is never a needle above 255; those are left out of the byte needles.
template <>
size_t StartFilter::FindNeedle(Units<uint8_t> text, size_t from) const {
  const uint8_t* p = text.data();
  const size_t n = text.size();
  if (byteCount_ == 0) return n;
#ifdef __SSE2__
  const __m128i a = _mm_set1_epi8(static_cast<char>(bytes_[0]));
  const __m128i b = _mm_set1_epi8(static_cast<char>(bytes_[byteCount_ > 1 ? 1 : 0]));
  const __m128i c = _mm_set1_epi8(static_cast<char>(bytes_[byteCount_ - 1]));
  for (; from + 16 <= n; from += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, a), _mm_cmpeq_epi8(v, b)),
                                     _mm_cmpeq_epi8(v, c));
    if (const int mask = _mm_movemask_epi8(hit)) return from + __builtin_ctz(mask);
  }
#endif
  for (; from < n; ++from) {
    for (int k = 0; k < byteCount_; ++k) {
      if (p[from] == bytes_[k]) return from;
    }
  }
  return n;
}

Program::Program(std::u16string_view pattern, int32_t flags) : pattern_(pattern), flags_(flags) {
  std::vector<uint32_t> expandedOrigin;
  std::vector<uint32_t> expandedEnd;
  std::u16string internal;
  try {
    const std::u16string expanded = ExpandEspaces(pattern_, &expandedOrigin, &expandedEnd);
    try {
      internal = ProcessParentheses(expanded, groupCount_, &origin_);
    } catch (quarn::Error& error) {
      // Its position is in the expanded text; every character there came from the pattern.
      if (error.position) {
        error.position = *error.position < expandedOrigin.size() ? expandedOrigin[*error.position]
                                                                 : pattern_.size();
      }
      throw;
    }
  } catch (const quarn::Error& error) {
    error_ = error;
    return;
  }
  sourceEnd_.reserve(origin_.size());
  for (uint32_t& at : origin_) {
    sourceEnd_.push_back(expandedEnd[at]);
    at = expandedOrigin[at];
  }
  graph_ = std::make_unique<Graph>(internal, IgnoreCase(), groupCount_);
  filter_ = StartFilter::For(*graph_, IgnoreCase());
}

Program::~Program() = default;

std::u16string_view Program::Internal() const {
  if (!graph_) return {};
  const Node* root = graph_->Root();
  return root->length == 0 ? std::u16string_view() : std::u16string_view(root->piece->text);
}

const Analysis& Program::Analyzed() const {
  std::call_once(analysisMade_, [this] {
    analysis_ = std::make_unique<const Analysis>(Analyze(*this));
    analysed_.store(true, std::memory_order_release);
  });
  return *analysis_;
}

const PatternFacts* Program::FactsWorthUsing(bool budgeted) const {
  if (!budgeted && !analysed_.load(std::memory_order_acquire) &&
      !costly_.load(std::memory_order_relaxed)) {
    return nullptr;
  }
  return &Analyzed().facts;
}

std::optional<size_t> Program::PatternPosition(const Node* node, uint64_t offset) const {
  const std::optional<size_t> internal = graph_->InternalPosition(node, offset);
  if (!internal || *internal >= origin_.size()) return std::nullopt;
  return origin_[*internal];
}

}  // namespace quarn
