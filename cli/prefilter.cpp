// The stretches to look for come from each pattern's facts. A line is tested by looking for
// each stretch's rarest character first, a few bytes at a time where its members are few; a
// block of lines is scanned once for all stretches at a time, 64 bytes a step, comparing
// bytes with their anchors or, for several stretches with AVX2, looking their first bytes up
// in a fingerprint.
#include "prefilter.h"

#include <quarn/analysis.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#ifdef QUARN_CLI_AVX2
#include <immintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <optional>

#include "input.h"
#include "search_limits.h"

namespace quarn::cli {

namespace {

using Set = Prefilter::Set;
using Sets = std::vector<Set>;  // one stretch of characters

// An anchor of at most this many members is looked for by comparing bytes with each.
constexpr int kFewMembers = 4;
// The first characters of a match are worth looking for only when few lines hold one.
constexpr int kMostFirstCharacters = 16;
// Required texts checked of a line beside the stretches looked for.
constexpr size_t kMostRequired = 4;
// Members of anchors and second positions that Skippable compares a block of bytes with, each
// in turn; with more, it looks each byte up.
constexpr size_t kMostCompared = 24;
// The bytes Skippable looks at in one step of its scan: the lines that end in a step are
// shorter than that, so only the first needs its length checked.
constexpr size_t kStep = 64;
// Stretches that Skippable can tell by the byte at their anchor, one bit each.
constexpr size_t kMostIndexed = 64;
// The first positions of stretches that a fingerprint holds.
constexpr size_t kMostFingerprinted = 3;
// An anchor at least this common (see Commonness) is looked for together with a second
// position of its stretch.
constexpr int kCommonAnchor = 32;

std::vector<unsigned char> MembersOf(const Set& set) {
  std::vector<unsigned char> members;
  for (unsigned char c = 0; c < 128; ++c) {
    if (set.Has(c)) members.push_back(c);
  }
  return members;
}

// How often a byte turns up in text, roughly, on a scale of 0 to 100: lowercase letters by
// their frequency in English, then capitals, digits and the rest. The anchor of a stretch is
// the position whose members add up least, so that a scan stops at as few places as it can.
int Commonness(unsigned char c) {
  constexpr std::string_view kLetters = "etaoinsrhldcumfpgwybvkxjqz";  // most common first
  if (c == ' ') return 100;
  if (c >= 'a' && c <= 'z') return 90 - 3 * static_cast<int>(kLetters.find(static_cast<char>(c)));
  if (c >= 'A' && c <= 'Z') {
    return 30 - static_cast<int>(kLetters.find(static_cast<char>(c - 'A' + 'a'))) / 2;
  }
  if (c >= '0' && c <= '9') return 20;
  if (c == '\n' || c == ',' || c == '.' || c == '-') return 40;
  return 10;
}

int Commonness(const Set& set) {
  int sum = 0;
  for (unsigned char c = 0; c < 128; ++c) {
    if (set.Has(c)) sum += Commonness(c);
  }
  return sum;
}

// The position of the rarest set among sets but skip (which may be past the end).
size_t Rarest(const Sets& sets, size_t skip) {
  size_t rarest = skip == 0 ? 1 : 0;
  for (size_t i = rarest + 1; i < sets.size(); ++i) {
    if (i != skip && Commonness(sets[i]) < Commonness(sets[rarest])) rarest = i;
  }
  return rarest;
}

Prefilter::Stretch StretchOf(const Sets& sets, bool exact) {
  Prefilter::Stretch stretch;
  stretch.sets = sets;
  stretch.exact = exact;
  stretch.anchor = Rarest(sets, sets.size());
  stretch.second = sets.size() > 1 ? Rarest(sets, stretch.anchor) : stretch.anchor;
  if (sets[stretch.anchor].Size() <= kFewMembers) stretch.members = MembersOf(sets[stretch.anchor]);
  return stretch;
}

// The ASCII characters whose fold is c (under ignore case) or that are c.
Set Members(char16_t c, bool fold) {
  Set set;
  for (char16_t ascii = 0; ascii < 128; ++ascii) {
    if ((fold ? FoldCase(ascii) : ascii) == c) set.Add(static_cast<unsigned char>(ascii));
  }
  return set;
}

// The characters of text, each as the set of ASCII characters that compare equal with it.
Sets Texts(std::u16string_view text, bool fold) {
  Sets sets;
  for (const char16_t c : text)
    sets.push_back(Members(c, fold));
  return sets;
}

// Whether text's characters are all ASCII and compared as they are: then the stretch of
// Texts(text, fold) holds every character that compares equal with one of them.
bool ExactText(std::u16string_view text, bool fold) {
  return !fold && std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 128; });
}

