// The pattern is read into a small tree of the constructs the filter understands; from the
// tree come the stretches that every match holds, and a bound on how deep the engine's
// search of a line can go.
#include "prefilter.h"

#include <quarn/pattern.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>

namespace quarn::cli {

namespace {

using Set = Prefilter::Set;
using Sets = std::vector<Set>;  // one stretch of characters

// Alternatives kept while stretches are combined, and their longest length.
constexpr size_t kMaxAlternatives = 16;
constexpr size_t kMaxStretch = 32;
// A bounded repetition beyond this is not worth a filter.
constexpr uint32_t kMaxCount = 1000;
// An anchor of at most this many members is looked for by comparing bytes with each.
constexpr int kFewMembers = 4;

struct Node {
  enum Kind { Atom, Empty, Concat, Alt, Repeat } kind = Empty;
  Set set;  // Atom
  std::vector<std::unique_ptr<Node>> children;
  uint32_t min = 1, max = 1;  // Repeat; max UINT32_MAX: no upper bound
};

// Reads the subset of the pattern language the filter understands, or gives nullptr. The
// ASCII members of each one-character construct are asked of the engine.
class Reader {
 public:
  Reader(std::u16string_view pattern, int32_t flags) : p_(pattern), flags_(flags) {}

  std::unique_ptr<Node> Read() {
    std::unique_ptr<Node> node = Alternation();
    if (!ok_ || at_ != p_.size()) return nullptr;
    return node;
  }

 private:
  std::u16string_view p_;
  int32_t flags_;
  size_t at_ = 0;
  bool ok_ = true;
  std::map<std::u16string, Set> known_;

  std::unique_ptr<Node> Fail() {
    ok_ = false;
    return nullptr;
  }

  bool More() const { return at_ < p_.size(); }
  char16_t Peek() const { return p_[at_]; }

  std::unique_ptr<Node> Alternation() {
    auto alt = std::make_unique<Node>();
    alt->kind = Node::Alt;
    alt->children.push_back(Sequence());
    while (ok_ && More() && Peek() == u'|') {
      ++at_;
      alt->children.push_back(Sequence());
    }
    if (!ok_) return nullptr;
    if (alt->children.size() == 1) return std::move(alt->children.front());
    return alt;
  }

  std::unique_ptr<Node> Sequence() {
    auto seq = std::make_unique<Node>();
    seq->kind = Node::Concat;
    while (ok_ && More() && Peek() != u'|' && Peek() != u')') {
      std::unique_ptr<Node> item = Item();
      if (!ok_) return nullptr;
      seq->children.push_back(std::move(item));
    }
    return seq;
  }

  // One atom or group with the quantifiers after it.
  std::unique_ptr<Node> Item() {
    std::unique_ptr<Node> item = Primary();
    if (!ok_) return nullptr;
    while (More()) {
      uint32_t min = 0, max = 0;
      const char16_t c = Peek();
      if (c == u'*') {
        min = 0, max = UINT32_MAX;
        ++at_;
      } else if (c == u'+') {
        min = 1, max = UINT32_MAX;
        ++at_;
      } else if (c == u'?') {
        min = 0, max = 1;
        ++at_;
      } else if (c == u'{') {
        if (!Count(min, max)) return Fail();
      } else {
        break;
      }
      if (More() && Peek() == u'?') ++at_;  // lazy: the same strings
      if (item->kind == Node::Empty || item->kind == Node::Repeat) return Fail();
      // Only a repeated single character has a known depth per character taken.
      if (max == UINT32_MAX && item->kind != Node::Atom) return Fail();
      auto repeat = std::make_unique<Node>();
      repeat->kind = Node::Repeat;
      repeat->min = min;
      repeat->max = max;
      repeat->children.push_back(std::move(item));
      item = std::move(repeat);
    }
    return item;
  }

