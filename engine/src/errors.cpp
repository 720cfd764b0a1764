// The engine's errors in one place: the kind of each number, the errors that the limits,
// options and arguments of every entry point raise, and the texts of Error.
//
// The stages raise their pattern faults with the texts of the pattern language where they
// read the construct; the kind of those follows from the number alone (20050 and 20052 are
// syntax, 6 an overflow of the pattern's 16-bit counts). The errors whose number is shared
// with a fault of another kind (the depth limit, the subject length, the option conflict) are
// made here and only here.
#include <string>

#include "quarn/utf.h"
#include "text.h"

namespace quarn {

namespace {

ErrorKind KindOfNumber(int32_t number) {
  switch (number) {
    case errQuantifier:
    case errSyntax:
      return ErrorKind::kPatternSyntax;
    case errOverflow:
      return ErrorKind::kOverflow;
    case errOutOfMemory:
      return ErrorKind::kOutOfMemory;
    case errNoMatch:
      return ErrorKind::kNoStoredMatch;
    case errArgument:
      return ErrorKind::kInvalidArgument;
    case errInvalidUtf8:
      return ErrorKind::kInvalidUtf8;
    case errStepLimit:
      return ErrorKind::kStepBudget;
    case errCancelled:
      return ErrorKind::kCancelled;
    default:
      return ErrorKind::kInternal;
  }
}

}  // namespace

std::string_view ErrorKindName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kPatternSyntax:
      return "pattern-syntax";
    case ErrorKind::kDepthLimit:
      return "depth-limit";
    case ErrorKind::kOverflow:
      return "overflow";
    case ErrorKind::kSubjectLength:
      return "subject-length";
    case ErrorKind::kStepBudget:
      return "step-budget";
    case ErrorKind::kCancelled:
      return "cancelled";
    case ErrorKind::kInvalidUtf8:
      return "invalid-utf8";
    case ErrorKind::kOutOfMemory:
      return "out-of-memory";
    case ErrorKind::kInvalidOptions:
      return "invalid-options";
    case ErrorKind::kInvalidArgument:
      return "invalid-argument";
    case ErrorKind::kNoStoredMatch:
      return "no-stored-match";
    case ErrorKind::kInternal:
      break;
  }
  return "internal";
}

std::string Error::report() const {
  return "Error #" + std::to_string(number) + ": " + message();
}

std::string Error::message() const {
  return Utf16ToUtf8(description);
}

Error MakeError(std::u16string_view text, int32_t number, std::u16string_view procedure,
                ErrorKind kind) {
  return Error{number, kind,
               u"Error in Quarn." + std::u16string(procedure) + u": " + std::u16string(text),
               std::nullopt};
}

Error MakeError(std::u16string_view text, int32_t number, std::u16string_view procedure) {
  return MakeError(text, number, procedure, KindOfNumber(number));
}

[[noreturn]] void Raise(std::u16string_view text, int32_t number, std::u16string_view procedure) {
  throw MakeError(text, number, procedure);
}

[[noreturn]] void RaiseAt(std::u16string_view text, int32_t number, std::u16string_view procedure,
                          size_t position) {
  Error error = MakeError(text, number, procedure);
  error.position = position;
  throw error;
}

[[noreturn]] void RaiseOverflow(std::u16string_view procedure) {
  Raise(u"Overflow", errOverflow, procedure);
}

Error DepthLimitError() {
  return MakeError(u"Maximum number of iterations exceeded. Possibly an infinite loop.", errSyntax,
                   u"DoQuarn", ErrorKind::kDepthLimit);
}

Error SubjectLengthError() {
  return MakeError(u"Overflow", errOverflow, u"FindFirstMatch", ErrorKind::kSubjectLength);
}

Error StepBudgetError() {
  return MakeError(u"Step budget exhausted", errStepLimit, u"DoQuarn");
}

Error CancelledError() {
  return MakeError(u"Search cancelled", errCancelled, u"DoQuarn");
}

Error OutOfMemoryError(std::u16string_view procedure) {
  return MakeError(u"Out of memory", errOutOfMemory, procedure);
}

std::optional<Error> OptionsError(int32_t flags) {
  if (!(flags & reSingleLine) || !(flags & reMultiline)) return std::nullopt;
  return MakeError(u"Cannot specify both reSingleLine and reMultiline at the same time.",
                   errArgument, u"Quarn", ErrorKind::kInvalidOptions);
}

Error InvalidUtf8Error(std::u16string_view what, size_t offset) {
  return MakeError(u"Invalid UTF-8 in the " + std::u16string(what) + u" at byte " +
                       Decimal(static_cast<int64_t>(offset)),
                   errInvalidUtf8, u"Quarn");
}

Error StartError(size_t start, bool pastEnd) {
  const std::u16string at = Decimal(static_cast<int64_t>(start));
  return MakeError(pastEnd ? u"The start " + at + u" lies past the end of the text"
                           : u"The start byte " + at + u" lies inside a character",
                   errArgument, u"Search", ErrorKind::kInvalidArgument);
}

}  // namespace quarn
