// The legacy calls: Quarn runs a search and stores its outcome in the one program-wide match
// state, QuarnResult and QuarnIndex read it back, and every failure inside an engine call
// ends in the error reporter instead of reaching the host.
//
// Quarn checks the options before it touches the state, so a refused call leaves the
// previous match readable. It then clears the state, takes the compiled pattern from a small
// cache (a host that searches many subjects with one pattern compiles it once; a pattern
// that does not compile keeps its error and reports it on every call) and searches.
//
// Thread safety: the stored match state is one for the program, as the calls define it; a
// lock keeps concurrent calls from corrupting it, but a host that runs calls from several
// threads still reads whichever search stored last. Covered by the public calls tests, the
// differential test and the threads test.
#include <unistd.h>

#include <errno.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <list>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "program.h"
#include "quarn/utf.h"
#include "search.h"
#include "text.h"

namespace quarn {

namespace {

struct LegacyState {
  bool LastResult = false;
  int32_t MatchStart = 0;  // 1-based position of the first matched character
  int32_t MatchEnd = 0;    // position of the last matched character
  std::u16string SubjectText;
  std::array<Capture, kMaxSubexpressions + 1> Subexpressions{};  // 1 to 31 used
  int16_t SubexpressionCount = 0;
  int32_t Options = 0;
};

// The running executable's file name without directory and extension.
std::u16string ExecutableName() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  std::string name = length > 0 ? std::string(path, length) : std::string(program_invocation_name);
  name = name.substr(name.find_last_of('/') + 1);
  if (const size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) {
    name.resize(dot);
  }
  std::u16string decoded;
  return Utf8ToUtf16(name, decoded) ? decoded : Latin1ToUtf16(name);
}

const std::u16string& ErrorSource() {
  static const std::u16string source = ExecutableName() + u".Quarn";
  return source;
}

// The recently used patterns, most recent first. A host's loop over many subjects with one
// pattern, or a few patterns in turn, compiles each once.
class ProgramCache {
 public:
  std::shared_ptr<const Program> Get(std::u16string_view pattern, int32_t flags) {
    // Bits other than the three options do not change what a pattern means.
    flags &= reIgnoreCase | reSingleLine | reMultiline;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if ((*it)->Flags() == flags && (*it)->Pattern() == pattern) {
        entries_.splice(entries_.begin(), entries_, it);
        return entries_.front();
      }
    }
    entries_.push_front(std::make_shared<const Program>(pattern, flags));
    if (entries_.size() > kEntries) entries_.pop_back();
    return entries_.front();
  }

 private:
  static constexpr size_t kEntries = 16;
  std::list<std::shared_ptr<const Program>> entries_;
};

struct Legacy {
  std::recursive_mutex lock;  // a reporter may call the engine again
  LegacyState state;
  ProgramCache cache;
  MatchState search;
  ErrorReporter reporter;
};

Legacy& Calls() {
  static Legacy legacy;
  return legacy;
}

EngineError ToEngineError(const Error& error) {
  return EngineError{error.number, ErrorSource(), error.description, error.kind};
}

void Report(const EngineError& error) noexcept {
  try {
    const std::u16string text = u"Error #" + Decimal(error.Number) + u": " + error.Description;
    if (const ErrorReporter& reporter = Calls().reporter) {
      reporter(error, text);
    } else {
      std::fprintf(stderr, "%s\n", Utf16ToUtf8(text).c_str());
    }
  } catch (...) {
    // A reporter that throws must not carry the exception into the host's call.
  }
}

// Runs the body of a public call; whatever fails inside it is reported, never thrown.
template <typename Body>
void Guarded(std::u16string_view procedure, Body body) noexcept {
  try {
    try {
      body();
    } catch (const std::bad_alloc&) {
      throw OutOfMemoryError(procedure);
    }
  } catch (const Error& error) {
    Report(ToEngineError(error));
  } catch (const EngineError& error) {
    Report(error);  // raised by a host's reporter through RaiseEngineError
  } catch (...) {
    // Only a failed allocation while building the report itself can get here.
  }
}

void CheckOptions(int32_t flags) {
  if (std::optional<Error> error = OptionsError(flags)) throw std::move(*error);
}

// Every call starts from a clean state, so that nothing an earlier search left behind can
// show through: the records a search fills are copied whole, and the others are never read
// (a selector past the group count is refused).
void ResetState(LegacyState& state, int32_t flags, std::u16string_view text) {
  state.LastResult = false;
  state.MatchStart = 0;
  state.MatchEnd = 0;
  state.SubexpressionCount = 0;
  state.Options = flags;
  state.SubjectText.assign(text);
}

void Search(Legacy& calls, std::u16string_view pattern) {
  LegacyState& state = calls.state;
  const std::shared_ptr<const Program> program = calls.cache.Get(pattern, state.Options);
  state.SubexpressionCount = program->GroupCount();
  if (program->Error()) throw *program->Error();
  SearchOutcome outcome = calls.search.Search(*program, state.SubjectText, 0, SearchLimits());
  if (outcome.status == SearchStatus::kError) throw std::move(*outcome.error);
  state.LastResult = outcome.status == SearchStatus::kMatched;
  if (!state.LastResult) return;
  state.MatchStart = static_cast<int32_t>(outcome.matchStart) + 1;
  state.MatchEnd = static_cast<int32_t>(outcome.matchEnd);
  for (int n = 1; n <= state.SubexpressionCount; ++n)
    state.Subexpressions[n] = calls.search.Group(n);
}

