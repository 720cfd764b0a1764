// The C interface: handles over the C++ API, every call guarded so that no exception ever
// crosses into C.
#include "quarn/quarn_c.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "quarn/pattern.h"
#include "quarn/utf.h"

struct quarn_pattern {
  quarn::Pattern pattern;
  bool utf8;  // positions in errors are then given in bytes
};

struct quarn_text {
  quarn::Text text;
};

struct quarn_cancel {
  std::atomic<bool> flag{false};
};

namespace {

// The C kinds are quarn::ErrorKind's values.
static_assert(QUARN_KIND_PATTERN_SYNTAX == static_cast<int>(quarn::ErrorKind::kPatternSyntax));
static_assert(QUARN_KIND_DEPTH_LIMIT == static_cast<int>(quarn::ErrorKind::kDepthLimit));
static_assert(QUARN_KIND_OVERFLOW == static_cast<int>(quarn::ErrorKind::kOverflow));
static_assert(QUARN_KIND_SUBJECT_LENGTH == static_cast<int>(quarn::ErrorKind::kSubjectLength));
static_assert(QUARN_KIND_STEP_BUDGET == static_cast<int>(quarn::ErrorKind::kStepBudget));
static_assert(QUARN_KIND_CANCELLED == static_cast<int>(quarn::ErrorKind::kCancelled));
static_assert(QUARN_KIND_INVALID_UTF8 == static_cast<int>(quarn::ErrorKind::kInvalidUtf8));
static_assert(QUARN_KIND_OUT_OF_MEMORY == static_cast<int>(quarn::ErrorKind::kOutOfMemory));
static_assert(QUARN_KIND_INVALID_OPTIONS == static_cast<int>(quarn::ErrorKind::kInvalidOptions));
static_assert(QUARN_KIND_INVALID_ARGUMENT == static_cast<int>(quarn::ErrorKind::kInvalidArgument));
static_assert(QUARN_KIND_NO_STORED_MATCH == static_cast<int>(quarn::ErrorKind::kNoStoredMatch));
static_assert(QUARN_KIND_INTERNAL == static_cast<int>(quarn::ErrorKind::kInternal));

void Clear(quarn_error* error) {
  if (error == nullptr) return;
  error->number = 0;
  error->kind = QUARN_KIND_NONE;
  error->position = -1;
  error->length = 0;
  error->message[0] = '\0';
}

void Set(quarn_error* error, int32_t number, quarn::ErrorKind kind, const std::string& message,
         int64_t position) {
  if (error == nullptr) return;
  error->number = number;
  error->kind = static_cast<int32_t>(kind);
  error->position = position;
  error->length = message.size();
  const size_t kept = std::min(message.size(), sizeof error->message - 1);
  std::memcpy(error->message, message.data(), kept);
  error->message[kept] = '\0';
}

// A position in units as the caller counts it: in bytes of the UTF-8 pattern when it gave one.
int64_t Position(const quarn_pattern* p, const std::optional<size_t>& units) {
  if (!units) return -1;
  if (p == nullptr || !p->utf8) return static_cast<int64_t>(*units);
  return static_cast<int64_t>(quarn::Utf16ToUtf8(p->pattern.pattern().substr(0, *units)).size());
}

void Set(quarn_error* error, const quarn::Error& e, const quarn_pattern* p) {
  Set(error, e.number, e.kind, e.report(), Position(p, e.position));
}

// Runs a call's body; memory running out (or anything else thrown) becomes an error value.
template <typename Result, typename Body>
Result Guarded(quarn_error* error, Result failed, Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    Set(error, quarn::errOutOfMemory, quarn::ErrorKind::kOutOfMemory, "Error #7: Out of memory",
        -1);
  } catch (...) {
    Set(error, quarn::errInternal, quarn::ErrorKind::kInternal, "Error #20054: Internal error", -1);
  }
  return failed;
}

quarn::Limits ToLimits(const quarn_limits* limits) {
  quarn::Limits out;
  if (limits == nullptr) return out;
  if (limits->depth != 0) out.depth = limits->depth;
  if (limits->subject_length != 0) out.subjectLength = limits->subject_length;
  out.steps = limits->steps;
  if (limits->cancel != nullptr) out.cancel = &limits->cancel->flag;
  return out;
}

template <typename Char>
size_t Length(const Char* text, size_t length) {
  if (length != QUARN_NUL_TERMINATED) return length;
  size_t n = 0;
  while (text[n] != 0)
    ++n;
  return n;
}

quarn_pattern* Compile(quarn::Pattern pattern, bool utf8, quarn_error* error) {
  auto* compiled = new quarn_pattern{std::move(pattern), utf8};
  if (!compiled->pattern.error()) return compiled;
  Set(error, *compiled->pattern.error(), compiled);
  delete compiled;
  return nullptr;
}

