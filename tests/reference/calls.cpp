// The reference's public calls and match state, as the legacy calls define them. Every call
// starts from a table with all 31 records cleared, so that nothing an earlier search left
// behind shows through.
#include <algorithm>
#include <cstdio>
#include <new>
#include <string>

#include "quarn/utf.h"
#include "reference.h"
#include "reference_internal.h"

namespace quarn::reference {

ModuleState State;
int16_t maxDepth = 1000;

namespace {

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
  } catch (const Error& error) {
    // Raised by the library's scanner and rewriting stages, which the reference shares.
    Report(EngineError{error.number, u"", error.description, error.kind});
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
  State.Subexpressions = {};
  State.SubexpressionCount = 0;
}

uint64_t callBudget = 0;
uint64_t calls = 0;

void ResetState(int32_t flags, std::u16string_view text) {
  State.LastResult = false;
  State.MatchStart = 0;
  State.MatchEnd = 0;
  ClearSubexpressions();
  State.Depth = 0;
  State.Options = flags;
  State.SubjectText.assign(text);
  ResetMatcher();
  calls = 0;
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
  const std::u16string internal =
      ProcessParentheses(ExpandEspaces(pattern), State.SubexpressionCount);
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
    // A group closed at a place before where it opened (only stray marker characters can do
    // that) took no part in the match, like one whose markers were never passed.
    if (!record.Complete || record.EndPos < record.StartPos - 1) return {0, 0};
    return {record.StartPos, record.EndPos - record.StartPos + 1};
  }
  if (type >= 1 && type <= kMaxSubexpressions) {
    RaiseEngineError(u"No match stored for regular sub-expression #" + Decimal(type), errArgument,
                     u"QuarnIndex");
  }
  RaiseEngineError(u"Invalid value, parameter ResultType = " + Decimal(type), errArgument,
                   u"QuarnIndex");
}

}  // namespace

void CountCall() {
  if (callBudget != 0 && ++calls > callBudget) {
    throw EngineError{errAbandoned, u"", u"The reference gave up"};
  }
}

void SetCallBudget(uint64_t budget) {
  callBudget = budget;
}

void SetDepthLimit(int16_t depth) {
  maxDepth = depth;
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

}  // namespace quarn::reference
