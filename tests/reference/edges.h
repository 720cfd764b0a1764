// The entry points against each other on one case: whatever the way in, a search must give the
// same answer. The differential test runs this on generated cases and the fuzz target on
// arbitrary ones; subjects and patterns may hold characters of two units, lone surrogates,
// and (made from those) ill-formed UTF-8.
//
// For a pattern, a subject and flags it checks that
// - the Pattern API with UTF-16 gives what the legacy call stores and reports;
// - UTF-8 gives what UTF-16 gives at every start byte where a character begins (as a string
//   and as a Text, byte spans where UTF-16 has units), and errArgument at every other start;
//   UTF-8 that does not decode gives errInvalidUtf8 at its first bad byte, like the legacy
//   call;
// - the C interface gives what Pattern gives, in units and in bytes;
// - matches() gives what a chain of search calls from each match's end gives;
// - replace(text, "$0") gives the text back, and split's pieces with the matches between
//   them rebuild it;
// - a step budget or a lowered depth gives the answer of the default limits or its own error;
// - the 8-bit texts give what UTF-16 gives (CheckEightBit).
//
// One known difference is not a failure: when both the pattern and a UTF-8 subject are bad,
// the legacy call reports the subject first and Pattern its own error first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "compare.h"

namespace quarn::reference {

struct EdgeLimits {
  uint32_t depth = 1000;  // lowered: the answer is the default one or the depth limit's error
  uint64_t steps = 0;     // a budget: the answer is the default one or errStepLimit
};

struct EdgeVerdict {
  // False when a search needed more steps than the check allows itself: no verdict.
  bool checked = false;
  std::string failure;  // empty when every entry point agreed
};

EdgeVerdict CheckEdges(const Call& call, const EdgeLimits& lowered);

// The subject searched as 8-bit text, which the engine reads byte by byte: as ASCII UTF-8 (a
// subject with other characters in an ASCII form of its own) and, when IsLatin1, as Latin-1.
// Every call of the API must answer as on the UTF-16 text, unit for unit, down to the depth
// reached and the steps taken. Empty when all agree, else what differed.
std::string CheckEightBit(const Call& call);
bool IsLatin1(std::u16string_view text);

}  // namespace quarn::reference