  // {n}, {n,} or {n,m}, exactly so.
  bool Count(uint32_t& min, uint32_t& max) {
    size_t i = at_ + 1;
    const auto number = [&](uint32_t& n) {
      const size_t start = i;
      uint64_t value = 0;
      while (i < p_.size() && p_[i] >= u'0' && p_[i] <= u'9' && value <= kMaxCount)
        value = value * 10 + (p_[i++] - u'0');
      n = static_cast<uint32_t>(value);
      return i > start && value <= kMaxCount;
    };
    if (!number(min)) return false;
    max = min;
    if (i < p_.size() && p_[i] == u',') {
      ++i;
      max = UINT32_MAX;
      if (i < p_.size() && p_[i] != u'}' && !number(max)) return false;
    }
    if (i >= p_.size() || p_[i] != u'}' || max < min) return false;
    at_ = i + 1;
    return true;
  }

  std::unique_ptr<Node> Primary() {
    const char16_t c = Peek();
    if (c >= 0xD800 && c <= 0xDFFF) return Fail();
    if (c == u'(') {
      ++at_;
      if (More() && Peek() == u'?') {
        if (p_.substr(at_, 2) != u"?:") return Fail();
        at_ += 2;
      }
      std::unique_ptr<Node> inner = Alternation();
      if (!ok_ || !More() || Peek() != u')') return Fail();
      ++at_;
      return inner;
    }
    if (c == u'^' || c == u'$') {
      ++at_;
      return std::make_unique<Node>();
    }
    if (c == u'[') {
      size_t i = at_ + 1;
      if (i < p_.size() && p_[i] == u'^') ++i;
      if (i < p_.size() && p_[i] == u']') return Fail();
      while (i < p_.size() && p_[i] != u']') {
        if (p_[i] == u'\\' || p_[i] == u'[' || p_[i] >= 0x80) return Fail();
        ++i;
      }
      if (i >= p_.size()) return Fail();
      return AtomOf(i + 1 - at_);
    }
    if (c == u'\\') {
      if (at_ + 1 >= p_.size()) return Fail();
      const char16_t e = p_[at_ + 1];
      if (e == u'b' || e == u'B' || e == u'A' || e == u'Z') {
        at_ += 2;
        return std::make_unique<Node>();
      }
      const bool punctuation = e < 0x80 && std::ispunct(static_cast<int>(e));
      if (std::u16string_view(u"dDwWsS").find(e) == std::u16string_view::npos && !punctuation) {
        return Fail();
      }
      return AtomOf(2);
    }
    if (c == u')' || c == u']' || c == u'{' || c == u'}' || c == u'*' || c == u'+' || c == u'?') {
      return Fail();
    }
    return AtomOf(1);
  }