// The same for the first characters of FirstCharacters.
bool ExactFirst(const PatternFacts& facts) {
  return !facts.ignoreCase &&
         std::all_of(facts.firstCharacters.begin(), facts.firstCharacters.end(),
                     [](const auto& range) { return range.second < 128; });
}

// The ASCII characters a match can begin with, when the facts prove them at this depth and
// every match takes a character (an empty match needs none).
std::optional<Set> FirstCharacters(const PatternFacts& facts, const Limits& limits) {
  if (facts.minLength == 0 || facts.firstCharacters.empty() || facts.firstLevels > limits.depth) {
    return std::nullopt;
  }
  Set first;
  for (char16_t ascii = 0; ascii < 128; ++ascii) {
    const char16_t c = facts.ignoreCase ? FoldCase(ascii) : ascii;
    for (const auto& [from, to] : facts.firstCharacters) {
      if (c >= from && c <= to) first.Add(static_cast<unsigned char>(ascii));
    }
  }
  return first;
}

// The stretches one of which a line that a match of the pattern lies in holds: the texts that
// are its matches, else the texts of the facts, or else the first characters when few lines
// hold one; nullopt when none.
std::optional<std::vector<Prefilter::Stretch>> Needed(const PatternFacts& facts,
                                                      const std::optional<Set>& first) {
  std::vector<Prefilter::Stretch> stretches;
  const std::vector<std::u16string>& texts =
      facts.matchLiterals.empty() ? facts.anyOfLiterals : facts.matchLiterals;
  if (!texts.empty()) {
    for (const std::u16string& text : texts) {
      stretches.push_back(
          StretchOf(Texts(text, facts.ignoreCase), ExactText(text, facts.ignoreCase)));
    }
    return stretches;
  }
  if (!first || first->Size() > kMostFirstCharacters) return std::nullopt;
  stretches.push_back(StretchOf(Sets{*first}, ExactFirst(facts)));
  return stretches;
}

}  // namespace

int Prefilter::Set::Size() const {
  return std::popcount(bits[0]) + std::popcount(bits[1]);
}