int Answer(const quarn_pattern* p, const quarn::SearchResult& result, bool bytes, quarn_span* spans,
           size_t spanCount, quarn_error* error) {
  if (result.error()) {
    Set(error, *result.error(), p);
    // A search meets an invalid argument only in a start that is no place in the text.
    return result.error()->kind == quarn::ErrorKind::kInvalidArgument ? QUARN_INVALID_ARGUMENT
                                                                      : QUARN_ERROR;
  }
  if (!result.matched()) return QUARN_NO_MATCH;
  const quarn::Match& m = result.match();
  for (size_t n = 0; n < spanCount && n <= static_cast<size_t>(m.groupCount()); ++n) {
    const int g = static_cast<int>(n);
    if (!m.matched(g)) {
      spans[n] = {-1, -1};
    } else if (bytes) {
      spans[n] = {static_cast<int64_t>(m.byteStart(g)), static_cast<int64_t>(m.byteEnd(g))};
    } else {
      spans[n] = {static_cast<int64_t>(m.span(g)->start), static_cast<int64_t>(m.span(g)->end)};
    }
  }
  return QUARN_MATCH;
}

int Invalid(quarn_error* error, const char* what) {
  Set(error, quarn::errArgument, quarn::ErrorKind::kInvalidArgument,
      std::string("Error #20053: ") + what, -1);
  return QUARN_INVALID_ARGUMENT;
}

// The view of a caller's text: UTF-8 bytes or UTF-16 units.
template <typename Unit>
auto View(const Unit* text, size_t length) {
  if constexpr (sizeof(Unit) == 1) {
    return std::string_view(text, Length(text, length));
  } else {
    return std::u16string_view(reinterpret_cast<const char16_t*>(text), Length(text, length));
  }
}

// A search of a prepared text: spans in bytes for UTF-8, in units for UTF-16.
int SearchText(const quarn_pattern* pattern, const quarn::Text& text, size_t start,
               const quarn_limits* limits, quarn_span* spans, size_t spanCount,
               quarn_error* error) {
  const quarn::SearchResult r = pattern->pattern.search(text, start, ToLimits(limits));
  return Answer(pattern, r, text.isUtf8(), spans, spanCount, error);
}

// What every search checks before it runs; 0 when the arguments are fine.
int Refusal(const quarn_pattern* pattern, const void* text, const quarn_span* spans,
            size_t spanCount, quarn_error* error) {
  Clear(error);
  if (pattern == nullptr) return Invalid(error, "No pattern");
  if (text == nullptr) return Invalid(error, "No text");
  if (spans == nullptr && spanCount != 0) return Invalid(error, "No spans for the match");
  return 0;
}

quarn_text* Prepared(quarn::Text text, quarn_error* error) {
  if (const std::optional<quarn::Error>& e = text.error()) {
    Set(error, e->number, e->kind, e->report(), -1);
    return nullptr;
  }
  return new quarn_text{std::move(text)};
}

// A copy that C frees with quarn_string_free.
char* CopyForC(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

// The pattern that either entry point gives, read once.
template <typename Unit>
quarn::Pattern Read(const Unit* pattern, size_t length, int32_t flags) {
  const size_t n = Length(pattern, length);
  if constexpr (sizeof(Unit) == 1) return quarn::Pattern(std::string_view(pattern, n), flags);
  return quarn::Pattern(std::u16string_view(reinterpret_cast<const char16_t*>(pattern), n), flags);
}

template <typename Unit>
char* Analyze(const Unit* pattern, size_t length, int32_t flags) {
  if (pattern == nullptr) return nullptr;
  try {
    return CopyForC(Read(pattern, length, flags).explainJson());
  } catch (...) {
    return nullptr;  // memory ran out
  }
}

template <typename Unit>
int Check(const Unit* pattern, size_t length, int32_t flags, quarn_error* first) {
  Clear(first);
  if (pattern == nullptr) return Invalid(first, "No pattern");
  return Guarded(first, QUARN_ERROR, [&] {
    const quarn::Pattern p = Read(pattern, length, flags);
    int faults = 0;
    for (const quarn::Diagnostic& d : p.diagnostics()) {
      if (d.severity != quarn::Severity::kError || !d.error) continue;
      if (faults++ > 0) continue;
      quarn::Error where = *d.error;
      where.position = d.start;
      const quarn_pattern handle{p, sizeof(Unit) == 1};
      Set(first, where, &handle);
    }
    return faults;
  });
}

}  // namespace

