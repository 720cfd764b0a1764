// The modern API over the compiled core: a Pattern shares one compiled program between its
// copies and threads; each search runs on the calling thread's own match state.
#include "quarn/pattern.h"

#include <algorithm>

#include "program.h"
#include "quarn/utf.h"
#include "search.h"
#include "text.h"

namespace quarn {

// A UTF-8 subject decoded once, with the byte offset of every UTF-16 position. A position
// between the two halves of a surrogate pair maps to the end of its character, so that a
// byte span never cuts a UTF-8 sequence.
struct Utf8Subject {
  std::string_view bytes;
  std::u16string units;
  std::vector<uint32_t> offsets;  // offsets[i] for position i, up to units.size()

  size_t UnitAt(size_t byte) const {
    return static_cast<size_t>(std::lower_bound(offsets.begin(), offsets.end(), byte) -
                               offsets.begin());
  }
};

namespace {

MatchState& Scratch() {
  thread_local MatchState state;
  return state;
}

Error ToError(const EngineError& error, std::optional<size_t> position = std::nullopt) {
  return Error{error.Number, error.Description, position};
}

SearchLimits ToSearchLimits(const Limits& limits) {
  return {limits.depth, limits.subjectLength, limits.steps, limits.cancel, false};
}

// Decodes text, or gives the error of its first ill-formed sequence.
std::shared_ptr<const Utf8Subject> Decode(std::string_view text, std::optional<Error>& error) {
  auto subject = std::make_shared<Utf8Subject>();
  size_t bad = 0;
  if (!Utf8ToUtf16(text, subject->units, &bad)) {
    error = ToError(InvalidUtf8Error(u"text", bad));
    return nullptr;
  }
  subject->bytes = text;
  subject->offsets.reserve(subject->units.size() + 1);
  uint32_t byte = 0;
  for (size_t i = 0; i < subject->units.size(); ++i) {
    const char16_t c = subject->units[i];
    const bool low = c >= 0xDC00 && c <= 0xDFFF;
    subject->offsets.push_back(low ? byte + 2 : byte);  // a low half: after its character
    byte += c < 0x80 ? 1 : c < 0x800 ? 2 : (c >= 0xD800 && c <= 0xDBFF) ? 2 : low ? 2 : 3;
  }
  subject->offsets.push_back(byte);
  return subject;
}

}  // namespace

// Builds the results that the public types keep private.
struct Access {
  static SearchResult Failed(std::optional<Error> error) {
    SearchResult result;
    result.error_ = std::move(error);
    return result;
  }
  static SearchResult Run(const std::shared_ptr<const Program>& program, std::u16string_view text,
                          size_t start, const Limits& limits,
                          std::shared_ptr<const Utf8Subject> utf8);
};

SearchResult Access::Run(const std::shared_ptr<const Program>& program, std::u16string_view text,
                         size_t start, const Limits& limits,
                         std::shared_ptr<const Utf8Subject> utf8) {
  SearchResult result;
  if (program->Error()) {
    result.error_ = ToError(*program->Error(), program->ErrorPosition());
    return result;
  }
  if (start > text.size()) return result;
  MatchState& state = Scratch();
  const SearchOutcome outcome = state.Search(*program, text, start, ToSearchLimits(limits));
  result.depth_ = outcome.deepest;
  result.steps_ = outcome.steps;
  if (outcome.status == SearchStatus::kError) {
    result.error_ = ToError(*outcome.error, outcome.errorPosition);
    return result;
  }
  if (outcome.status == SearchStatus::kNoMatch) return result;
  Match& match = result.match_.emplace();
  match.subject_ = text;
  match.utf8_ = std::move(utf8);
  match.spans_.reserve(program->GroupCount() + 1);
  // Positions lie inside the subject, so they fit size_t where it is 32 bits (WebAssembly).
  match.spans_.push_back(Match::Span{static_cast<size_t>(outcome.matchStart),
                                     static_cast<size_t>(outcome.matchEnd)});
  for (int n = 1; n <= program->GroupCount(); ++n) {
    const Capture& c = state.Group(n);
    if (!c.complete) {
      match.spans_.emplace_back();
      continue;
    }
    // A group closed before the place it opened (possible only through a stray marker
    // character) is shown as empty where it opened.
    const size_t from = static_cast<size_t>(c.start);
    match.spans_.push_back(Match::Span{from, std::max(from, static_cast<size_t>(c.end))});
  }
  return result;
}

namespace {

// Where the next search starts after a match: at its end, or one character later after an
// empty match, never between the halves of a surrogate pair.
size_t After(const Match& match, std::u16string_view text) {
  if (match.end() > match.start()) return match.end();
  size_t next = match.end() + 1;
  if (next < text.size() && text[next - 1] >= 0xD800 && text[next - 1] <= 0xDBFF &&
      text[next] >= 0xDC00 && text[next] <= 0xDFFF) {
    ++next;
  }
  return next;
}

void AppendReplacement(std::u16string& out, std::u16string_view replacement, const Match& m) {
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
        if (d - u'0' <= m.groupCount()) out += m.group(d - u'0');
        ++i;
        continue;
      }
    }
    out += c;
  }
}

}  // namespace

