// The reference's internals: its module-wide match state and the procedures that its files
// call across. Texts that a procedure shortens from the front (the remaining subject, a
// pattern being cut) are string_views passed by reference; the remaining subject is always a
// suffix of State.SubjectText, and its position follows from the two lengths.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "quarn/quarn.h"
#include "rewrite.h"
#include "scanner.h"
#include "text.h"

namespace quarn::reference {

struct SubexpressionRecord {
  bool Complete = false;  // the closing marker was passed on the current path
  int32_t StartPos = 0;   // first character inside the group
  int32_t EndPos = 0;     // last character inside the group; StartPos - 1 when empty
  int16_t OpenDepth = 0;  // Depth when last opened; 0 means not opened since cleared
};

// The depth limit: 1000, as the calls define it; tests lower it to reach it with small cases.
extern int16_t maxDepth;

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

// 1-based position of the first character of the remaining subject.
inline int32_t PositionOf(std::u16string_view remaining) {
  return static_cast<int32_t>(State.SubjectText.size() - remaining.size() + 1);
}

// Matcher (matcher.cpp).
bool DoQuarn(std::u16string_view& remaining, std::u16string_view pattern);
void ResetMatcher();  // forgets what a search that ended in an error left behind

// Counts a matcher call against the budget; past it the search is abandoned.
void CountCall();

// Atoms and brackets (atoms.cpp, brackets.cpp).
bool MatchAtom(std::u16string_view& remaining, std::u16string_view atom);
bool MatchSquareBrackets(std::u16string_view& remaining, std::u16string_view bracketText);

}  // namespace quarn::reference
