#include "edges.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "quarn/pattern.h"
#include "quarn/quarn_c.h"
#include "quarn/utf.h"
#include "reference.h"

namespace quarn::reference {

namespace {

// Steps that one search of a check may take: a case that needs more gives no verdict.
constexpr uint64_t kBudget = 200'000;
// Longer subjects are checked from their first and last starts only.
constexpr size_t kEveryStartUpTo = 300;

bool IsHigh(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}
bool PairAt(std::u16string_view text, size_t i) {
  return i + 1 < text.size() && IsHigh(text[i]) && IsLow(text[i + 1]);
}

std::optional<size_t> FirstLoneSurrogate(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (PairAt(text, i)) {
      ++i;
    } else if (IsHigh(text[i]) || IsLow(text[i])) {
      return i;
    }
  }
  return std::nullopt;
}

// The text as UTF-8, a lone surrogate written in the three bytes that strict UTF-8 refuses.
std::string LooseUtf8(std::u16string_view text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (PairAt(text, i)) {
      bytes += Utf16ToUtf8(text.substr(i++, 2));
    } else if (IsHigh(c) || IsLow(c)) {
      bytes += static_cast<char>(0xE0 | (c >> 12));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes += Utf16ToUtf8(text.substr(i, 1));
    }
  }
  return bytes;
}

// The byte offset of every unit position, counted apart from the engine: a position between
// the halves of a pair is the end of its character.
std::vector<size_t> ByteOffsets(std::u16string_view text) {
  std::vector<size_t> offsets(text.size() + 1);
  size_t byte = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    offsets[i] = byte;
    if (PairAt(text, i)) {
      byte += 4;
      offsets[++i] = byte;
    } else {
      byte += LooseUtf8(text.substr(i, 1)).size();
    }
  }
  offsets[text.size()] = byte;
  return offsets;
}

// How a rendering writes places: spans in units or mapped to bytes, error positions as the
// C++ API gives them (units) or as C does for a UTF-8 pattern (bytes), C's cut message.
struct Style {
  const std::vector<size_t>* spanBytes = nullptr;
  const std::vector<size_t>* patternBytes = nullptr;
  bool positions = true;
  bool cMessage = false;
};

// The legacy calls tell no positions in the pattern.
const Style kLegacy{nullptr, nullptr, false, false};

std::string Place(size_t at, const std::vector<size_t>* bytes) {
  return std::to_string(bytes ? (*bytes)[at] : at);
}

std::string Render(const std::optional<Error>& e, const Style& style) {
  std::string report = e->report();
  if (style.cMessage) report.resize(std::min<size_t>(report.size(), 255));
  std::string out = "error " + report;
  if (style.positions && e->position) out += " at " + Place(*e->position, style.patternBytes);
  return out;
}

// A search result with unit spans (mapped to bytes when the style says so).
std::string Units(const SearchResult& r, const Style& style = {}) {
  if (r.error()) return Render(r.error(), style);
  if (!r) return "no match";
  std::string out = "match";
  for (int n = 0; n <= r.match().groupCount(); ++n) {
    const std::optional<Match::Span>& s = r.match().span(n);
    out += s ? " [" + Place(s->start, style.spanBytes) + "," + Place(s->end, style.spanBytes) + ")"
             : " -";
  }
  return out;
}

// A search result of a UTF-8 subject, with the byte spans it gives itself.
std::string Bytes(const SearchResult& r, const Style& style = {}) {
  if (r.error()) return Render(r.error(), style);
  if (!r) return "no match";
  std::string out = "match";
  for (int n = 0; n <= r.match().groupCount(); ++n) {
    out += r.match().matched(n) ? " [" + std::to_string(r.match().byteStart(n)) + "," +
                                      std::to_string(r.match().byteEnd(n)) + ")"
                                : " -";
  }
  return out;
}

std::string RenderC(int answer, const std::vector<quarn_span>& spans, const quarn_error& e) {
  if (answer == QUARN_NO_MATCH) return "no match";
  if (answer != QUARN_MATCH) {
    // The message may hold NUL characters of the pattern; length tells where it ends.
    return "error " + std::string(e.message, std::min<size_t>(e.length, sizeof e.message - 1)) +
           (e.position >= 0 ? " at " + std::to_string(e.position) : "");
  }
  std::string out = "match";
  for (const quarn_span& s : spans)
    out += s.start < 0 ? " -" : " [" + std::to_string(s.start) + "," + std::to_string(s.end) + ")";
  return out;
}