Prefilter::Prefilter(const LineMatcher& matcher, const Limits& limits, uint64_t maxSteps,
                     Vectors vectors)
    : decides_(true), maxSteps_(maxSteps) {
  uint64_t longest = LongestSubject(limits);
  std::vector<Stretch> stretches;
  std::vector<Required> requireds;
  for (const PatternFacts& facts : matcher.Facts()) {
    if (!facts.complete || !facts.faultFree) return;
    // No search of a line up to this long can reach the depth limit.
    const std::optional<uint64_t> safe = facts.depthSafeLength(limits.depth);
    if (!safe) return;
    longest = std::min(longest, *safe);
    const std::optional<Set> first = FirstCharacters(facts, limits);
    std::optional<std::vector<Stretch>> needed = Needed(facts, first);
    if (!needed) return;
    Required& required = requireds.emplace_back();
    required.first = stretches.size();
    std::move(needed->begin(), needed->end(), std::back_inserter(stretches));
    required.end = stretches.size();
    required.decisive = !facts.matchLiterals.empty() && facts.levelsPerCharacter;
    decides_ = decides_ && required.decisive;
    if (required.decisive) {  // its texts say all there is
      size_t longestText = 0;
      for (const std::u16string& text : facts.matchLiterals)
        longestText = std::max(longestText, text.size());
      stepsPerStart_ += facts.matchLiterals.size() * (longestText + 1) *
                        (uint64_t{*facts.levelsPerCharacter} + 1);
      continue;
    }
    for (size_t i = 0; i < facts.requiredLiterals.size() && i < kMostRequired; ++i) {
      const std::u16string& text = facts.requiredLiterals[i];
      required.all.push_back(
          StretchOf(Texts(text, facts.ignoreCase), ExactText(text, facts.ignoreCase)));
    }
    // Beside texts, a line must also hold a character a match can begin with.
    if (first && first->Size() <= kMostFirstCharacters && !facts.anyOfLiterals.empty()) {
      required.all.push_back(StretchOf(Sets{*first}, ExactFirst(facts)));
    }
  }
  if (longest == 0 || stretches.empty()) return;
  selects_ = decides_ && std::none_of(stretches.begin(), stretches.end(), [](const Stretch& s) {
               return std::any_of(s.sets.begin(), s.sets.end(),
                                  [](const Set& set) { return set.Has('\n') || set.Has('\r'); });
             });
  stretches_ = std::move(stretches);
  required_ = std::move(requireds);
  const auto exact = [](const Stretch& stretch) { return stretch.exact; };
  anyExact_ = std::any_of(stretches_.begin(), stretches_.end(), exact) ||
              std::any_of(required_.begin(), required_.end(), [&](const Required& required) {
                return std::any_of(required.all.begin(), required.all.end(), exact);
              });
  // Anchors that are rare enough are looked for alone: a second position would cost more to
  // compare than the stops it saves.
  Set rare;
  size_t compared = 0;
  for (size_t i = 0; i < stretches_.size(); ++i) {
    const Stretch& stretch = stretches_[i];
    const Set& anchor = stretch.sets[stretch.anchor];
    anchors_.Add(anchor);
    for (unsigned char c = 0; c < 128 && i < kMostIndexed; ++c) {
      if (anchor.Has(c)) anchoredBy_[c] |= uint64_t{1} << i;
    }
    if (stretch.second == stretch.anchor || Commonness(anchor) < kCommonAnchor) {
      rare.Add(anchor);
      continue;
    }
    const size_t low = std::min(stretch.anchor, stretch.second);
    reachBack_ = std::max(reachBack_, stretch.anchor - low);
    reachAhead_ = std::max(reachAhead_, stretch.second - low);
    probes_.push_back({MembersOf(anchor), MembersOf(stretch.sets[stretch.second]),
                       static_cast<std::ptrdiff_t>(stretch.second) -
                           static_cast<std::ptrdiff_t>(stretch.anchor)});
    compared += probes_.back().anchor.size() + probes_.back().second.size();
  }
  rareAnchors_ = MembersOf(rare);
  compared_ = rareAnchors_;
  for (const Probe& probe : probes_) {
    compared_.insert(compared_.end(), probe.anchor.begin(), probe.anchor.end());
    compared_.insert(compared_.end(), probe.second.begin(), probe.second.end());
  }
  compared += rareAnchors_.size();
  blockScan_ = compared <= kMostCompared;
  longest_ = static_cast<size_t>(std::min<uint64_t>(longest, std::numeric_limits<size_t>::max()));
#ifdef QUARN_CLI_AVX2
  avx2_ = vectors == Vectors::Widest && __builtin_cpu_supports("avx2") &&
          __builtin_cpu_supports("popcnt");
  // Comparing with a few rare anchors costs a little less than a fingerprint where they are
  // as rare as they seem, and far more where they are not (the capitals of a licence text).
  if (avx2_) TakeFingerprint();
#endif
}