void RequireStoredMatch(const LegacyState& state, std::u16string_view procedure) {
  if (!state.LastResult) {
    Raise(u"No match on last call to Quarn, or Quarn not called at all", errNoMatch, procedure);
  }
}

struct Span {
  int32_t start;
  int32_t length;
};

Span IndexOf(const LegacyState& state, int32_t type) {
  RequireStoredMatch(state, u"QuarnIndex");
  const int32_t count = state.SubexpressionCount;
  switch (type) {
    case reBeforeMatch:
      return {1, state.MatchStart - 1};
    case reMatch:
      return {state.MatchStart, state.MatchEnd - state.MatchStart + 1};
    case reAfterMatch:
      return {state.MatchEnd + 1, static_cast<int32_t>(state.SubjectText.size()) - state.MatchEnd};
    case reSubexprCount:
      return {count, count};
    default:
      break;
  }
  if (type >= 1 && type <= count) {
    const Capture& record = state.Subexpressions[type];
    if (!record.complete) return {0, 0};
    return {static_cast<int32_t>(record.start) + 1,
            static_cast<int32_t>(record.end - record.start)};
  }
  if (type >= 1 && type <= kMaxSubexpressions) {
    Raise(u"No match stored for regular sub-expression #" + Decimal(type), errArgument,
          u"QuarnIndex");
  }
  Raise(u"Invalid value, parameter ResultType = " + Decimal(type), errArgument, u"QuarnIndex");
}

[[noreturn]] void RaiseInvalidUtf8(std::u16string_view what, size_t offset) {
  throw InvalidUtf8Error(what, offset);
}

}  // namespace

std::u16string Decimal(int64_t n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

[[noreturn]] void RaiseEngineError(std::u16string_view text, int16_t number,
                                   std::u16string_view procedure) {
  throw ToEngineError(MakeError(text, number, procedure));
}

ErrorReporter SetErrorReporter(ErrorReporter reporter) {
  Legacy& calls = Calls();
  std::lock_guard lock(calls.lock);
  ErrorReporter previous = std::move(calls.reporter);
  calls.reporter = std::move(reporter);
  return previous;
}

bool Quarn(std::u16string_view text, std::u16string_view pattern, int32_t flags) noexcept {
  Legacy& calls = Calls();
  std::lock_guard lock(calls.lock);
  Guarded(u"Quarn", [&] {
    CheckOptions(flags);
    const std::u16string ownPattern(pattern);  // text or pattern may view the stored subject
    ResetState(calls.state, flags, text);
    Search(calls, ownPattern);
  });
  return calls.state.LastResult;
}

bool Quarn(std::string_view text, std::string_view pattern, int32_t flags) noexcept {
  Legacy& calls = Calls();
  std::lock_guard lock(calls.lock);
  Guarded(u"Quarn", [&] {
    CheckOptions(flags);
    std::u16string text16;
    std::u16string pattern16;
    size_t offset = 0;
    const bool textDecodes = Utf8ToUtf16(text, text16, &offset);
    ResetState(calls.state, flags, textDecodes ? text16 : std::u16string());
    if (!textDecodes) RaiseInvalidUtf8(u"text", offset);
    if (!Utf8ToUtf16(pattern, pattern16, &offset)) RaiseInvalidUtf8(u"regular expression", offset);
    Search(calls, pattern16);
  });
  return calls.state.LastResult;
}

void QuarnIndex(int32_t type, int32_t& start, int32_t& length) noexcept {
  Legacy& calls = Calls();
  std::lock_guard lock(calls.lock);
  Guarded(u"QuarnIndex", [&] {
    const Span span = IndexOf(calls.state, type);
    start = span.start;
    length = span.length;
  });
}

ResultValue QuarnResult(int32_t type) noexcept {
  Legacy& calls = Calls();
  std::lock_guard lock(calls.lock);
  ResultValue value;
  Guarded(u"QuarnResult", [&] {
    const LegacyState& state = calls.state;
    RequireStoredMatch(state, u"QuarnResult");
    int32_t start = 0;
    int32_t length = 0;
    QuarnIndex(type, start, length);  // reports its own errors and then leaves start at 0
    if (start < 1) return;
    if (type == reSubexprCount) {
      value = state.SubexpressionCount;
      return;
    }
    const std::u16string_view subject = state.SubjectText;
    const size_t from = std::min<size_t>(start - 1, subject.size());
    value = std::u16string(subject.substr(from, std::max(length, 0)));
  });
  return value;
}

ResultValueUtf8 QuarnResultUtf8(int32_t type) noexcept {
  ResultValueUtf8 value;
  Guarded(u"QuarnResult", [&] {
    const ResultValue result = QuarnResult(type);
    if (const auto* count = std::get_if<int16_t>(&result)) value = *count;
    if (const auto* text = std::get_if<std::u16string>(&result)) value = Utf16ToUtf8(*text);
  });
  return value;
}

}  // namespace quarn
