// What every stage of the engine shares: the 16-bit limits, case folding, the one line break
// and the errors.
//
// Counters and positions inside patterns are 16-bit in this engine. Every place that could
// pass that limit goes through Narrow16, which fails with an overflow error (number 6)
// naming the procedure, instead of wrapping around.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quarn/errors.h"
#include "quarn/quarn.h"

namespace quarn {

inline constexpr int kMaxSubexpressions = 31;

// The engine's one line break; a lone CR or LF is an ordinary character.
inline constexpr std::u16string_view kLineBreak = u"\r\n";

[[noreturn]] void RaiseOverflow(std::u16string_view procedure);

inline int16_t Narrow16(int64_t value, std::u16string_view procedure) {
  if (value < INT16_MIN || value > INT16_MAX) RaiseOverflow(procedure);
  return static_cast<int16_t>(value);
}

// A scan over a text with a 16-bit position may look at positions 1 to 32767 only; needing a
// later position is an overflow.
inline void CheckPosition16(int64_t position, std::u16string_view procedure) {
  Narrow16(position, procedure);
}

// The engine's errors (errors.cpp). Stages fail by throwing an Error; the description is
// "Error in Quarn." + procedure + ": " + text, and the kind follows from the number unless it
// is given (20052 is a syntax error, 6 an overflow of the pattern's counts).
Error MakeError(std::u16string_view text, int32_t number, std::u16string_view procedure);
Error MakeError(std::u16string_view text, int32_t number, std::u16string_view procedure,
                ErrorKind kind);
[[noreturn]] void Raise(std::u16string_view text, int32_t number, std::u16string_view procedure);
// The same, knowing where in the text being read (0-based) the faulty construct begins; the
// caller that knows how that text maps to the pattern turns it into a pattern position.
[[noreturn]] void RaiseAt(std::u16string_view text, int32_t number, std::u16string_view procedure,
                          size_t position);

Error DepthLimitError();
Error SubjectLengthError();  // the subject is longer than the search may take
Error StepBudgetError();
Error CancelledError();
Error OutOfMemoryError(std::u16string_view procedure);
// The refusal of contradictory options, or nothing when flags are fine.
std::optional<Error> OptionsError(int32_t flags);
// A text (what: "text" or "regular expression") that is not UTF-8, from byte offset on.
Error InvalidUtf8Error(std::u16string_view what, size_t offset);
// A search start that is no place where a character begins: past the end of the text, or
// (a byte offset) inside a UTF-8 sequence.
Error StartError(size_t start, bool pastEnd);

// Unicode simple lowercase mapping of one 16-bit unit, independent of locale.
char16_t LowerCase(char16_t c);
std::u16string LowerCase(std::u16string_view text);

std::u16string Decimal(int64_t n);

}  // namespace quarn