// The legacy call's answer in the same words: what it reported, or the stored match.
template <typename Call>
std::string Legacy(Call call) {
  std::string report;
  const ErrorReporter previous =
      quarn::SetErrorReporter([&](const EngineError&, std::u16string_view text) {
        if (report.empty()) report = Utf16ToUtf8(text);
      });
  const bool matched = call();
  std::string out = "no match";
  if (!report.empty()) {
    out = "error " + report;
  } else if (matched) {
    int32_t start = 0, length = 0, count = 0;
    quarn::QuarnIndex(reMatch, start, length);
    out = "match [" + std::to_string(start - 1) + "," + std::to_string(start - 1 + length) + ")";
    quarn::QuarnIndex(reSubexprCount, count, length);
    for (int n = 1; n <= count; ++n) {
      quarn::QuarnIndex(n, start, length);
      out += start == 0 ? " -"
                        : " [" + std::to_string(start - 1) + "," +
                              std::to_string(start - 1 + length) + ")";
    }
  }
  quarn::SetErrorReporter(previous);
  return out;
}

// Compiled C patterns, freed at the end of the check.
struct CPattern {
  quarn_pattern* pattern = nullptr;
  quarn_error error{};
  ~CPattern() { quarn_free(pattern); }
  std::string Search16(std::u16string_view text, size_t start, const quarn_limits& limits) {
    if (pattern == nullptr) return RenderC(QUARN_ERROR, {}, error);
    std::vector<quarn_span> spans(quarn_group_count(pattern) + 1);
    const int answer =
        quarn_search16(pattern, reinterpret_cast<const uint16_t*>(text.data()), text.size(), start,
                       &limits, spans.data(), spans.size(), &error);
    return RenderC(answer, spans, error);
  }
  std::string SearchText(const quarn_text* text, size_t start, const quarn_limits& limits) {
    if (pattern == nullptr) return RenderC(QUARN_ERROR, {}, error);
    std::vector<quarn_span> spans(quarn_group_count(pattern) + 1);
    const int answer =
        quarn_search_text(pattern, text, start, &limits, spans.data(), spans.size(), &error);
    return RenderC(answer, spans, error);
  }
};

// The steps one 8-bit check lets a search take; the same budget ends both searches alike.
constexpr uint64_t kNarrowBudget = 20000;
// Longer subjects are searched from their first, middle and last starts only.
constexpr size_t kEveryNarrowStartUpTo = 64;

// Everything a search answers, in units: the error, or every group's span and text and the
// last group closed; then the depth reached and the steps taken.
std::string Answer(const SearchResult& r) {
  std::string out;
  if (r.error()) {
    out = "error " + r.error()->report() + " at " + std::to_string(r.error()->position.value_or(0));
  } else if (!r) {
    out = "no match";
  } else {
    const Match& m = r.match();
    out = "match";
    for (int n = 0; n <= m.groupCount(); ++n) {
      const std::optional<Match::Span>& s = m.span(n);
      out += s ? " [" + std::to_string(s->start) + "," + std::to_string(s->end) + ") " +
                     Utf16ToUtf8(m.group(n))
               : " -";
    }
    out += " last " + std::to_string(m.lastIndex());
  }
  return out + " depth " + std::to_string(r.depth()) + " steps " + std::to_string(r.steps());
}

// What every call of the API answers on a text: searches, anchored and whole matches from each
// start, every match, and replace() and split(). The pattern is compiled afresh, as a costly
// search makes later ones of the same pattern consult its facts, which may answer a search
// that would otherwise exhaust the step budget.
std::string Transcript(const Call& call, const Text& text, size_t size) {
  const Pattern p(call.pattern, call.flags);
  Limits limits;
  limits.steps = kNarrowBudget;
  std::string out;
  for (size_t start = 0; start <= size + 1; ++start) {
    if (size > kEveryNarrowStartUpTo && start == 1) start = size / 2;
    if (size > kEveryNarrowStartUpTo && start == size / 2 + 1) start = size;
    out += std::to_string(start) + ": " + Answer(p.search(text, start, limits)) + "\n";
    out += "  match: " + Answer(p.match(text, start, limits)) + "\n";
    out += "  whole: " + Answer(p.fullMatch(text, start, limits)) + "\n";
  }
  if (size > kEveryNarrowStartUpTo) return out;
  Matches all = p.matches(text, limits);
  for (const Match& m : all)
    out += "matches [" + std::to_string(m.start()) + "," + std::to_string(m.end()) + ")";
  if (all.error()) out += " error " + std::to_string(all.error()->number);
  const Replaced replaced = p.replace(text, u"<$1$0>", 0, limits);
  out += "\nreplaced " + std::to_string(replaced.count) + " " + Utf16ToUtf8(replaced.text);
  for (const std::u16string& piece : p.split(text, 0, limits).pieces)
    out += "\npiece " + Utf16ToUtf8(piece);
  return out;
}