extern "C" {

quarn_pattern* quarn_compile(const char* pattern, size_t length, int32_t flags,
                             quarn_error* error) {
  Clear(error);
  if (pattern == nullptr) return Invalid(error, "No pattern"), nullptr;
  return Guarded(error, static_cast<quarn_pattern*>(nullptr), [&] {
    return Compile(quarn::Pattern(std::string_view(pattern, Length(pattern, length)), flags), true,
                   error);
  });
}

quarn_pattern* quarn_compile16(const uint16_t* pattern, size_t length, int32_t flags,
                               quarn_error* error) {
  Clear(error);
  if (pattern == nullptr) return Invalid(error, "No pattern"), nullptr;
  return Guarded(error, static_cast<quarn_pattern*>(nullptr), [&] {
    const auto* units = reinterpret_cast<const char16_t*>(pattern);
    return Compile(quarn::Pattern(std::u16string_view(units, Length(pattern, length)), flags),
                   false, error);
  });
}

void quarn_free(quarn_pattern* pattern) {
  delete pattern;
}

int quarn_group_count(const quarn_pattern* pattern) {
  return pattern == nullptr ? QUARN_INVALID_ARGUMENT : pattern->pattern.groupCount();
}

int quarn_search(const quarn_pattern* pattern, const char* text, size_t length, size_t start,
                 const quarn_limits* limits, quarn_span* spans, size_t span_count,
                 quarn_error* error) {
  if (const int refused = Refusal(pattern, text, spans, span_count, error)) return refused;
  return Guarded(error, QUARN_ERROR, [&] {
    const quarn::Text decoded(std::string_view(text, Length(text, length)), ToLimits(limits));
    return SearchText(pattern, decoded, start, limits, spans, span_count, error);
  });
}

int quarn_search16(const quarn_pattern* pattern, const uint16_t* text, size_t length, size_t start,
                   const quarn_limits* limits, quarn_span* spans, size_t span_count,
                   quarn_error* error) {
  if (const int refused = Refusal(pattern, text, spans, span_count, error)) return refused;
  return Guarded(error, QUARN_ERROR, [&] {
    const quarn::Text units(
        std::u16string_view(reinterpret_cast<const char16_t*>(text), Length(text, length)));
    return SearchText(pattern, units, start, limits, spans, span_count, error);
  });
}

quarn_text* quarn_text_new(const char* text, size_t length, const quarn_limits* limits,
                           quarn_error* error) {
  Clear(error);
  if (text == nullptr) return Invalid(error, "No text"), nullptr;
  return Guarded(error, static_cast<quarn_text*>(nullptr), [&] {
    return Prepared(quarn::Text(std::string_view(text, Length(text, length)), ToLimits(limits)),
                    error);
  });
}

quarn_text* quarn_text_new16(const uint16_t* text, size_t length, quarn_error* error) {
  Clear(error);
  if (text == nullptr) return Invalid(error, "No text"), nullptr;
  return Guarded(error, static_cast<quarn_text*>(nullptr), [&] {
    const auto* units = reinterpret_cast<const char16_t*>(text);
    return Prepared(quarn::Text(std::u16string_view(units, Length(text, length))), error);
  });
}

void quarn_text_free(quarn_text* text) {
  delete text;
}

int quarn_search_text(const quarn_pattern* pattern, const quarn_text* text, size_t start,
                      const quarn_limits* limits, quarn_span* spans, size_t span_count,
                      quarn_error* error) {
  if (const int refused = Refusal(pattern, text, spans, span_count, error)) return refused;
  return Guarded(error, QUARN_ERROR, [&] {
    return SearchText(pattern, text->text, start, limits, spans, span_count, error);
  });
}

char* quarn_analyze(const char* pattern, size_t length, int32_t flags) {
  return Analyze(pattern, length, flags);
}

char* quarn_analyze16(const uint16_t* pattern, size_t length, int32_t flags) {
  return Analyze(pattern, length, flags);
}

void quarn_string_free(char* text) {
  std::free(text);
}

int quarn_check(const char* pattern, size_t length, int32_t flags, quarn_error* first) {
  return Check(pattern, length, flags, first);
}

int quarn_check16(const uint16_t* pattern, size_t length, int32_t flags, quarn_error* first) {
  return Check(pattern, length, flags, first);
}

quarn_cancel* quarn_cancel_new(void) {
  return new (std::nothrow) quarn_cancel;
}

void quarn_cancel_set(quarn_cancel* cancel) {
  if (cancel != nullptr) cancel->flag.store(true);
}

void quarn_cancel_reset(quarn_cancel* cancel) {
  if (cancel != nullptr) cancel->flag.store(false);
}

void quarn_cancel_free(quarn_cancel* cancel) {
  delete cancel;
}

const char* quarn_version(void) {
  return QUARN_VERSION;
}

}  // extern "C"
