// Pattern scanning: cutting the next atom and its quantifier off a pattern, the finders
// that tell where a group, a bracket expression or a brace quantifier ends, the top-level
// alternation split, brace counts, and the display form of a pattern for messages.
//
// Every stage (group preprocessing, the matcher's planner, the alternation split) uses these
// same finders, so that all of them agree on where a group or a bracket expression ends.
// Texts that are cut from the front are string_views passed by reference. All functions are
// pure and thread-safe; they raise Error for the overflows and nested quantifiers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quarn {

std::u16string_view GetNextQuarn(std::u16string_view& pattern, std::u16string_view& quantifier);
std::u16string_view GetQuantifier(std::u16string_view& pattern);
bool StartsWithQuantifier(std::u16string_view text);
std::u16string_view GetCurlyBrackets(std::u16string_view& pattern);
std::u16string_view GetParentheses(std::u16string_view& pattern);
std::u16string_view GetSquareBrackets(std::u16string_view& pattern);
std::u16string StripGroupMarkers(std::u16string_view text);

// The group number that a marker character stands for, or 0.
int16_t GetGroupMarker(std::u16string_view text);

// When the pattern has a "|" outside every group and bracket expression, cuts it there.
bool SplitAlternatives(std::u16string_view pattern, std::u16string_view& before,
                       std::u16string_view& after);

// The walk of SplitAlternatives without its first test: the index of the first top-level
// "|", or npos. For callers that know already that the text holds a "|".
size_t FindTopLevelBar(std::u16string_view pattern);

// A brace quantifier read and checked: "{n}", "{n,}", "{n,m}" and their lazy forms. Raises
// the three count errors and the overflows of the 16-bit counts.
struct BraceCount {
  int16_t lower = 0;
  int16_t upper = 0;  // unused by the open form {n,}
  bool open = false;
  bool lazy = false;
};
BraceCount ReadBraces(std::u16string_view braces);

}  // namespace quarn
