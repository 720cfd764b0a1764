// What every stage of the engine shares: the 16-bit limits, case folding, the one line break
// and the error raiser.
//
// Counters and positions inside patterns are 16-bit in this engine. Every place that could
// pass that limit goes through Narrow16, which fails with an overflow error (number 6)
// naming the procedure, instead of wrapping around.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quarn/pattern.h"
#include "quarn/quarn.h"

namespace quarn {

inline constexpr int kMaxSubexpressions = 31;

// The engine's one line break; a lone CR or LF is an ordinary character.
inline constexpr std::u16string_view kLineBreak = u"\r\n";

// The overflow of a 16-bit counter or of the subject length limit, in procedure.
EngineError OverflowError(std::u16string_view procedure);
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

// Builds the structured error of a failed engine call; RaiseEngineError throws it.
EngineError MakeEngineError(std::u16string_view text, int32_t number,
                            std::u16string_view procedure);

// The refusal of contradictory options, or nothing when flags are fine.
std::optional<EngineError> OptionsError(int32_t flags);
// A text (what: "text" or "regular expression") that is not UTF-8, from byte offset on.
EngineError InvalidUtf8Error(std::u16string_view what, size_t offset);

// An engine error that knows where in the text being read it arose (0-based).
struct PatternError : EngineError {
  size_t position = 0;
};
[[noreturn]] void RaiseAt(std::u16string_view text, int32_t number, std::u16string_view procedure,
                          size_t position);

// Unicode simple lowercase mapping of one 16-bit unit, independent of locale.
char16_t LowerCase(char16_t c);
std::u16string LowerCase(std::u16string_view text);

std::u16string Decimal(int64_t n);

}  // namespace quarn
