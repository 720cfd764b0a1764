// The limits in force, worked out from the options and the machine's memory.
#include "search_limits.h"

#include <unistd.h>

#include <algorithm>

namespace quarn::cli {

SearchLimits ResolveLimits(const LimitOptions& options, uint64_t memory) {
  const uint64_t perLine = memory / 4;
  SearchLimits limits;
  limits.longestHeld = std::max<uint64_t>(perLine / 3, 1);
  if (options.host) {
    limits.engine = Limits();  // the engine's defaults are the legacy calls' limits
  } else {
    limits.engine.depth = static_cast<uint32_t>(
        std::clamp<uint64_t>(perLine / kBytesPerLevel, Limits().depth, UINT32_MAX));
    limits.engine.subjectLength =
        std::clamp<uint64_t>(perLine / 3, Limits().subjectLength, UINT32_MAX);
    limits.maxSteps = kDefaultMaxSteps;
  }
  if (options.depth) limits.engine.depth = *options.depth;
  if (options.longLines) limits.engine.subjectLength = UINT32_MAX;
  if (options.maxSteps) limits.maxSteps = *options.maxSteps;
  return limits;
}

uint64_t PhysicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long size = sysconf(_SC_PAGESIZE);
  // Where the system cannot tell, 4 GB is a modest guess.
  if (pages <= 0 || size <= 0) return uint64_t{4} << 30;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(size);
}

}  // namespace quarn::cli
