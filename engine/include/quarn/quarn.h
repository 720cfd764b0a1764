// Quarn: a small backtracking regular-expression engine.
//
// A host calls Quarn() once per search and reads the outcome back with QuarnResult() (texts)
// or QuarnIndex() (1-based positions and lengths). The engine keeps one match state for the
// whole program; every Quarn() call that passes its option check overwrites it. Errors never
// reach the caller: the call that meets one hands it to the error reporter and returns
// normally (False, the empty value, or the out-arguments unchanged).
//
// Thread safety: every call holds one program-wide lock while it runs, so calls from several
// threads never corrupt the match state, but each thread reads back whichever search stored
// last; a threaded host uses compiled patterns (quarn/pattern.h) instead. The lock is
// recursive, so an error reporter may call the engine again; that call then stores its own
// outcome in place of the one being reported.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>

#include "quarn/errors.h"
#include "quarn/export.h"

namespace quarn {

// Option flags, the third argument of Quarn(). Bits may be combined, except that
// reSingleLine and reMultiline together are refused. Other bits are kept and ignored.
inline constexpr int32_t reIgnoreCase = 1;  // letters compare without regard to case
inline constexpr int32_t reSingleLine = 2;  // "." also matches the characters of CR LF
inline constexpr int32_t reMultiline = 4;   // "^" and "$" also match next to an inner CR LF

// Result selectors for QuarnResult() and QuarnIndex(); 1 to 31 select subexpression n.
inline constexpr int32_t reMatch = -3;
inline constexpr int32_t reBeforeMatch = -2;
inline constexpr int32_t reAfterMatch = -1;
inline constexpr int32_t reSubexprCount = 0;

// An error as the reporter receives it: the number, kind and description of quarn/errors.h,
// and the source that the legacy report names.
struct EngineError {
  int32_t Number = 0;
  std::u16string Source;       // executable name without directory and extension + ".Quarn"
  std::u16string Description;  // "Error in Quarn." + procedure + ": " + text
  ErrorKind Kind = ErrorKind::kInternal;
};

// Receives every error that a public call meets. text is "Error #" + number + ": " +
// description. The default reporter writes text as one UTF-8 line to stderr.
using ErrorReporter = std::function<void(const EngineError& error, std::u16string_view text)>;

// Installs a reporter and returns the one it replaces; an empty function restores the default.
QUARN_API ErrorReporter SetErrorReporter(ErrorReporter reporter);

// Searches text for the leftmost match of pattern. True when it matches.
QUARN_API bool Quarn(std::u16string_view text, std::u16string_view pattern, int32_t flags) noexcept;

// The same for UTF-8 arguments, decoded to UTF-16 first. Invalid UTF-8 is reported with
// errInvalidUtf8 after the option check, like any other error of the search.
QUARN_API bool Quarn(std::string_view text, std::string_view pattern, int32_t flags) noexcept;

// What QuarnResult() answers: the empty value, a 16-bit integer (the subexpression count),
// or a text.
using ResultValue = std::variant<std::monostate, int16_t, std::u16string>;
using ResultValueUtf8 = std::variant<std::monostate, int16_t, std::string>;

QUARN_API ResultValue QuarnResult(int32_t type) noexcept;

// QuarnResult() with the text encoded as UTF-8. A match may split a surrogate pair; a lone
// surrogate comes out as U+FFFD, so hosts that need every code unit use QuarnResult().
QUARN_API ResultValueUtf8 QuarnResultUtf8(int32_t type) noexcept;

// Writes the 1-based start and the length of what type selects. On any error, start and
// length are left as the caller passed them.
QUARN_API void QuarnIndex(int32_t type, int32_t& start, int32_t& length) noexcept;

// Fails the engine call in progress with an EngineError (its kind follows from the number);
// never returns. The public calls catch it and hand it to the reporter.
[[noreturn]] QUARN_API void RaiseEngineError(std::u16string_view text, int16_t number,
                                             std::u16string_view procedure);

}  // namespace quarn