#ifdef QUARN_CLI_AVX2
void Prefilter::TakeFingerprint() {
  const auto shortest = std::min_element(
      stretches_.begin(), stretches_.end(),
      [](const Stretch& a, const Stretch& b) { return a.sets.size() < b.sets.size(); });
  if (stretches_.size() < 2 || stretches_.size() > kMostIndexed || shortest->sets.size() < 2) {
    return;
  }
  // Where every stretch begins with a rare character, two positions tell them well enough: a
  // third costs more than the stops it would spare.
  const bool rareStarts = std::all_of(stretches_.begin(), stretches_.end(), [](const Stretch& s) {
    return Commonness(s.sets[0]) < kCommonAnchor;
  });
  fingerprint_.resize(std::min(rareStarts ? 2 : kMostFingerprinted, shortest->sets.size()));
  for (size_t i = 0; i < stretches_.size(); ++i) {
    const auto bucket = static_cast<uint8_t>(1u << (i % 8));
    for (size_t at = 0; at < fingerprint_.size(); ++at) {
      for (const unsigned char c : MembersOf(stretches_[i].sets[at])) {
        fingerprint_[at].low[c & 15] |= bucket;
        fingerprint_[at].high[c >> 4] |= bucket;
      }
    }
    for (const unsigned char c : MembersOf(stretches_[i].sets[0]))
      startedBy_[c] |= uint64_t{1} << i;
  }
  reachAhead_ = std::max(reachAhead_, fingerprint_.size() - 1);
}
#endif

size_t Prefilter::NextAnchor(const unsigned char* bytes, size_t from, size_t end,
                             const Stretch& stretch) {
  const std::vector<unsigned char>& members = stretch.members;
  if (members.size() == 1) {
    const void* hit = std::memchr(bytes + from, members[0], end - from);
    return hit ? static_cast<size_t>(static_cast<const unsigned char*>(hit) - bytes) : end;
  }
#ifdef __SSE2__
  if (!members.empty()) {
    for (; from + 16 <= end; from += 16) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + from));
      __m128i any = _mm_setzero_si128();
      for (const unsigned char c : members)
        any = _mm_or_si128(any, _mm_cmpeq_epi8(chunk, _mm_set1_epi8(static_cast<char>(c))));
      if (const int mask = _mm_movemask_epi8(any)) return from + std::countr_zero(unsigned(mask));
    }
  }
#endif
  const Set& anchor = stretch.sets[stretch.anchor];
  while (from < end && !anchor.Has(bytes[from]))
    ++from;
  return from;
}

size_t Prefilter::Find(const unsigned char* bytes, size_t size, const Stretch& stretch) {
  const size_t length = stretch.sets.size();
  if (size < length) return size;
  // The anchor of a stretch that fits lies in [first, end).
  const size_t first = stretch.anchor;
  const size_t end = size - length + stretch.anchor + 1;
  for (size_t at = NextAnchor(bytes, first, end, stretch); at < end;
       at = NextAnchor(bytes, at + 1, end, stretch)) {
    const size_t start = at - stretch.anchor;
    size_t i = 0;
    while (i < length && stretch.sets[i].Has(bytes[start + i]))
      ++i;
    if (i == length) return start;
  }
  return size;
}

bool Prefilter::Holds(std::string_view line, const Stretch& stretch) {
  return Find(reinterpret_cast<const unsigned char*>(line.data()), line.size(), stretch) <
         line.size();
}

bool Prefilter::WithinBudget(std::string_view line, bool ascii) const {
  if (maxSteps_ == 0) return true;
  // A line of n bytes has from n / 3 (n when ASCII) to n UTF-16 units; every pattern may be
  // tried at each start, and the budget grows with the units.
  const uint64_t bytes = line.size();
  const uint64_t most = bytes + 1;
  return most <= std::numeric_limits<uint64_t>::max() / stepsPerStart_ &&
         most * stepsPerStart_ <= StepBudget(maxSteps_, ascii ? bytes : bytes / 3);
}

