// Compiling a pattern, and proving where its matches can begin.
#include "program.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <type_traits>

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
  filter.atEnd_ = first->atEnd;
  filter.levels_ = first->levels;
  filter.first_ = CharacterSet(first->ranges, folded);
  const Plan& root = graph.PlanOf(graph.Root());
  filter.wordStart_ =
      root.kind == PlanKind::kAtom && root.atom.kind == AtomKind::kWordBoundary &&
      std::all_of(first->ranges.begin(), first->ranges.end(), [&](const auto& range) {
        for (unsigned c = range.first; c <= range.second; ++c) {
          if (!IsWordCharacter(static_cast<char16_t>(c), folded)) return false;
        }
        return true;
      });
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
  } else if (!folded && !first->ranges.empty() && first->ranges.size() <= 3) {
    for (const auto& [lo, hi] : first->ranges) {
      filter.rangeLow_[filter.rangeCount_] = lo;
      filter.rangeSpan_[filter.rangeCount_++] = static_cast<char16_t>(hi - lo);
    }
  }
  return filter;
}

namespace {

// Whether c lies in one of count ranges, each of the units low to low + span.
template <typename Unit>
bool InRanges(Unit c, int count, const char16_t* low, const char16_t* span) {
  for (int k = 0; k < count; ++k) {
    if (static_cast<char16_t>(c - low[k]) <= span[k]) return true;
  }
  return false;
}

}  // namespace

// A unit lies in a range when its distance above the range's low unit, wrapped around, is at
// most the span: the saturating subtraction of the span then leaves zero. Bytes see a range
// cut at 255, and none of one that begins above it.
template <typename Unit>
size_t StartFilter::FindInRanges(Units<Unit> text, size_t from) const {
  const Unit* p = text.data();
  const size_t n = text.size();
#ifdef __SSE2__
  constexpr bool kWide = std::is_same_v<Unit, char16_t>;
  Unit lows[3];
  Unit spans[3];
  int count = 0;
  for (int k = 0; k < rangeCount_; ++k) {
    if (!kWide && rangeLow_[k] > 255) continue;
    lows[count] = static_cast<Unit>(rangeLow_[k]);
    spans[count++] =
        static_cast<Unit>(kWide ? rangeSpan_[k] : std::min<int>(rangeSpan_[k], 255 - rangeLow_[k]));
  }
  if (count == 0) return n;
  const auto splat = [](Unit unit) {
    return kWide ? _mm_set1_epi16(static_cast<short>(unit))
                 : _mm_set1_epi8(static_cast<char>(unit));
  };
  __m128i low[3];
  __m128i span[3];
  for (int k = 0; k < 3; ++k) {
    const int r = std::min(k, count - 1);  // the last range again, where there are fewer
    low[k] = splat(lows[r]);
    span[k] = splat(spans[r]);
  }
  const __m128i zero = _mm_setzero_si128();
  const auto in = [&](__m128i v, int k) {
    if constexpr (kWide) {
      return _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(v, low[k]), span[k]), zero);
    } else {
      return _mm_cmpeq_epi8(_mm_subs_epu8(_mm_sub_epi8(v, low[k]), span[k]), zero);
    }
  };
  constexpr size_t kLanes = 16 / sizeof(Unit);
  for (; from + kLanes <= n; from += kLanes) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from));
    const __m128i hit = _mm_or_si128(_mm_or_si128(in(v, 0), in(v, 1)), in(v, 2));
    if (const int mask = _mm_movemask_epi8(hit)) return from + __builtin_ctz(mask) / sizeof(Unit);
  }
#endif
  while (from < n && !InRanges(p[from], rangeCount_, rangeLow_, rangeSpan_))
    ++from;
  return from;
}

template size_t StartFilter::FindInRanges(Units<char16_t> text, size_t from) const;
template size_t StartFilter::FindInRanges(Units<uint8_t> text, size_t from) const;

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

Program::Program(std::u16string_view pattern, int32_t flags, Edges edges)
    : pattern_(pattern), flags_(flags), edges_(edges) {
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
  if (edges_ != Edges::kAnywhere) Enclose(internal);
  graph_ = std::make_unique<Graph>(internal, IgnoreCase(), groupCount_);
  filter_ = StartFilter::For(*graph_, IgnoreCase());
  leadingRun_ = quarn::LeadingRun(*graph_);
}

Program::~Program() = default;

