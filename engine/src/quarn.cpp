// The public calls and the match state: Quarn runs a search and stores its outcome,
// QuarnResult and QuarnIndex read it back, and every failure inside an engine call ends in
// the error reporter instead of reaching the host.
//
// Quarn checks the options before it touches the state, so a refused call leaves the
// previous match readable; after that it resets the state, rewrites the pattern (escapes,
// then groups) and tries the matcher at each start position until one succeeds.
#include <unistd.h>

#include <errno.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>
#include <string>

#include "internal.h"
#include "quarn/utf.h"

namespace quarn {

ModuleState State;

namespace {

std::u16string Decimal(int64_t n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

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

ErrorReporter& CurrentReporter() {
  static ErrorReporter reporter;
  return reporter;
}

void Report(const EngineError& error) noexcept {
  try {
    const std::u16string text = u"Error #" + Decimal(error.Number) + u": " + error.Description;
    if (const ErrorReporter& reporter = CurrentReporter()) {
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
      RaiseEngineError(u"Out of memory", errOutOfMemory, procedure);
    }
  } catch (const EngineError& error) {
    Report(error);
  } catch (...) {
    // Only a failed allocation while building the report itself can get here.
  }
}

void CheckOptions(int32_t flags) {
  if ((flags & reSingleLine) && (flags & reMultiline)) {
    RaiseEngineError(u"Cannot specify both reSingleLine and reMultiline at the same time.",
                     errArgument, u"Quarn");
  }
}

void ClearSubexpressions() {
  for (int n = std::min<int>(State.SubexpressionCount, kMaxSubexpressions); n >= 1; --n) {
    State.Subexpressions[n] = {};
  }
  State.SubexpressionCount = 0;
}

void ResetState(int32_t flags, std::u16string_view text) {
  State.LastResult = false;
  State.MatchStart = 0;
  State.MatchEnd = 0;
  ClearSubexpressions();
  State.Depth = 0;
  State.Options = flags;
  State.SubjectText.assign(text);
  ResetMatcher();
}

// Tries the matcher at positions 1 to length + 1 of the subject; the first success wins.
// The position is a 16-bit counter: a subject of 32,767 characters or more cannot be
// scanned at all, and one of 32,766 overflows when its last position fails too.
bool FindFirstMatch(std::u16string_view pattern) {
  const std::u16string_view text = State.SubjectText;
  const int16_t last = Narrow16(int64_t{1} + static_cast<int64_t>(text.size()), u"FindFirstMatch");
  for (int32_t i = 1; i <= last; ++i) {
    std::u16string_view remaining = text.substr(i - 1);
    if (DoQuarn(remaining, pattern)) {
      State.MatchStart = i;
      State.MatchEnd = static_cast<int32_t>(text.size() - remaining.size());
      return true;
    }
  }
  Narrow16(int64_t{last} + 1, u"FindFirstMatch");
  return false;
}

void Search(std::u16string_view pattern) {
  const std::u16string internal = ProcessParentheses(ExpandEspaces(pattern));
  State.LastResult = FindFirstMatch(internal);
}

void RequireStoredMatch(std::u16string_view procedure) {
  if (!State.LastResult) {
    RaiseEngineError(u"No match on last call to Quarn, or Quarn not called at all", errNoMatch,
                     procedure);
  }
}

struct Span {
  int32_t start;
  int32_t length;
};

Span IndexOf(int32_t type) {
  RequireStoredMatch(u"QuarnIndex");
  const int32_t count = State.SubexpressionCount;
  switch (type) {
    case reBeforeMatch:
      return {1, State.MatchStart - 1};
    case reMatch:
      return {State.MatchStart, State.MatchEnd - State.MatchStart + 1};
    case reAfterMatch:
      return {State.MatchEnd + 1, static_cast<int32_t>(State.SubjectText.size()) - State.MatchEnd};
    case reSubexprCount:
      return {count, count};
    default:
      break;
  }
  if (type >= 1 && type <= count) {
    const SubexpressionRecord& record = State.Subexpressions[type];
    if (!record.Complete) return {0, 0};
    return {record.StartPos, record.EndPos - record.StartPos + 1};
  }
  if (type >= 1 && type <= kMaxSubexpressions) {
    RaiseEngineError(u"No match stored for regular sub-expression #" + Decimal(type), errArgument,
                     u"QuarnIndex");
  }
  RaiseEngineError(u"Invalid value, parameter ResultType = " + Decimal(type), errArgument,
                   u"QuarnIndex");
}

[[noreturn]] void RaiseInvalidUtf8(std::u16string_view what, size_t offset) {
  RaiseEngineError(u"Invalid UTF-8 in the " + std::u16string(what) + u" at byte " +
                       Decimal(static_cast<int64_t>(offset)),
                   errInvalidUtf8, u"Quarn");
}

}  // namespace

[[noreturn]] void RaiseEngineError(std::u16string_view text, int16_t number,
                                   std::u16string_view procedure) {
  throw EngineError{number, ErrorSource(),
                    u"Error in Quarn." + std::u16string(procedure) + u": " + std::u16string(text)};
}

[[noreturn]] void RaiseOverflow(std::u16string_view procedure) {
  RaiseEngineError(u"Overflow", errOverflow, procedure);
}

ErrorReporter SetErrorReporter(ErrorReporter reporter) {
  ErrorReporter previous = std::move(CurrentReporter());
  CurrentReporter() = std::move(reporter);
  return previous;
}

bool Quarn(std::u16string_view text, std::u16string_view pattern, int32_t flags) noexcept {
  Guarded(u"Quarn", [&] {
    CheckOptions(flags);
    const std::u16string ownPattern(pattern);  // text or pattern may view the stored subject
    ResetState(flags, text);
    Search(ownPattern);
  });
  return State.LastResult;
}

bool Quarn(std::string_view text, std::string_view pattern, int32_t flags) noexcept {
  Guarded(u"Quarn", [&] {
    CheckOptions(flags);
    std::u16string text16;
    std::u16string pattern16;
    size_t offset = 0;
    const bool textDecodes = Utf8ToUtf16(text, text16, &offset);
    ResetState(flags, textDecodes ? text16 : std::u16string());
    if (!textDecodes) RaiseInvalidUtf8(u"text", offset);
    if (!Utf8ToUtf16(pattern, pattern16, &offset)) RaiseInvalidUtf8(u"regular expression", offset);
    Search(pattern16);
  });
  return State.LastResult;
}

void QuarnIndex(int32_t type, int32_t& start, int32_t& length) noexcept {
  Guarded(u"QuarnIndex", [&] {
    const Span span = IndexOf(type);
    start = span.start;
    length = span.length;
  });
}

ResultValue QuarnResult(int32_t type) noexcept {
  ResultValue value;
  Guarded(u"QuarnResult", [&] {
    RequireStoredMatch(u"QuarnResult");
    int32_t start = 0;
    int32_t length = 0;
    QuarnIndex(type, start, length);  // reports its own errors and then leaves start at 0
    if (start < 1) return;
    if (type == reSubexprCount) {
      value = State.SubexpressionCount;
      return;
    }
    const std::u16string_view subject = State.SubjectText;
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