// The subject with every unit above U+007F replaced by an ASCII one, so that every case has an
// ASCII form.
std::u16string AsciiForm(std::u16string_view text) {
  std::u16string ascii(text);
  for (char16_t& c : ascii)
    c = c < 0x80 ? c : static_cast<char16_t>(c % 0x80);
  return ascii;
}

class Checker {
 public:
  Checker(const Call& call, const EdgeLimits& lowered)
      : call_(call),
        lowered_(lowered),
        text_(call.text),
        p16_(call.pattern, call.flags),
        pattern8_(LooseUtf8(call.pattern)),
        p8_(pattern8_, call.flags),
        bytes_(LooseUtf8(call.text)),
        t8_(bytes_, limits_) {}

  EdgeVerdict Run() {
    limits_.steps = kBudget;
    cLimits_.steps = kBudget;
    const SearchResult base = p16_.search(text_, 0, limits_);
    if (Exhausted(base)) return {};
    Expect("Pattern and the legacy call",
           Legacy([&] { return quarn::Quarn(text_, call_.pattern, call_.flags); }),
           Units(base, kLegacy));
    if (!Utf16Starts() || !PatternUtf8() || !Utf8Starts() || !Chains() || !Rebuilt()) {
      return {true, failure_};
    }
    LoweredLimits(base);
    return {true, failure_};
  }

 private:
  static bool Exhausted(const SearchResult& r) {
    return r.error() && r.error()->number == errStepLimit;
  }

  bool Expect(const std::string& what, const std::string& got, const std::string& expected) {
    if (failure_.empty() && got != expected) {
      failure_ = what + "\n  got:      " + got + "\n  expected: " + expected;
    }
    return failure_.empty();
  }

  // Every start of a short text, the first and last starts of a long one, and one past it.
  template <typename Each>
  bool EachStart(size_t size, Each each) {
    for (size_t start = 0; start <= size + 1; ++start) {
      if (size > kEveryStartUpTo && start == 1) start = size;
      if (!each(start)) return false;
    }
    return true;
  }

  bool Utf16Starts() {
    CPattern c;
    c.pattern = quarn_compile16(reinterpret_cast<const uint16_t*>(call_.pattern.data()),
                                call_.pattern.size(), call_.flags, &c.error);
    return EachStart(text_.size(), [&](size_t start) {
      const SearchResult r = p16_.search(text_, start, limits_);
      if (Exhausted(r)) return true;
      const std::string where = " from unit " + std::to_string(start);
      if (start > text_.size() && !p16_.error()) {
        Expect("a start past the end" + where, std::to_string(r.error() ? r.error()->number : 0),
               std::to_string(errArgument));
      }
      Style style;
      style.cMessage = true;
      return Expect("C with UTF-16" + where, c.Search16(text_, start, cLimits_), Units(r, style));
    });
  }

  // A UTF-8 pattern compiles as its UTF-16 form does, or fails where its first bad byte is.
  bool PatternUtf8() {
    const std::optional<size_t> lone = FirstLoneSurrogate(call_.pattern);
    if (!lone) {
      return Expect("a UTF-8 pattern's error", p8_.error() ? Render(p8_.error(), {}) : "none",
                    p16_.error() ? Render(p16_.error(), {}) : "none");
    }
    if (call_.flags & reSingleLine && call_.flags & reMultiline) return true;  // checked first
    const std::string byte = std::to_string(LooseUtf8(call_.pattern.substr(0, *lone)).size());
    const std::string expected =
        "error Error #20055: Error in Quarn.Quarn: Invalid UTF-8 in the "
        "regular expression at byte " +
        byte + " at " + std::to_string(*lone);
    return Expect("an ill-formed UTF-8 pattern", p8_.error() ? Render(p8_.error(), {}) : "none",
                  expected);
  }

