// The rewriting matcher that the engine's compiled core replaced, kept as the oracle of the
// differential test. It matches by literally rewriting the remaining pattern text at every
// step (a quantified atom becomes copies of itself) and keeps one global match state, exactly
// as the legacy calls define their behaviour. It shares the library's scanner and the two
// rewriting stages (escape expansion, group preprocessing), which the core uses unchanged.
//
// Single-threaded; never part of the library.
#pragma once

#include <cstdint>
#include <string_view>

#include "quarn/quarn.h"

namespace quarn::reference {

bool Quarn(std::u16string_view text, std::u16string_view pattern, int32_t flags) noexcept;
ResultValue QuarnResult(int32_t type) noexcept;
void QuarnIndex(int32_t type, int32_t& start, int32_t& length) noexcept;
ErrorReporter SetErrorReporter(ErrorReporter reporter);

// A search that takes more matcher calls than budget (0: no budget) is abandoned: it
// reports errAbandoned, which is not an engine answer but the reference giving up.
void SetCallBudget(uint64_t budget);
inline constexpr int32_t errAbandoned = -1;

// The depth limit of the searches (1000 unless set): lowered, small cases reach it.
void SetDepthLimit(int16_t depth);

}  // namespace quarn::reference
