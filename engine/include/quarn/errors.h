// Every error the engine reports: its number, its kind, and Error, the one error type of the
// modern API (quarn/pattern.h) and of the C interface (quarn/quarn_c.h). The legacy calls
// (quarn/quarn.h) hand the same number, kind and description to their error reporter.
//
// Numbers are shared: 20052 is both a syntax error of the pattern and the depth limit, and 6
// both an overflow of a 16-bit count of the pattern and a subject longer than a search may
// take. Callers tell them apart by the kind, never by the text:
//
//   if (error.kind == quarn::ErrorKind::kDepthLimit) ...  // raise Limits::depth and retry
//
// Thread safety: plain values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quarn/export.h"

namespace quarn {

// Error numbers.
inline constexpr int32_t errOverflow = 6;         // a 16-bit count or a length limit was passed
inline constexpr int32_t errOutOfMemory = 7;      // the search could not get memory
inline constexpr int32_t errQuantifier = 20050;   // brace quantifier and range errors
inline constexpr int32_t errNoMatch = 20051;      // result asked for without a stored match
inline constexpr int32_t errSyntax = 20052;       // pattern syntax errors and the depth limit
inline constexpr int32_t errArgument = 20053;     // bad option or result selector
inline constexpr int32_t errInternal = 20054;     // internal consistency checks
inline constexpr int32_t errInvalidUtf8 = 20055;  // a UTF-8 argument that does not decode
inline constexpr int32_t errStepLimit = 20056;    // the search used up its step budget
inline constexpr int32_t errCancelled = 20057;    // the cancel flag was raised

// What went wrong, whatever the number. The values are stable: the C interface passes them
// as integers (QUARN_KIND_* in quarn/quarn_c.h), and 0 stands for "no error" there.
enum class ErrorKind : uint8_t {
  kPatternSyntax = 1,     // a fault of the pattern text (20050, 20052): the same on every subject
  kDepthLimit = 2,        // 20052: the search went deeper than Limits::depth
  kOverflow = 3,          // 6: a count or a position of the pattern passed its 16 bits
  kSubjectLength = 4,     // 6: the subject is longer than Limits::subjectLength allows
  kStepBudget = 5,        // 20056: the search used up Limits::steps
  kCancelled = 6,         // 20057: Limits::cancel was raised
  kInvalidUtf8 = 7,       // 20055: a UTF-8 text or pattern that does not decode
  kOutOfMemory = 8,       // 7
  kInvalidOptions = 9,    // 20053: reSingleLine and reMultiline together
  kInvalidArgument = 10,  // 20053: a bad result selector; in C, a null handle or buffer
  kNoStoredMatch = 11,    // 20051: a legacy result asked for without a stored match
  kInternal = 12,         // 20054: an internal consistency check
};

// A short stable name for the kind ("pattern-syntax", "depth-limit", ...), as the engine's
// JSON uses it.
QUARN_API std::string_view ErrorKindName(ErrorKind kind);

// Whether the error is a fault of the pattern itself, reported wherever a search meets the
// faulty construct, rather than a limit of one search or a bad argument.
constexpr bool IsPatternFault(ErrorKind kind) {
  return kind == ErrorKind::kPatternSyntax || kind == ErrorKind::kOverflow;
}

struct QUARN_API Error {
  int32_t number = 0;
  ErrorKind kind = ErrorKind::kInternal;
  std::u16string description;  // "Error in Quarn." + procedure + ": " + text, as reported
  // Where in the pattern (0-based, UTF-16 units) the faulty construct stands, when the engine
  // can tell. For a UTF-8 pattern that does not decode (errInvalidUtf8), the units decoded
  // before the ill-formed sequence, whose byte offset the description gives.
  std::optional<size_t> position;

  // The legacy report: "Error #" + number + ": " + description, in UTF-8.
  std::string report() const;
  std::string message() const;  // the description in UTF-8

  bool operator==(const Error&) const = default;
};

}  // namespace quarn
