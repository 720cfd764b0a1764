// Compiling deeply nested groups: "(?:" written depth times around "a", for depths of 1,000,
// 4,000 and 8,000. Compile time and memory grow with the pattern's length, linearly.
#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace quarn_bench {

inline constexpr size_t kNestingDepths[] = {1000, 4000, 8000};

// "(?:" depth times, "a", then ")" depth times.
std::u16string NestedGroups(size_t depth);

// Registers one benchmark per depth that compiles the pattern (a quarn::Pattern) and drops it.
void RegisterCompileBenchmarks(bool smoke);

// The table of those benchmarks' times from the timings by benchmark name, or "" when none ran.
std::string CompileReport(const std::map<std::string, double>& secondsPerIteration);

}  // namespace quarn_bench