  // The next length units as one atom, its members asked of the engine.
  std::unique_ptr<Node> AtomOf(size_t length) {
    const std::u16string text(p_.substr(at_, length));
    at_ += length;
    auto atom = std::make_unique<Node>();
    atom->kind = Node::Atom;
    if (auto found = known_.find(text); found != known_.end()) {
      atom->set = found->second;
      return atom;
    }
    const Pattern pattern(text, flags_);
    if (!pattern.ok()) return Fail();
    for (char16_t c = 0; c < 128; ++c) {
      if (c == u'\n') continue;  // no line holds one
      const SearchResult result = pattern.search(std::u16string_view(&c, 1));
      if (result.error()) return Fail();
      if (result && result.match().start() == 0 && result.match().end() == 1) {
        atom->set.Add(static_cast<unsigned char>(c));
      }
    }
    known_.emplace(text, atom->set);
    return atom;
  }
};

// What is known of the strings a node matches: exactly these stretches (when few), and
// stretches one of which each of its matches holds (nullopt: none known).
struct Info {
  std::optional<std::vector<Sets>> exact;
  std::optional<std::vector<Sets>> needed;
};

// How selective a choice of stretches is, in bits: a line of random text rarely holds them.
double Score(const std::vector<Sets>& choice) {
  double worst = std::numeric_limits<double>::infinity();
  for (const Sets& stretch : choice) {
    double bits = 0;
    for (const Set& set : stretch)
      bits += set.Size() == 0 ? 7 : std::log2(127.0 / set.Size());
    worst = std::min(worst, bits);
  }
  return worst - std::log2(static_cast<double>(choice.size()));
}

// Each of a with each of b, when not too many.
std::optional<std::vector<Sets>> Product(const std::vector<Sets>& a, const std::vector<Sets>& b) {
  if (a.size() * b.size() > kMaxAlternatives) return std::nullopt;
  std::vector<Sets> out;
  for (const Sets& x : a) {
    for (const Sets& y : b) {
      if (x.size() + y.size() > kMaxStretch) return std::nullopt;
      Sets joined = x;
      joined.insert(joined.end(), y.begin(), y.end());
      out.push_back(std::move(joined));
    }
  }
  return out;
}

bool NoneEmpty(const std::vector<Sets>& choice) {
  return std::none_of(choice.begin(), choice.end(), [](const Sets& s) { return s.empty(); });
}

// The better of two requirements.
void Prefer(std::optional<std::vector<Sets>>& best, const std::optional<std::vector<Sets>>& other) {
  if (!other || !NoneEmpty(*other)) return;
  if (!best || Score(*other) > Score(*best)) best = other;
}

Info Analyse(const Node& node) {
  Info info;
  switch (node.kind) {
    case Node::Atom:
      info.exact = std::vector<Sets>{Sets{node.set}};
      info.needed = info.exact;
      break;
    case Node::Empty:
      info.exact = std::vector<Sets>{Sets{}};
      break;
    case Node::Concat: {
      std::optional<std::vector<Sets>> run = std::vector<Sets>{Sets{}};
      bool allExact = true;
      for (const auto& child : node.children) {
        const Info part = Analyse(*child);
        Prefer(info.needed, part.needed);
        std::optional<std::vector<Sets>> joined;
        if (part.exact && run) joined = Product(*run, *part.exact);
        if (!joined) {
          allExact = false;
          if (run) Prefer(info.needed, run);
          run = part.exact;
        } else {
          run = std::move(joined);
        }
      }
      if (run) Prefer(info.needed, run);
      if (allExact) info.exact = run;
      break;
    }
    case Node::Alt: {
      std::vector<Sets> exact, needed;
      bool allExact = true, allNeeded = true;
      for (const auto& child : node.children) {
        const Info part = Analyse(*child);
        if (part.exact) {
          exact.insert(exact.end(), part.exact->begin(), part.exact->end());
        } else {
          allExact = false;
        }
        if (part.needed) {
          needed.insert(needed.end(), part.needed->begin(), part.needed->end());
        } else {
          allNeeded = false;
        }
      }
      if (allExact && exact.size() <= kMaxAlternatives) info.exact = exact;
      if (allNeeded && needed.size() <= kMaxAlternatives) info.needed = needed;
      break;
    }
    case Node::Repeat: {
      const Info part = Analyse(*node.children.front());
      if (node.max == 0) {
        info.exact = std::vector<Sets>{Sets{}};
        break;
      }
      if (node.min == 0) break;
      std::optional<std::vector<Sets>> times = std::vector<Sets>{Sets{}};
      for (uint32_t i = 0; i < node.min && times && part.exact; ++i)
        times = Product(*times, *part.exact);
      if (!part.exact) times.reset();
      if (times && node.min == node.max) info.exact = times;
      info.needed = part.needed;
      Prefer(info.needed, times);
      break;
    }
  }
  return info;
}

// A bound on the depth of the engine's search, as levels for the whole pattern plus levels
// per character of the line: each atom taken, group marker passed, alternative entered or
// repetition is one level, each counted here twice over for safety.
struct Depth {
  uint64_t fixed = 0;
  uint64_t perCharacter = 0;
};

void Measure(const Node& node, Depth& depth) {
  switch (node.kind) {
    case Node::Atom:
    case Node::Empty:
      depth.fixed += 4;
      break;
    case Node::Concat:
    case Node::Alt:
      depth.fixed += 8;
      for (const auto& child : node.children)
        Measure(*child, depth);
      break;
    case Node::Repeat: {
      if (node.max == UINT32_MAX) {  // a single character each time
        depth.fixed += 8;
        depth.perCharacter = 8;
        break;
      }
      Depth once;
      Measure(*node.children.front(), once);
      depth.fixed += 8 + node.max * (once.fixed + 8);
      depth.perCharacter = std::max(depth.perCharacter, once.perCharacter);
      break;
    }
  }
}

}  // namespace

int Prefilter::Set::Size() const {
  return std::popcount(bits[0]) + std::popcount(bits[1]);
}

Prefilter::Prefilter(const MatchSettings& settings) {
  // A wrapped pattern (-w, -x) and the whole machinery around a search are a few levels more.
  constexpr uint64_t kAround = 64;
  uint64_t longest = LongestSubject(settings.limits);
  std::vector<Stretch> stretches;
  for (const std::u16string& pattern : settings.patterns) {
    const std::unique_ptr<Node> tree = Reader(pattern, settings.flags).Read();
    if (!tree) return;
    const std::optional<std::vector<Sets>> needed = Analyse(*tree).needed;
    if (!needed || !NoneEmpty(*needed) || Score(*needed) < 3) return;
    Depth depth;
    Measure(*tree, depth);
    depth.fixed += kAround;
    if (depth.fixed >= settings.limits.depth) return;
    if (depth.perCharacter > 0) {
      longest = std::min(longest, (settings.limits.depth - depth.fixed) / depth.perCharacter);
    }
    for (const Sets& sets : *needed) {
      Stretch& stretch = stretches.emplace_back();
      stretch.sets = sets;
      for (size_t i = 1; i < sets.size(); ++i) {
        if (sets[i].Size() < sets[stretch.anchor].Size()) stretch.anchor = i;
      }
      if (sets[stretch.anchor].Size() <= kFewMembers) {
        for (unsigned char c = 0; c < 128; ++c) {
          if (sets[stretch.anchor].Has(c)) stretch.members.push_back(c);
        }
      }
    }
  }
  if (longest == 0) return;
  stretches_ = std::move(stretches);
  longest_ = static_cast<size_t>(std::min<uint64_t>(longest, std::numeric_limits<size_t>::max()));
}

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

namespace {

// The place of the first byte of text that is not ASCII, or its size.
size_t FirstNonAscii(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t i = 0;
#ifdef __SSE2__
  for (; i + 16 <= text.size(); i += 16) {
    if (_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i)))) break;
  }