Prefilter::Verdict Prefilter::Judge(std::string_view line, bool invalidNoted, size_t anchor) const {
  // No line holds more UTF-16 units than bytes.
  if (line.size() > longest_) return Verdict::kMaybe;
  const bool ascii = IsAscii(line);
  if (!ascii && ((!anyExact_ && !decides_) || (invalidNoted && !IsUtf8(line)))) {
    return Verdict::kMaybe;
  }
  // Whether a stretch is in the line; nullopt when the bytes cannot tell.
  const auto held = [&](const Stretch& stretch) -> std::optional<bool> {
    if (Holds(line, stretch)) return true;
    if (!ascii && !stretch.exact) return std::nullopt;
    return false;
  };
  if (decides_ && anchor < line.size() &&
      StretchAt(reinterpret_cast<const unsigned char*>(line.data()), line.size(), anchor)) {
    return WithinBudget(line, ascii) ? Verdict::kYes : Verdict::kMaybe;
  }
  Verdict verdict = Verdict::kNo;
  for (const Required& required : required_) {
    bool unknown = false, found = false;
    for (size_t i = required.first; i < required.end && !found; ++i) {
      const std::optional<bool> there = held(stretches_[i]);
      found = there.value_or(false);
      unknown = unknown || !there;
    }
    if (found && decides_) return WithinBudget(line, ascii) ? Verdict::kYes : Verdict::kMaybe;
    if (!found && !unknown) continue;
    const bool lacks = std::any_of(required.all.begin(), required.all.end(),
                                   [&](const Stretch& stretch) { return held(stretch) == false; });
    if (!lacks) verdict = Verdict::kMaybe;
  }
  return verdict;
}

bool Prefilter::StretchAt(const unsigned char* bytes, size_t size, size_t at) const {
  const auto there = [&](const Stretch& stretch) {
    const size_t length = stretch.sets.size();
    if (at < stretch.anchor || at - stretch.anchor + length > size) return false;
    const unsigned char* start = bytes + (at - stretch.anchor);
    if (!stretch.sets[stretch.second].Has(start[stretch.second])) return false;
    for (size_t i = 0; i < length; ++i) {
      if (!stretch.sets[i].Has(start[i])) return false;
    }
    return true;
  };
  if (bytes[at] >= 128 || !anchors_.Has(bytes[at])) return false;
  if (stretches_.size() > kMostIndexed)
    return std::any_of(stretches_.begin(), stretches_.end(), there);
  for (uint64_t which = anchoredBy_[bytes[at]]; which != 0; which &= which - 1) {
    if (there(stretches_[static_cast<size_t>(std::countr_zero(which))])) return true;
  }
  return false;
}

namespace {

// Takes the line breaks at base + the bits of breaks into skip, in order; false at the end of
// a line longer than longest, which skip then stops before.
bool TakeBreaks(Prefilter::Skip& skip, size_t longest, size_t base, uint64_t breaks) {
  for (; breaks != 0; breaks &= breaks - 1) {
    const size_t at = base + static_cast<size_t>(std::countr_zero(breaks));
    if (at - skip.bytes > longest) return false;
    ++skip.lines;
    skip.bytes = at + 1;
  }
  return true;
}

}  // namespace

Prefilter::Skip Prefilter::Skippable(std::string_view text, bool select) const {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  Skip skip;
  // Looks at the bytes before end one at a time; whether it stopped.
  size_t i = 0;
  const auto stepTo = [&](size_t end) {
    for (; i < end; ++i) {
      skip.nulFree = skip.nulFree && bytes[i] != 0;
      if (bytes[i] >= 0x80 || (bytes[i] == '\n' && !TakeBreaks(skip, longest_, i, 1))) {
        skip.stopped = true;
        return true;
      }
      if (StretchAt(bytes, size, i)) {
        skip.stopped = true;
        skip.anchor = i - skip.bytes;
        return true;
      }
    }
    return false;
  };
#ifdef __SSE2__
#ifdef QUARN_CLI_AVX2
  const bool fingerprinted = !fingerprint_.empty();
#else
  const bool fingerprinted = false;
#endif
  if ((blockScan_ || fingerprinted) && longest_ >= kStep) {
    // Stretches are found where they begin from the first byte, or by their anchors after
    // the first other positions.
    if (!fingerprinted && stepTo(std::min(size, reachBack_))) return skip;
#ifdef QUARN_CLI_AVX2
    const bool stopped =
        avx2_ ? StepAvx2(bytes, size, i, select, skip) : StepSse2(bytes, size, i, select, skip);
#else
    const bool stopped = StepSse2(bytes, size, i, select, skip);
#endif
    if (stopped) return skip;
  }
#endif
  stepTo(size);
  return skip;
}