std::string Error::report() const {
  return "Error #" + std::to_string(number) + ": " + message();
}

std::string Error::message() const {
  return Utf16ToUtf8(description);
}

std::u16string_view Match::group(int n) const {
  const std::optional<Span>& s = spans_[n];
  return s ? subject_.substr(s->start, s->end - s->start) : std::u16string_view();
}

size_t Match::byteStart(int n) const {
  return spans_[n] && utf8_ ? utf8_->offsets[spans_[n]->start] : 0;
}

size_t Match::byteEnd(int n) const {
  return spans_[n] && utf8_ ? utf8_->offsets[spans_[n]->end] : 0;
}

std::string_view Match::group8(int n) const {
  if (!utf8_ || !spans_[n]) return {};
  return utf8_->bytes.substr(byteStart(n), byteEnd(n) - byteStart(n));
}

Matches::iterator Matches::begin() {
  if (!started_) {
    started_ = true;
    Advance();
  }
  return iterator(this);
}

void Matches::Advance() {
  const size_t from = current_ ? After(current_->match(), subject_) : next_;
  current_.reset();
  if (error_ || !program_ || from > subject_.size()) return;
  SearchResult result = Access::Run(program_, subject_, from, limits_, utf8_);
  depth_ = std::max(depth_, result.depth());
  if (result.error()) {
    error_ = result.error();
  } else if (result.matched()) {
    current_ = std::move(result);
  }
}

namespace {

// The option check of the legacy calls comes first, then what went wrong before compiling
// (a pattern that is not UTF-8), then the pattern's own error.
std::optional<Error> CompileError(const Program& program,
                                  const std::optional<EngineError>& before = std::nullopt) {
  if (const std::optional<EngineError> error = OptionsError(program.Flags())) {
    return ToError(*error);
  }
  if (before) return ToError(*before);
  if (program.Error()) return ToError(*program.Error(), program.ErrorPosition());
  return std::nullopt;
}

}  // namespace

Pattern::Pattern(std::u16string_view pattern, int32_t flags)
    : program_(std::make_shared<const Program>(pattern, flags)), error_(CompileError(*program_)) {}

Pattern::Pattern(std::string_view utf8Pattern, int32_t flags) {
  std::u16string pattern;
  size_t bad = 0;
  std::optional<EngineError> invalid;
  if (!Utf8ToUtf16(utf8Pattern, pattern, &bad))
    invalid = InvalidUtf8Error(u"regular expression", bad);
  program_ = std::make_shared<const Program>(pattern, flags);
  error_ = CompileError(*program_, invalid);
}

std::u16string_view Pattern::pattern() const {
  return program_->Pattern();
}

int32_t Pattern::flags() const {
  return program_->Flags();
}

int Pattern::groupCount() const {
  return program_->GroupCount();
}

SearchResult Pattern::search(std::u16string_view text, size_t start, const Limits& limits) const {
  if (error_) return Access::Failed(error_);
  return Access::Run(program_, text, start, limits, nullptr);
}

SearchResult Pattern::search(std::string_view utf8Text, size_t startByte,
                             const Limits& limits) const {
  std::optional<Error> error = error_;
  std::shared_ptr<const Utf8Subject> subject;
  if (!error) subject = Decode(utf8Text, error);
  if (error) return Access::Failed(std::move(error));
  return Access::Run(program_, subject->units, subject->UnitAt(startByte), limits, subject);
}

Matches Pattern::matches(std::u16string_view text, const Limits& limits) const {
  Matches all;
  all.error_ = error_;
  if (!error_) all.program_ = program_;
  all.subject_ = text;
  all.limits_ = limits;
  return all;
}

Matches Pattern::matches(std::string_view utf8Text, const Limits& limits) const {
  Matches all = matches(std::u16string_view(), limits);
  if (all.error_) return all;
  all.utf8_ = Decode(utf8Text, all.error_);
  if (all.utf8_) all.subject_ = all.utf8_->units;
  return all;
}

Replaced Pattern::replace(std::u16string_view text, std::u16string_view replacement,
                          size_t maxCount, const Limits& limits) const {
  Replaced out;
  size_t copied = 0;
  Matches all = matches(text, limits);
  for (const Match& m : all) {
    out.text += text.substr(copied, m.start() - copied);
    AppendReplacement(out.text, replacement, m);
    copied = m.end();
    if (++out.count == maxCount) break;
  }
  out.text += text.substr(copied);
  out.error = all.error();
  return out;
}

Split Pattern::split(std::u16string_view text, size_t maxSplit, const Limits& limits) const {
  Split out;
  size_t copied = 0;
  size_t count = 0;
  Matches all = matches(text, limits);
  for (const Match& m : all) {
    out.pieces.emplace_back(text.substr(copied, m.start() - copied));
    copied = m.end();
    if (++count == maxSplit) break;
  }
  out.pieces.emplace_back(text.substr(copied));
  out.error = all.error();
  return out;
}

}  // namespace quarn