#endif
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    if (word & 0x8080808080808080u) break;
  }
  while (i < text.size() && bytes[i] < 0x80)
    ++i;
  return i;
}

bool Ascii(std::string_view line) {
  return FirstNonAscii(line) == line.size();
}

}  // namespace

bool Prefilter::MayMatch(std::string_view line) const {
  if (line.size() > longest_ || !Ascii(line)) return true;  // only short ASCII lines are known
  for (const Stretch& stretch : stretches_) {
    if (Holds(line, stretch)) return true;
  }
  return false;
}

size_t Prefilter::Skippable(std::string_view text) const {
  // The first byte that a line to be searched could hold; the lines before its line go. It
  // is looked for a window at a time, so that after a line that may match the search for
  // the next one does not go over bytes far ahead again.
  constexpr size_t kWindow = 512;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t stop = text.size();
  for (size_t from = 0; from < text.size() && stop == text.size(); from += kWindow) {
    const size_t window = std::min(kWindow, text.size() - from);
    const size_t nonAscii = from + FirstNonAscii(text.substr(from, window));
    if (nonAscii < from + window) stop = nonAscii;
    for (const Stretch& stretch : stretches_) {
      // The stretches that begin in the window.
      const size_t end = std::min(text.size(), from + window + stretch.sets.size() - 1);
      const size_t at = from + Find(bytes + from, end - from, stretch);
      if (at < end) stop = std::min(stop, at);
    }
  }
  const size_t lf = text.rfind('\n', stop);
  const size_t end = lf == std::string_view::npos ? 0 : lf + 1;
  if (longest_ < end) {  // then no line may be longer
    for (size_t start = 0; start < end;) {
      const size_t next = text.find('\n', start);
      if (next - start > longest_) return start;
      start = next + 1;
    }
  }
  return end;
}

}  // namespace quarn::cli