namespace {

using namespace std::string_view_literals;

// What "\A(?:", ")\Z" and ")(?!\w)" are in the internal form.
constexpr std::u16string_view kLineStart = u"\\A("sv;
constexpr std::u16string_view kLineEnd = u")\\Z"sv;
constexpr std::u16string_view kWordStart = u"("sv;
constexpr std::u16string_view kWordEnd = u")(?![a-zA-Z0-9_\u0080\u00FF])"sv;
// Only the end of the subject, where no character follows: what a pattern's final lone
// backslash matches.
constexpr std::u16string_view kSubjectEnd = u"(?![\\\0-\uFFFF])"sv;

// Where a bracket expression has a "]" as its first member that a "(" or ")" follows, or 0.
size_t LeadingBracket(std::u16string_view piece) {
  if (!piece.starts_with(u'[')) return 0;
  const size_t member = piece.starts_with(u"[^") ? 2 : 1;
  if (piece.size() <= member || piece[member] != u']') return 0;
  return piece.find_first_of(u"()", member) == std::u16string_view::npos ? 0 : member;
}

}  // namespace

// Encloses the internal form in a group between the edges' assertions. Three readings of the
// pattern would reach past the group, so they are written as what they read as inside it: a
// ")" outside every group is the character itself ("\)"), a backslash that ends the pattern
// matches only at the end of the subject, and a bracket expression's leading "]" member is
// escaped where the finder of groups would end the expression there. Each character written keeps
// the source of the one it stands for; the assertions stand at the pattern's start and end.
void Program::Enclose(std::u16string& internal) {
  const uint32_t end = static_cast<uint32_t>(pattern_.size());
  std::u16string text;
  std::vector<uint32_t> origin;
  std::vector<uint32_t> sourceEnd;
  auto add = [&](std::u16string_view piece, uint32_t from, uint32_t to) {
    text += piece;
    origin.resize(text.size(), from);
    sourceEnd.resize(text.size(), to);
  };
  auto copy = [&](size_t from, size_t to) {
    text.append(internal, from, to - from);
    origin.insert(origin.end(), origin_.begin() + from, origin_.begin() + to);
    sourceEnd.insert(sourceEnd.end(), sourceEnd_.begin() + from, sourceEnd_.begin() + to);
  };
  add(edges_ == Edges::kLine ? kLineStart : kWordStart, 0, 0);
  GroupEnds groups(internal);
  for (size_t i = 0; i < internal.size();) {
    // The piece at i as the rewriting copied it: a group, a bracket expression, an escaped
    // pair or one character; the rewriting checked that groups and brackets close.
    size_t size = 1;
    const char16_t c = internal[i];
    if (c == u'(') {
      size = groups.Close(i).value_or(i) + 1 - i;
    } else if (c == u'[') {
      std::u16string_view rest = std::u16string_view(internal).substr(i);
      size = std::max<size_t>(1, GetSquareBrackets(rest).size());
    } else if (c == u'\\' && i + 1 < internal.size()) {
      size = 2;
    }
    if (c == u')' || (c == u'\\' && size == 1)) {
      add(c == u')' ? u"\\)"sv : kSubjectEnd, origin_[i], sourceEnd_[i]);
    } else if (const size_t member =
                   LeadingBracket(std::u16string_view(internal).substr(i, size))) {
      // The finder of groups ends a bracket expression at its first "]", even one that is a
      // member; a "(" or ")" after it would then open or close a group. Escaped, that "]" is
      // the same member.
      copy(i, i + member);
      add(u"\\", origin_[i + member], sourceEnd_[i + member]);
      copy(i + member, i + size);
    } else {
      copy(i, i + size);
    }
    i += size;
  }
  add(edges_ == Edges::kLine ? kLineEnd : kWordEnd, end, end);
  internal = std::move(text);
  origin_ = std::move(origin);
  sourceEnd_ = std::move(sourceEnd);
}

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

void Program::NoteSteps(uint64_t steps) const {
  // One search past the first bound, or searches of some steps adding up to the second: about
  // the cost of the analysis, tens of microseconds.
  constexpr uint64_t kCostlySearch = 1024, kCounted = 256, kCostlyTotal = 8192;
  if (steps <= kCounted || costly_.load(std::memory_order_relaxed)) return;
  if (steps > kCostlySearch ||
      counted_.fetch_add(steps, std::memory_order_relaxed) + steps > kCostlyTotal) {
    costly_.store(true, std::memory_order_relaxed);
  }
}

std::optional<size_t> Program::PatternPosition(const Node* node, uint64_t offset) const {
  const std::optional<size_t> internal = graph_->InternalPosition(node, offset);
  if (!internal || *internal >= origin_.size()) return std::nullopt;
  return origin_[*internal];
}

}  // namespace quarn