  bool Utf8Starts() {
    const std::optional<size_t> lone = FirstLoneSurrogate(text_);
    const std::string legacy =
        Legacy([&] { return quarn::Quarn(std::string_view(bytes_), pattern8_, call_.flags); });
    if (lone) {
      const std::string byte = std::to_string(LooseUtf8(text_.substr(0, *lone)).size());
      const std::string invalid =
          "error Error #20055: Error in Quarn.Quarn: Invalid UTF-8 in the text at byte " + byte;
      if (!(call_.flags & reSingleLine && call_.flags & reMultiline)) {
        if (!Expect("the legacy call on ill-formed UTF-8", legacy, invalid)) return false;
      }
      const std::string expected = p8_.error() ? Render(p8_.error(), {}) : invalid;
      return Expect("Text of ill-formed UTF-8", Bytes(p8_.search(t8_, 0, limits_)), expected) &&
             Expect("a string of ill-formed UTF-8",
                    Bytes(p8_.search(std::string_view(bytes_), 0, limits_)), expected);
    }
    if (!Expect("Pattern and the legacy call with UTF-8", legacy,
                Units(p8_.search(text_, 0, limits_), kLegacy))) {
      return false;
    }
    const std::vector<size_t> offsets = ByteOffsets(text_);
    std::vector<std::optional<size_t>> unitAt(bytes_.size() + 2);
    for (size_t u = 0; u <= text_.size(); ++u) {
      if (u == 0 || !PairAt(text_, u - 1)) unitAt[offsets[u]] = u;
    }
    CPattern c;
    c.pattern = quarn_compile(pattern8_.data(), pattern8_.size(), call_.flags, &c.error);
    quarn_error error;
    quarn_text* text = quarn_text_new(bytes_.data(), bytes_.size(), &cLimits_, &error);
    const std::string textError = RenderC(QUARN_ERROR, {}, error);
    const std::vector<size_t> patternBytes = ByteOffsets(call_.pattern);
    const bool same = EachStart(bytes_.size(), [&](size_t start) {
      const SearchResult r = p8_.search(t8_, start, limits_);
      if (Exhausted(r)) return true;
      const std::string where = " from byte " + std::to_string(start);
      // Errors come in order: the pattern's, the text's (too long), the start's.
      std::string expected = "error Error #20053";
      if (p8_.error()) {
        expected = Render(p8_.error(), {});
      } else if (t8_.error()) {
        expected = Render(t8_.error(), {});
      } else if (unitAt[start]) {
        Style style;
        style.spanBytes = &offsets;
        expected = Units(p8_.search(text_, *unitAt[start], limits_), style);
      }
      std::string got = Bytes(r);
      if (expected == "error Error #20053") got = got.substr(0, expected.size());
      Style c8;
      c8.patternBytes = &patternBytes;
      c8.cMessage = true;
      return Expect("Text and UTF-16" + where, got, expected) &&
             Expect("a string and Text" + where,
                    Bytes(p8_.search(std::string_view(bytes_), start, limits_)), Bytes(r)) &&
             Expect("C with a text and Pattern" + where,
                    text || !c.pattern ? c.SearchText(text, start, cLimits_) : textError,
                    Bytes(r, c8));
    });
    quarn_text_free(text);
    return same;
  }

  // matches() against the chain of searches it promises, in units and in bytes.
  bool Chains() {
    std::string all;
    Matches matches = p16_.matches(text_, limits_);
    for (const Match& m : matches)
      all += " [" + std::to_string(m.start()) + "," + std::to_string(m.end()) + ")";
    if (matches.error()) all += " " + Render(matches.error(), {});
    std::string chain;
    for (size_t start = 0; start <= text_.size();) {
      const SearchResult r = p16_.search(text_, start, limits_);
      if (r.error()) chain += " " + Render(r.error(), {});
      if (!r) break;
      const Match& m = r.match();
      chain += " [" + std::to_string(m.start()) + "," + std::to_string(m.end()) + ")";
      start = m.end() > m.start() ? m.end() : m.end() + 1 + (PairAt(text_, m.end()) ? 1 : 0);
    }
    if (!Expect("matches() and the chain of searches", all, chain)) return false;
    if (t8_.error()) return true;

    all.clear();
    Matches matches8 = p8_.matches(t8_, limits_);
    for (const Match& m : matches8)
      all += " [" + std::to_string(m.byteStart()) + "," + std::to_string(m.byteEnd()) + ")";
    if (matches8.error()) all += " " + Render(matches8.error(), {});
    chain.clear();
    for (size_t start = 0; start <= bytes_.size();) {
      const SearchResult r = p8_.search(t8_, start, limits_);
      if (r.error()) chain += " " + Render(r.error(), {});
      if (!r) break;
      const Match& m = r.match();
      chain += " [" + std::to_string(m.byteStart()) + "," + std::to_string(m.byteEnd()) + ")";
      start = m.byteEnd();
      if (m.byteEnd() == m.byteStart()) {
        do {
          ++start;
        } while (start < bytes_.size() &&
                 (static_cast<unsigned char>(bytes_[start]) & 0xC0) == 0x80);
      }
    }
    return Expect("matches() and the chain of searches in UTF-8", all, chain);
  }

