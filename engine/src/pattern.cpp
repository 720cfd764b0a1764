// The modern API over the compiled core: a Pattern shares one compiled program between its
// copies and threads; each search runs on the calling thread's own match state.
#include "quarn/pattern.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "analysis.h"
#include "atoms.h"
#include "program.h"
#include "quarn/utf.h"
#include "search.h"
#include "text.h"

namespace quarn {

// What a Text holds beyond a view of the caller's UTF-16: a UTF-8 text decoded once, or a
// temporary string taken over, and the UTF-16 copy of an 8-bit text once it is asked for.
// Byte offsets are kept for every kStride-th unit only (none at all for ASCII, where offset
// and unit are the same); the offsets between are counted from the units, at most kStride of
// them. A position between the two halves of a surrogate pair maps to the end of its
// character, so that a byte span never cuts a UTF-8 sequence.
struct TextData {
  static constexpr size_t kStride = 64;

  std::string ownedBytes;       // a temporary string of bytes that the Text took over
  std::u16string units;         // the decoded UTF-8, or a temporary UTF-16 string taken over
  std::vector<uint64_t> marks;  // marks[k]: the offset of unit k * kStride
  std::optional<Error> error;
  // The UTF-16 copy of an 8-bit text searched as it is, made when first asked for.
  mutable std::once_flag widening;
  mutable std::u16string widened;