bool Prefilter::PassSelected(const unsigned char* bytes, size_t size, Skip& skip) const {
  if (!selects_) return false;
  const size_t at = skip.bytes + skip.anchor;
  const void* lf = std::memchr(bytes + at, '\n', size - at);
  if (!lf) return false;
  const auto end = static_cast<size_t>(static_cast<const unsigned char*>(lf) - bytes);
  const size_t cr = bytes[end - 1] == '\r';
  const std::string_view line(reinterpret_cast<const char*>(bytes) + skip.bytes,
                              end - cr - skip.bytes);
  // The scan saw only ASCII before the stretch, and told of any NUL there.
  const std::string_view rest = line.substr(skip.anchor);
  if (line.size() > longest_ || !IsAscii(rest) || rest.find('\0') != rest.npos ||
      !WithinBudget(line, true)) {
    return false;
  }
  ++skip.lines;
  ++skip.selected;
  skip.bytes = end + 1;
  skip.anchor = std::string_view::npos;
  return true;
}

#ifdef __SSE2__
inline Prefilter::Next Prefilter::StopsIn(const unsigned char* bytes, size_t size, size_t base,
                                          uint64_t hits, uint64_t breaks, bool select, bool byStart,
                                          Skip& skip) const {
  for (; hits != 0; hits &= hits - 1) {
    const auto bit = static_cast<size_t>(std::countr_zero(hits));
    const bool stretch = bytes[base + bit] < 0x80;
    size_t anchor = std::string_view::npos;
#ifdef QUARN_CLI_AVX2
    if (stretch && byStart) anchor = StretchFrom(bytes, size, base + bit);
#endif
    if (stretch && !byStart && StretchAt(bytes, size, base + bit)) anchor = base + bit;
    if (!stretch || anchor != std::string_view::npos) {
      const bool inLine = TakeBreaks(skip, longest_, base, breaks & ((uint64_t{1} << bit) - 1));
      if (stretch && inLine) {
        skip.anchor = anchor - skip.bytes;
        if (select && PassSelected(bytes, size, skip)) return Next::kResume;
      }
      skip.stopped = true;
      return Next::kStop;
    }
  }
  if (breaks == 0) return Next::kStep;
  if (base + static_cast<size_t>(std::countr_zero(breaks)) - skip.bytes > longest_) {
    skip.stopped = true;
    return Next::kStop;
  }
  skip.bytes = base + kStep - static_cast<size_t>(std::countl_zero(breaks));
  return Next::kStep;
}