  // replace(text, "$0") is the identity, and split's pieces with the matches rebuild the text.
  bool Rebuilt() {
    const Replaced replaced = p16_.replace(text_, u"$0", 0, limits_);
    if (!Expect("replace with $0", Utf16ToUtf8(replaced.text), Utf16ToUtf8(text_))) return false;
    const Split split = p16_.split(text_, 0, limits_);
    std::u16string rebuilt;
    size_t n = 0;
    Matches matches = p16_.matches(text_, limits_);
    for (const Match& m : matches) {
      if (n < split.pieces.size()) rebuilt += split.pieces[n++];
      rebuilt += m.group();
    }
    if (n < split.pieces.size()) rebuilt += split.pieces[n++];
    const bool counted =
        Expect("split's pieces", std::to_string(split.pieces.size()), std::to_string(n)) &&
        Expect("replace's count", std::to_string(replaced.count + 1), std::to_string(n));
    // After an error too: the last piece is the rest of the text.
    return counted && Expect("split and matches rebuilding the text", Utf16ToUtf8(rebuilt),
                             Utf16ToUtf8(text_));
  }

  void LoweredLimits(const SearchResult& base) {
    Limits lowered = limits_;
    lowered.depth = lowered_.depth;
    const SearchResult deep = p16_.search(text_, 0, lowered);
    const bool depthError =
        deep.error() && deep.error()->number == errSyntax &&
        deep.error()->message().find("Maximum number of iterations") != std::string::npos;
    if (!depthError && !Exhausted(deep)) {
      Expect("a lowered depth of " + std::to_string(lowered_.depth), Units(deep), Units(base));
    }
    if (lowered_.steps == 0) return;
    Limits budget = limits_;
    budget.steps = lowered_.steps;
    const SearchResult r = p16_.search(text_, 0, budget);
    if (!Exhausted(r)) {
      Expect("a budget of " + std::to_string(lowered_.steps) + " steps", Units(r), Units(base));
    }
  }

  const Call& call_;
  EdgeLimits lowered_;
  std::u16string_view text_;
  Limits limits_;
  quarn_limits cLimits_{};
  Pattern p16_;
  std::string pattern8_;
  Pattern p8_;
  std::string bytes_;
  Text t8_;
  std::string failure_;
};

}  // namespace

bool IsLatin1(std::u16string_view text) {
  return std::none_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
}

std::string CheckEightBit(const Call& call) {
  const std::u16string ascii = AsciiForm(call.text);
  const std::string bytes = Utf16ToUtf8(ascii);
  Limits unlimited;
  unlimited.subjectLength = UINT32_MAX;
  const Text utf8(bytes, unlimited);
  if (!utf8.searchesBytes()) return "an ASCII text is decoded: " + Describe(call);
  const std::string wide = Transcript(call, Text(std::u16string_view(ascii)), ascii.size());
  const std::string narrow = Transcript(call, utf8, bytes.size());
  if (narrow != wide) {
    return "ASCII UTF-8 of " + Describe({ascii, call.pattern, call.flags}) + "\nbytes:\n" +
           narrow.substr(0, 1500) + "\nunits:\n" + wide.substr(0, 1500);
  }
  if (!IsLatin1(call.text)) return "";
  const std::string latin1(call.text.begin(), call.text.end());
  const std::string one = Transcript(call, Text::Latin1(latin1), latin1.size());
  const std::string units =
      Transcript(call, Text(std::u16string_view(call.text)), call.text.size());
  if (one == units) return "";
  return "Latin-1 of " + Describe(call) + "\nbytes:\n" + one.substr(0, 1500) + "\nunits:\n" +
         units.substr(0, 1500);
}

EdgeVerdict CheckEdges(const Call& call, const EdgeLimits& lowered) {
  EdgeVerdict verdict = Checker(call, lowered).Run();
  if (verdict.checked && verdict.failure.empty()) verdict.failure = CheckEightBit(call);
  // The legacy calls above changed the engine's stored match, which a refused call reads
  // next: one call on both leaves the engine and the reference alike.
  const ErrorReporter engine =
      quarn::SetErrorReporter([](const EngineError&, std::u16string_view) {});
  const ErrorReporter oracle =
      reference::SetErrorReporter([](const EngineError&, std::u16string_view) {});
  quarn::Quarn(u"", u"", 0);
  reference::Quarn(u"", u"", 0);
  quarn::SetErrorReporter(engine);
  reference::SetErrorReporter(oracle);
  return verdict;
}

}  // namespace quarn::reference
