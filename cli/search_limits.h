// The limits of a search by the tool. By default a line may be as long and its search go as
// deep as the machine's memory allows, and a step budget ends a runaway search; with
// --host-limits the engine's own limits hold, as a host of the engine gets them.
#pragma once

#include <quarn/pattern.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace quarn::cli {

// The limit options as given on the command line.
struct LimitOptions {
  bool host = false;                                // --host-limits
  std::optional<uint32_t> depth = std::nullopt;     // --depth
  bool longLines = false;                           // --long-lines
  std::optional<uint64_t> maxSteps = std::nullopt;  // --max-steps (0: no budget)
};

// The step budget of a line of up to kStepBlock characters, and of each kStepBlock
// characters of a longer line. The default lets the heaviest patterns that are linear in the
// line (about 80 steps a character on this project's corpus) search lines of any length, and
// ends a search after about a second on a short line.
inline constexpr uint64_t kDefaultMaxSteps = 100'000'000;
inline constexpr uint64_t kStepBlock = 100'000;

// What one level of the matcher's depth can take in memory, at most (measured: 38 to 52
// bytes for the repeated groups that go deepest, the growth of the stack included).
inline constexpr uint64_t kBytesPerLevel = 64;

struct SearchLimits {
  Limits engine;             // depth and subject length; the step budget is set per line
  uint64_t maxSteps = 0;     // see kDefaultMaxSteps; 0: no budget
  uint64_t longestHeld = 0;  // a line of more bytes is not read into memory
};

// The limits for the options on a machine with memory bytes of memory: a quarter of it is
// what one line may take, its bytes and its UTF-16 text (three bytes a character), or the
// stack of its search.
SearchLimits ResolveLimits(const LimitOptions& options, uint64_t memory);

// The machine's physical memory in bytes.
uint64_t PhysicalMemory();

// The steps the search of a subject of length characters may take; 0: no budget.
inline uint64_t StepBudget(uint64_t maxSteps, size_t length) {
  const uint64_t blocks = std::max<uint64_t>(1, length / kStepBlock);
  return maxSteps > UINT64_MAX / blocks ? UINT64_MAX : maxSteps * blocks;
}

}  // namespace quarn::cli