// Four blocks of 16 bytes a step. Each byte of sums counts the line breaks in its lane, for at
// most 255 blocks before they are added up.
bool Prefilter::StepSse2(const unsigned char* bytes, size_t size, size_t& i, bool select,
                         Skip& skip) const {
  __m128i members[kMostCompared];
  for (size_t k = 0; k < compared_.size(); ++k)
    members[k] = _mm_set1_epi8(static_cast<char>(compared_[k]));
  const size_t rareCount = rareAnchors_.size();
  const __m128i lf = _mm_set1_epi8('\n');
  __m128i sums = _mm_setzero_si128();
  int summed = 0;
  __m128i nuls = _mm_setzero_si128();  // the NUL bytes seen
  const auto addSums = [&] {
    const __m128i total = _mm_sad_epu8(sums, _mm_setzero_si128());
    skip.lines += static_cast<size_t>(_mm_cvtsi128_si32(total) + _mm_extract_epi16(total, 4));
    sums = _mm_setzero_si128();
    summed = 0;
  };
  // Whether one of members[k, k + n) is in each byte of block.
  const auto anyOf = [&](__m128i block, size_t k, size_t n) {
    __m128i any = _mm_setzero_si128();
    for (const size_t end = k + n; k < end; ++k)
      any = _mm_or_si128(any, _mm_cmpeq_epi8(block, members[k]));
    return any;
  };
  // The stops that may be at each byte of the 16 at bytes + at.
  const auto hitsAt = [&](size_t at) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
    __m128i hits = _mm_or_si128(chunk, anyOf(chunk, 0, rareCount));
    size_t k = rareCount;
    for (const Probe& probe : probes_) {
      const __m128i found = anyOf(chunk, k, probe.anchor.size());
      k += probe.anchor.size();
      const __m128i other =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at + probe.apart));
      hits = _mm_or_si128(hits, _mm_and_si128(found, anyOf(other, k, probe.second.size())));
      k += probe.second.size();
    }
    return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(hits)));
  };
  while (i + kStep + reachAhead_ <= size) {
    const uint64_t hits =
        hitsAt(i) | hitsAt(i + 16) << 16 | hitsAt(i + 32) << 32 | hitsAt(i + 48) << 48;
    __m128i lfs[4];
    uint64_t breaks = 0;
    for (size_t k = 0; k < 4; ++k) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 16 * k));
      lfs[k] = _mm_cmpeq_epi8(block, lf);
      nuls = _mm_or_si128(nuls, _mm_cmpeq_epi8(block, _mm_setzero_si128()));
      breaks |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(lfs[k]))) << (16 * k);
    }
    const Next next = StopsIn(bytes, size, i, hits, breaks, select, false, skip);
    if (next == Next::kStop) {
      addSums();
      skip.nulFree = skip.nulFree && _mm_movemask_epi8(nuls) == 0;
      return true;
    }
    if (next == Next::kResume) {
      i = skip.bytes;
      continue;
    }
    i += kStep;
    if (breaks == 0) continue;
    for (const __m128i& found : lfs)
      sums = _mm_sub_epi8(sums, found);
    if (++summed == 255 / 4) addSums();
  }
  addSums();
  skip.nulFree = skip.nulFree && _mm_movemask_epi8(nuls) == 0;
  return false;
}
#endif

#ifdef QUARN_CLI_AVX2
size_t Prefilter::StretchFrom(const unsigned char* bytes, size_t size, size_t at) const {
  for (uint64_t which = startedBy_[bytes[at]]; which != 0; which &= which - 1) {
    const Stretch& stretch = stretches_[static_cast<size_t>(std::countr_zero(which))];
    const size_t length = stretch.sets.size();
    if (at + length > size) continue;
    size_t i = 0;
    while (i < length && stretch.sets[i].Has(bytes[at + i]))
      ++i;
    if (i == length) return at + stretch.anchor;
  }
  return std::string_view::npos;
}

bool Prefilter::StepAvx2(const unsigned char* bytes, size_t size, size_t& i, bool select,
                         Skip& skip) const {
  switch (fingerprint_.size()) {
    case 2:
      return StepAvx2With<2>(bytes, size, i, select, skip);
    case 3:
      return StepAvx2With<3>(bytes, size, i, select, skip);
    default:
      return StepAvx2With<0>(bytes, size, i, select, skip);
  }
}

namespace {

// Takes the whole lines before end into skip, whose line breaks are counted already.
void PassLinesBefore(const unsigned char* bytes, size_t end, Prefilter::Skip& skip) {
  if (end <= skip.bytes) return;
  if (const void* lf = memrchr(bytes + skip.bytes, '\n', end - skip.bytes)) {
    skip.bytes = static_cast<size_t>(static_cast<const unsigned char*>(lf) - bytes) + 1;
  }
}

}  // namespace

