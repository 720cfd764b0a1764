// Where a match's edges must lie: anywhere, on a whole line, or on a whole word.
//
// Line: the match begins at the start of the subject and ends where "\Z" holds (the end, or
// before a final CR LF), as "\A(?:P)\Z" would. Word: the match begins where the character
// before it (if any) is not a word character and ends where "(?!\w)" holds, as "(?:P)(?!\w)"
// would; when the pattern's first path ends inside a word, its other paths are tried, and a
// match that begins inside a word is passed over for a later one. The engine encloses its own
// reading of the pattern, so every pattern that compiles can be constrained, groups keep their
// numbers, and diagnostics and error positions are those of the pattern as given. A word
// search still tries the pattern at every position, so an error met where a match would begin
// inside a word ends it as it ends a search without edges.
//
// Thread safety: a plain value; a Pattern made with it is immutable (quarn/pattern.h).
#pragma once

#include <cstdint>

namespace quarn {

enum class Edges : uint8_t { kAnywhere, kLine, kWord };

}  // namespace quarn