  bool Ascii() const { return marks.empty(); }
  size_t ByteOf(size_t unit) const;
  std::optional<size_t> UnitOf(size_t byte, size_t size) const;
};

namespace {

bool IsHigh(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLow(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// The UTF-8 bytes of a unit of decoded UTF-8, where every surrogate stands in a pair: the
// high half counts the whole character, the low half nothing.
size_t Utf8Bytes(char16_t c) {
  if (c < 0x80) return 1;
  if (c < 0x800) return 2;
  if (IsHigh(c)) return 4;
  return IsLow(c) ? 0 : 3;
}

MatchState& Scratch() {
  thread_local MatchState state;
  return state;
}

SearchLimits ToSearchLimits(const Limits& limits, Anchor anchor) {
  return {limits.depth, limits.subjectLength, limits.steps, limits.cancel, false, anchor};
}

// Whether valid UTF-8 of these bytes would be longer than limit units, told without decoding
// it: a character of n bytes is at most one unit, or two of four bytes.
bool TooLong(std::string_view bytes, uint64_t limit) {
  if (bytes.size() <= limit) return false;
  if (bytes.size() / 3 > limit) return true;
  return Utf16Length(bytes) > limit;
}

// Whether every byte is below 0x80, eight at a time.
bool IsAscii(std::string_view bytes) {
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    if ((word & 0x8080808080808080ULL) != 0) return false;
  }
  for (; i < bytes.size(); ++i) {
    if (static_cast<unsigned char>(bytes[i]) >= 0x80) return false;
  }
  return true;
}

// Decodes the bytes that subject views, unless they are ASCII, which searches read as they
// are; narrow tells which.
std::shared_ptr<const TextData> Decode(std::shared_ptr<TextData> subject, std::string_view bytes,
                                       const Limits& limits, bool& narrow) {
  narrow = false;
  if (TooLong(bytes, limits.subjectLength)) {
    subject->error = SubjectLengthError();
    return subject;
  }
  if (IsAscii(bytes)) {
    narrow = true;
    return subject;
  }
  size_t bad = 0;
  if (!Utf8ToUtf16(bytes, subject->units, &bad)) {
    subject->units = std::u16string();
    subject->error = InvalidUtf8Error(u"text", bad);
    return subject;
  }
  const std::u16string& units = subject->units;
  subject->marks.reserve(units.size() / TextData::kStride + 1);
  uint64_t byte = 0;
  for (size_t i = 0; i < units.size(); ++i) {
    if (i % TextData::kStride == 0) subject->marks.push_back(byte);
    byte += Utf8Bytes(units[i]);
  }
  if (units.size() % TextData::kStride == 0) subject->marks.push_back(byte);
  return subject;
}

}  // namespace

size_t TextData::ByteOf(size_t unit) const {
  if (Ascii()) return unit;
  const size_t from = unit / kStride * kStride;
  size_t byte = marks[unit / kStride];
  for (size_t i = from; i < unit; ++i)
    byte += Utf8Bytes(units[i]);
  return byte;
}

std::optional<size_t> TextData::UnitOf(size_t byte, size_t size) const {
  if (byte > size) return std::nullopt;
  if (Ascii()) return byte;
  const size_t k =
      static_cast<size_t>(std::upper_bound(marks.begin(), marks.end(), byte) - marks.begin()) - 1;
  size_t unit = k * kStride;
  size_t at = marks[k];
  // The low half of a pair ends its character at the same byte: the next character begins
  // after it.
  while (unit < units.size() && (at < byte || (at == byte && IsLow(units[unit]))))
    at += Utf8Bytes(units[unit++]);
  if (at != byte) return std::nullopt;
  return unit;
}

Text::Text(std::string_view utf8, const Limits& limits) : bytes_(utf8), encoding_(Encoding::kUtf8) {
  data_ = Decode(std::make_shared<TextData>(), bytes_, limits, narrow_);
  units_ = data_->units;
}

Text::Text(std::string&& utf8, const Limits& limits) : encoding_(Encoding::kUtf8) {
  auto data = std::make_shared<TextData>();
  data->ownedBytes = std::move(utf8);
  bytes_ = data->ownedBytes;
  data_ = Decode(std::move(data), bytes_, limits, narrow_);
  units_ = data_->units;
}

Text::Text(std::u16string&& utf16) {
  auto data = std::make_shared<TextData>();
  data->units = std::move(utf16);
  units_ = data->units;
  data_ = std::move(data);
}

Text Text::Latin1(std::string_view latin1) {
  Text text;
  text.bytes_ = latin1;
  text.encoding_ = Encoding::kLatin1;
  text.narrow_ = true;
  text.data_ = std::make_shared<TextData>();
  return text;
}

Text Text::Latin1(std::string&& latin1) {
  auto data = std::make_shared<TextData>();
  data->ownedBytes = std::move(latin1);
  Text text;
  text.bytes_ = data->ownedBytes;
  text.encoding_ = Encoding::kLatin1;
  text.narrow_ = true;
  text.data_ = std::move(data);
  return text;
}

std::u16string_view Text::Widened() const {
  std::call_once(data_->widening, [this] { data_->widened = Latin1ToUtf16(bytes_); });
  return data_->widened;
}

const std::optional<Error>& Text::error() const {
  static const std::optional<Error> none;
  return data_ ? data_->error : none;
}

size_t Text::offsetOf(size_t unit) const {
  return isUtf8() && !narrow_ ? data_->ByteOf(unit) : unit;
}

// Builds the results that the public types keep private.
struct Access {
  static SearchResult Failed(std::optional<Error> error) {
    SearchResult result;
    result.error_ = std::move(error);
    return result;
  }
  static SearchResult Run(const std::shared_ptr<const Program>& program, const Text& text,
                          size_t start, const Limits& limits, Anchor anchor = Anchor::kNone);
  static SearchResult RunOnce(const Program& program, const Text& text, size_t start,
                              const Limits& limits, Anchor anchor);
  // The length in UTF-16 units, and units [from, to) appended to out, without making the
  // UTF-16 copy of an 8-bit text.
  static size_t Length(const Text& text) {
    return text.narrow_ ? text.bytes_.size() : text.units_.size();
  }
  static char16_t Unit(const Text& text, size_t i) {
    return text.narrow_ ? static_cast<unsigned char>(text.bytes_[i]) : text.units_[i];
  }
  static void Append(std::u16string& out, const Text& text, size_t from, size_t to) {
    if (!text.narrow_) {
      out.append(text.units_.substr(from, to - from));
      return;
    }
    // Sized once, then widened in one pass: a unit at a time costs a capacity check each.
    const std::string_view bytes = text.bytes_.substr(from, to - from);
    const size_t at = out.size();
    out.resize(at + bytes.size());
    std::transform(
        bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at),
        [](char byte) { return static_cast<char16_t>(static_cast<unsigned char>(byte)); });
  }
  // Text::unitAt, with no optional to return: a search asks it every time.
  static bool Locate(const Text& text, size_t offset, size_t& unit) {
    // Only a decoded UTF-8 text maps offsets or holds an error.
    if (text.narrow_ || text.encoding_ == Text::Encoding::kUtf16) {
      unit = offset;
      return offset <= Length(text);
    }
    if (text.data_->error) return false;
    const std::optional<size_t> decoded = text.data_->UnitOf(offset, text.bytes_.size());
    unit = decoded.value_or(0);
    return decoded.has_value();
  }
  // A search, match or fullMatch from start in the text's own units.
  static SearchResult Begin(const std::shared_ptr<const Program>& program,
                            const std::optional<Error>& patternError, const Text& text,
                            size_t start, const Limits& limits, Anchor anchor);
};

std::optional<size_t> Text::unitAt(size_t offset) const {
  size_t unit = 0;
  if (!Access::Locate(*this, offset, unit)) return std::nullopt;
  return unit;
}

// With word edges, a match that begins right after a word character is passed over and the
// search goes on one position later, as often as it takes; the steps of every try count
// against one budget.
SearchResult Access::Run(const std::shared_ptr<const Program>& program, const Text& text,
                         size_t start, const Limits& limits, Anchor anchor) {
  // Returned as made: moving a result through the loop below costs more than most searches.
  if (program->MatchEdges() != Edges::kWord) return RunOnce(*program, text, start, limits, anchor);
  const bool ignoreCase = program->IgnoreCase();
  Limits left = limits;
  uint32_t deepest = 0;
  uint64_t steps = 0;
  for (;;) {
    SearchResult result = RunOnce(*program, text, start, left, anchor);
    deepest = std::max(deepest, result.depth_);
    steps += result.steps_;
    result.depth_ = deepest;
    result.steps_ = steps;
    if (!result.matched()) return result;
    const size_t from = result.match().start();
    if (from == 0 || !IsWordCharacter(Unit(text, from - 1), ignoreCase)) return result;
    start = from + 1;
    if (anchor != Anchor::kNone || start > Length(text)) return SearchResult();
    if (limits.steps != 0) {
      if (steps >= limits.steps) {
        SearchResult spent = Failed(StepBudgetError());
        spent.depth_ = deepest;
        spent.steps_ = steps;
        return spent;
      }
      left.steps = limits.steps - steps;
    }
  }
}

SearchResult Access::RunOnce(const Program& program, const Text& text, size_t start,
                             const Limits& limits, Anchor anchor) {
  SearchResult result;
  if (program.Error()) {
    result.error_ = program.Error();
    return result;
  }
  MatchState& state = Scratch();
  const SearchOutcome outcome =
      text.narrow_
          ? state.Search(program,
                         Units<uint8_t>(reinterpret_cast<const uint8_t*>(text.bytes_.data()),
                                        text.bytes_.size()),
                         start, ToSearchLimits(limits, anchor))
          : state.Search(program, text.units_, start, ToSearchLimits(limits, anchor));
  result.depth_ = outcome.deepest;
  result.steps_ = outcome.steps;
  if (outcome.status == SearchStatus::kError) {
    result.error_ = outcome.error;
    return result;
  }
  if (outcome.status == SearchStatus::kNoMatch) return result;
  Match& match = result.match_.emplace();
  match.text_ = text;
  // Every group takes no part until its capture is read.
  match.count_ = static_cast<size_t>(program.GroupCount()) + 1;
  if (match.count_ > Match::kInPlace) match.far_.resize(match.count_);
  // Positions lie inside the subject, so they fit size_t where it is 32 bits (WebAssembly).
  match.SpanAt(0) =
      Match::Span{static_cast<size_t>(outcome.matchStart), static_cast<size_t>(outcome.matchEnd)};
  uint64_t lastClosing = 0;
  for (int n = 1; n <= program.GroupCount(); ++n) {
    const Capture& c = state.Group(n);
    if (!c.complete) continue;
    if (c.closing > lastClosing) {
      lastClosing = c.closing;
      match.lastIndex_ = n;
    }
    match.SpanAt(static_cast<size_t>(n)) =
        Match::Span{static_cast<size_t>(c.start), static_cast<size_t>(c.end)};
  }
  return result;
}

namespace {

// Where the next search starts after a match: at its end, or one character later after an
// empty match, never between the halves of a surrogate pair. In a UTF-8 text, where no offset
// lies between the halves, a match that ends there goes on after the pair too, so that the
// matches are those of a chain of searches from each match's byte end.
size_t After(const Match& match, const Text& text) {
  const bool empty = match.end() == match.start();
  size_t next = empty ? match.end() + 1 : match.end();
  if (text.searchesBytes()) return next;  // no surrogates
  const std::u16string_view units = text.units();
  if ((empty || text.isUtf8()) && next < units.size() && IsHigh(units[next - 1]) &&
      IsLow(units[next])) {
    ++next;
  }
  return next;
}

}  // namespace

std::u16string Match::expand(std::u16string_view replacement) const {
  std::u16string out;
  for (size_t i = 0; i < replacement.size(); ++i) {
    const char16_t c = replacement[i];
    if (c == u'$' && i + 1 < replacement.size()) {
      const char16_t d = replacement[i + 1];
      if (d == u'$') {
        out += u'$';
        ++i;
        continue;
      }
      if (d >= u'0' && d <= u'9') {
        if (const std::optional<Span>& s = span(d - u'0'))
          Access::Append(out, text_, s->start, s->end);
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

const std::optional<Match::Span>& Match::span(int n) const {
  static const std::optional<Span> none;
  return n >= 0 && static_cast<size_t>(n) < count_ ? SpanAt(static_cast<size_t>(n)) : none;
}

std::u16string_view Match::group(int n) const {
  const std::optional<Span>& s = span(n);
  return s ? text_.units().substr(s->start, s->end - s->start) : std::u16string_view();
}

size_t Match::byteStart(int n) const {
  const std::optional<Span>& s = span(n);
  return s && text_.isUtf8() ? text_.offsetOf(s->start) : 0;
}

size_t Match::byteEnd(int n) const {
  const std::optional<Span>& s = span(n);
  return s && text_.isUtf8() ? text_.offsetOf(s->end) : 0;
}

size_t Match::next() const {
  return text_.offsetOf(After(*this, text_));
}

std::string_view Match::group8(int n) const {
  const std::optional<Span>& s = span(n);
  if (!text_.isUtf8() || !s) return {};
  const size_t from = text_.offsetOf(s->start);
  return text_.bytes().substr(from, text_.offsetOf(s->end) - from);
}

Matches::iterator Matches::begin() {
  if (!started_) {
    started_ = true;
    Advance();
  }
  return iterator(this);
}

void Matches::Advance() {
  const size_t from = current_ ? After(current_->match(), text_) : next_;
  current_.reset();
  if (error_ || !program_ || from > Access::Length(text_)) return;
  SearchResult result = Access::Run(program_, text_, from, limits_);
  depth_ = std::max(depth_, result.depth());
  if (result.error()) {
    error_ = result.error();
  } else if (result.matched()) {
    current_ = std::move(result);
  }
}

namespace {

// The option check of the legacy calls comes first, then what went wrong before compiling
// (a pattern that is not UTF-8, with the units decoded before it), then the pattern's own
// error.
std::optional<Error> CompileError(const Program& program,
                                  std::optional<Error> before = std::nullopt) {
  if (std::optional<Error> error = OptionsError(program.Flags())) return error;
  if (before) {
    before->position = program.Pattern().size();
    return before;
  }
  return program.Error();
}

// The analysis of a pattern refused before the engine reads it: for contradictory options
// the pattern still reads, and its tree is kept.
std::shared_ptr<const Analysis> Refused(const Program& program, const std::optional<Error>& error,
                                        bool readable) {
  if (!error || *error == program.Error()) return nullptr;
  const Explanation* tree = readable ? &program.Analyzed().explanation : nullptr;
  return std::make_shared<const Analysis>(RefusedAnalysis(program.Pattern(), *error, tree));
}

}  // namespace

Pattern::Pattern(std::u16string_view pattern, int32_t flags, Edges edges)
    : program_(std::make_shared<const Program>(pattern, flags, edges)),
      given_(edges == Edges::kAnywhere ? nullptr : std::make_shared<const Program>(pattern, flags)),
      error_(CompileError(*program_)),
      refused_(Refused(*program_, error_, true)) {}

Pattern::Pattern(std::string_view utf8Pattern, int32_t flags, Edges edges) {
  std::u16string pattern;
  size_t bad = 0;
  std::optional<Error> invalid;
  if (!Utf8ToUtf16(utf8Pattern, pattern, &bad))
    invalid = InvalidUtf8Error(u"regular expression", bad);
  program_ = std::make_shared<const Program>(pattern, flags, edges);
  if (edges != Edges::kAnywhere) given_ = std::make_shared<const Program>(pattern, flags);
  error_ = CompileError(*program_, invalid);
  refused_ = Refused(*program_, error_, !invalid);
}

const Analysis& Pattern::analysis() const {
  if (refused_) return *refused_;
  return given_ ? given_->Analyzed() : program_->Analyzed();
}

const std::vector<Diagnostic>& Pattern::diagnostics() const {
  return analysis().diagnostics;
}

const Explanation& Pattern::explain() const {
  return analysis().explanation;
}

const PatternFacts& Pattern::facts() const {
  return refused_ ? refused_->facts : program_->Analyzed().facts;
}

std::string Pattern::explainJson() const {
  return AnalysisJson(analysis(), program_->Pattern(), program_->Flags(), program_->GroupCount());
}

bool PatternFacts::cannotMatch(std::u16string_view text, size_t start, const Limits& limits) const {
  return CannotMatch<char16_t>(*this, text, start, limits.depth, limits.subjectLength);
}

std::u16string_view Pattern::pattern() const {
  return program_->Pattern();
}

int32_t Pattern::flags() const {
  return program_->Flags();
}

Edges Pattern::edges() const {
  return program_->MatchEdges();
}

int Pattern::groupCount() const {
  return program_->GroupCount();
}

namespace {

// The UTF-16 position of start (the text's own units), or why there is none.
std::optional<size_t> StartUnit(const Text& text, size_t start, std::optional<Error>& error) {
  const std::optional<size_t> unit = text.unitAt(start);
  if (!unit) error = StartError(start, start > text.size());
  return unit;
}

}  // namespace

SearchResult Access::Begin(const std::shared_ptr<const Program>& program,
                           const std::optional<Error>& patternError, const Text& text, size_t start,
                           const Limits& limits, Anchor anchor) {
  if (patternError) return Failed(patternError);
  if (size_t unit = 0; Locate(text, start, unit)) return Run(program, text, unit, limits, anchor);
  if (text.error()) return Failed(text.error());
  return Failed(StartError(start, start > text.size()));
}

SearchResult Pattern::search(const Text& text, size_t start, const Limits& limits) const {
  return Access::Begin(program_, error_, text, start, limits, Anchor::kNone);
}

SearchResult Pattern::match(const Text& text, size_t start, const Limits& limits) const {
  return Access::Begin(program_, error_, text, start, limits, Anchor::kStart);
}

SearchResult Pattern::fullMatch(const Text& text, size_t start, const Limits& limits) const {
  return Access::Begin(program_, error_, text, start, limits, Anchor::kWhole);
}

SearchResult Pattern::search(std::u16string_view text, size_t start, const Limits& limits) const {
  return search(Text(text), start, limits);
}

SearchResult Pattern::search(std::string_view utf8Text, size_t startByte,
                             const Limits& limits) const {
  if (error_) return Access::Failed(error_);
  return search(Text(utf8Text, limits), startByte, limits);
}

SearchResult Pattern::search(std::u16string&& text, size_t start, const Limits& limits) const {
  if (error_) return Access::Failed(error_);
  return search(Text(std::move(text)), start, limits);
}

SearchResult Pattern::search(std::string&& utf8Text, size_t startByte, const Limits& limits) const {
  if (error_) return Access::Failed(error_);
  return search(Text(std::move(utf8Text), limits), startByte, limits);
}

Matches Pattern::matches(const Text& text, const Limits& limits) const {
  return matches(text, 0, limits);
}

Matches Pattern::matches(const Text& text, size_t start, const Limits& limits) const {
  Matches all;
  all.error_ = error_ ? error_ : text.error();
  std::optional<size_t> unit;
  if (!all.error_) unit = StartUnit(text, start, all.error_);
  if (!all.error_) all.program_ = program_;
  all.text_ = text;
  all.limits_ = limits;
  all.next_ = unit.value_or(0);
  return all;
}

Matches Pattern::matches(std::string_view utf8Text, const Limits& limits) const {
  if (error_) return matches(Text(std::u16string_view()), limits);
  return matches(Text(utf8Text, limits), limits);
}

Matches Pattern::matches(std::string&& utf8Text, const Limits& limits) const {
  if (error_) return matches(Text(std::u16string_view()), limits);
  return matches(Text(std::move(utf8Text), limits), limits);
}

Replaced Pattern::replace(const Text& text, std::u16string_view replacement, size_t maxCount,
                          const Limits& limits) const {
  Replaced out;
  size_t copied = 0;
  Matches all = matches(text, limits);
  for (const Match& m : all) {
    Access::Append(out.text, text, copied, m.start());
    out.text += m.expand(replacement);
    copied = m.end();
    if (++out.count == maxCount) break;
  }
  Access::Append(out.text, text, copied, Access::Length(text));
  out.error = all.error();
  return out;
}

Split Pattern::split(const Text& text, size_t maxSplit, const Limits& limits) const {
  Split out;
  size_t copied = 0;
  size_t count = 0;
  Matches all = matches(text, limits);
  for (const Match& m : all) {
    Access::Append(out.pieces.emplace_back(), text, copied, m.start());
    copied = m.end();
    if (++count == maxSplit) break;
  }
  Access::Append(out.pieces.emplace_back(), text, copied, Access::Length(text));
  out.error = all.error();
  return out;
}

}  // namespace quarn