// Two blocks of 32 bytes a step, the line breaks counted with the processor's popcnt. No
// lambda here: it would not have this function's target.
template <size_t kPositions>
__attribute__((target("avx2,popcnt"))) bool Prefilter::StepAvx2With(const unsigned char* bytes,
                                                                    size_t size, size_t& i,
                                                                    bool select, Skip& skip) const {
  __m256i members[kMostCompared];
  for (size_t k = 0; k < compared_.size() && kPositions == 0; ++k)
    members[k] = _mm256_set1_epi8(static_cast<char>(compared_[k]));
  const size_t rareCount = rareAnchors_.size();
  const __m256i lf = _mm256_set1_epi8('\n');
  __m256i low[kMostFingerprinted], high[kMostFingerprinted];
  for (size_t at = 0; at < kPositions; ++at) {
    low[at] = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(fingerprint_[at].low.data())));
    high[at] = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(fingerprint_[at].high.data())));
  }
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  // Where no line of the text can be too long, a step where nothing stops the scan only
  // counts its line breaks; where the last of them lies is looked for when a step does stop.
  const bool quick = longest_ >= size;
  __m256i nuls = _mm256_setzero_si256();  // the NUL bytes seen
  while (i + kStep + reachAhead_ <= size) {
    uint64_t hits = 0, breaks = 0;
    for (size_t half = 0; half < 2; ++half) {
      const size_t at = i + 32 * half;
      const __m256i chunk = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at));
      nuls = _mm256_or_si256(nuls, _mm256_cmpeq_epi8(chunk, _mm256_setzero_si256()));
      __m256i found = chunk;
      if constexpr (kPositions > 0) {
        __m256i all = _mm256_set1_epi8(-1);
        for (size_t j = 0; j < kPositions; ++j) {
          const __m256i c =
              j == 0 ? chunk : _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at + j));
          const __m256i l = _mm256_shuffle_epi8(low[j], _mm256_and_si256(c, nibble));
          const __m256i h =
              _mm256_shuffle_epi8(high[j], _mm256_and_si256(_mm256_srli_epi16(c, 4), nibble));
          all = _mm256_and_si256(all, _mm256_and_si256(l, h));
        }
        // A byte where some stretch may begin has its top bit set.
        found = _mm256_or_si256(found,
                                _mm256_andnot_si256(_mm256_cmpeq_epi8(all, _mm256_setzero_si256()),
                                                    _mm256_set1_epi8(-1)));
      } else {
        size_t k = 0;
        for (; k < rareCount; ++k)
          found = _mm256_or_si256(found, _mm256_cmpeq_epi8(chunk, members[k]));
        for (const Probe& probe : probes_) {
          __m256i anchor = _mm256_setzero_si256(), second = _mm256_setzero_si256();
          for (const size_t end = k + probe.anchor.size(); k < end; ++k)
            anchor = _mm256_or_si256(anchor, _mm256_cmpeq_epi8(chunk, members[k]));
          const __m256i other =
              _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at + probe.apart));
          for (const size_t end = k + probe.second.size(); k < end; ++k)
            second = _mm256_or_si256(second, _mm256_cmpeq_epi8(other, members[k]));
          found = _mm256_or_si256(found, _mm256_and_si256(anchor, second));
        }
      }
      hits |= static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(found)))
              << (32 * half);
      breaks |= static_cast<uint64_t>(
                    static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(chunk, lf))))
                << (32 * half);
    }
    if (quick) {
      if (hits == 0) {
        skip.lines += static_cast<size_t>(__builtin_popcountll(breaks));
        i += kStep;
        continue;
      }
      PassLinesBefore(bytes, i, skip);
    }
    const Next next = StopsIn(bytes, size, i, hits, breaks, select, kPositions > 0, skip);
    if (next == Next::kStop) {
      skip.nulFree = skip.nulFree && _mm256_testz_si256(nuls, nuls);
      return true;
    }
    if (next == Next::kResume) {
      i = skip.bytes;
      continue;
    }
    skip.lines += static_cast<size_t>(__builtin_popcountll(breaks));
    i += kStep;
  }
  if (quick) PassLinesBefore(bytes, i, skip);
  skip.nulFree = skip.nulFree && _mm256_testz_si256(nuls, nuls);
  return false;
}
#endif

}  // namespace quarn::cli
