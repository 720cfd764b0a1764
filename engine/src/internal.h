// The engine's shared internals: the module-wide match state, the error raiser helpers, the
// 16-bit limits, and the procedures that the stages call across files.
//
// Every stage is a plain procedure over strings. Texts that a stage shortens from the front
// (the remaining subject, a pattern being cut) are string_views passed by reference, so
// "removing" characters is remove_prefix and never a copy. The remaining subject is always a
// suffix of State.SubjectText; its position follows from the two lengths.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "quarn/quarn.h"

namespace quarn {

struct SubexpressionRecord {
  bool Complete = false;  // the closing marker was passed on the current path
  int32_t StartPos = 0;   // first character inside the group
  int32_t EndPos = 0;     // last character inside the group; StartPos - 1 when empty
  int16_t OpenDepth = 0;  // Depth when last opened; 0 means not opened since cleared
};

inline constexpr int kMaxSubexpressions = 31;
inline constexpr int16_t kMaxDepth = 1000;

struct ModuleState {
  bool LastResult = false;
  int32_t MatchStart = 0;
  int32_t MatchEnd = 0;
  std::u16string SubjectText;
  std::array<SubexpressionRecord, kMaxSubexpressions + 1> Subexpressions{};  // 1 to 31 used
  int16_t SubexpressionCount = 0;
  int16_t Depth = 0;
  int32_t Options = 0;
};

// The one match state of the program: zero at start, reset by each Quarn call that passes
// its option check, readable until the next one.
extern ModuleState State;

// The engine's one line break.
inline constexpr std::u16string_view kLineBreak = u"\r\n";

// Counters and positions inside patterns are 16-bit in this engine. Every place that could
// pass that limit goes through Narrow16, which fails the search with an overflow error
// (number 6) naming the procedure, instead of wrapping around.
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

// Unicode simple lowercase mapping of one 16-bit unit, independent of locale.
char16_t LowerCase(char16_t c);
std::u16string LowerCase(std::u16string_view text);

// 1-based position of the first character of the remaining subject.
inline int32_t PositionOf(std::u16string_view remaining) {
  return static_cast<int32_t>(State.SubjectText.size() - remaining.size() + 1);
}

// Scanner (scanner.cpp).
std::u16string_view GetNextQuarn(std::u16string_view& pattern, std::u16string_view& quantifier);
std::u16string_view GetQuantifier(std::u16string_view& pattern);
bool StartsWithQuantifier(std::u16string_view text);
std::u16string_view GetCurlyBrackets(std::u16string_view& pattern);
std::u16string_view GetParentheses(std::u16string_view& pattern);
std::u16string_view GetSquareBrackets(std::u16string_view& pattern);
std::u16string StripGroupMarkers(std::u16string_view text);

// Matcher (matcher.cpp).
bool DoQuarn(std::u16string_view& remaining, std::u16string_view pattern);
void ResetMatcher();  // forgets what a search that ended in an error left behind
int16_t GetGroupMarker(std::u16string_view text);

// Atoms and brackets (atoms.cpp, brackets.cpp).
bool MatchAtom(std::u16string_view& remaining, std::u16string_view atom);
bool MatchSquareBrackets(std::u16string_view& remaining, std::u16string_view bracketText);

// Rewriting stages (escapes.cpp, groups.cpp).
std::u16string ExpandEspaces(std::u16string_view pattern);
std::u16string EscapeCharCode(uint8_t code);
std::u16string ProcessParentheses(std::u16string_view pattern);
void CreateMatch();
std::u16string MakeGroupMarker(int16_t n);

}  // namespace quarn
