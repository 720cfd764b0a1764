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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

std::u16string_view GetNextQuarn(std::u16string_view& pattern, std::u16string_view& quantifier);
// GetNextQuarn in two halves: the atom, then the quantifier that follows an atom of atomSize
// characters (the position of the nested-quantifier error counts from the atom's start).
std::u16string_view CutAtom(std::u16string_view& pattern);
std::u16string_view CutQuantifier(std::u16string_view& pattern, size_t atomSize);
std::u16string_view GetQuantifier(std::u16string_view& pattern);
bool StartsWithQuantifier(std::u16string_view text);
std::u16string_view GetCurlyBrackets(std::u16string_view& pattern);
std::u16string_view GetParentheses(std::u16string_view& pattern);
std::u16string_view GetSquareBrackets(std::u16string_view& pattern);
std::u16string StripGroupMarkers(std::u16string_view text);

// Where each group of a text closes, as GetParentheses finds it, worked out once for the
// whole text. A walk of GetParentheses from one "(" passes the groups nested in it in the
// state in which a walk from each of them would begin (outside brackets, after a whole
// escape), so one walk with a stack finds their closing ")" too; a later walk steps over a
// group whose close is known. Every position is walked about once, however deeply groups
// nest. Not thread-safe: a walk fills in the table.
class GroupEnds {
 public:
  explicit GroupEnds(std::u16string_view text) : text_(text), end_(text.size(), kUnknown) {}

  // GetParentheses on the stretch of the text from `from` up to `limit`, which begins with
  // "(": the whole group, or nothing when it does not close within the stretch. Raises the
  // overflow where the finder's walk would have to pass its 16-bit position.
  std::u16string_view Find(size_t from, size_t limit);
  // Where the group that begins at `from` closes in the whole text, if it does.
  std::optional<size_t> Close(size_t from);

 private:
  static constexpr uint32_t kUnknown = UINT32_MAX;
  static constexpr uint32_t kUnclosed = UINT32_MAX - 1;

  size_t LastLook(size_t from, size_t limit) const;
  void Walk(size_t from);

  std::u16string_view text_;
  std::vector<uint32_t> end_;  // texts are shorter than 2^32 - 2 characters
};

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
