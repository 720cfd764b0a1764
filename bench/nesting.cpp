#include "nesting.h"

#include <benchmark/benchmark.h>

#include <cstdio>

#include "quarn/pattern.h"

namespace quarn_bench {

namespace {

std::string Name(size_t depth) {
  return "compile/nested_groups_" + std::to_string(depth);
}

}  // namespace

std::u16string NestedGroups(size_t depth) {
  std::u16string pattern;
  pattern.reserve(4 * depth + 1);
  for (size_t i = 0; i < depth; ++i)
    pattern += u"(?:";
  pattern += u'a';
  pattern.append(depth, u')');
  return pattern;
}

void RegisterCompileBenchmarks(bool smoke) {
  for (const size_t depth : kNestingDepths) {
    benchmark::internal::Benchmark* benchmark = benchmark::RegisterBenchmark(
        Name(depth).c_str(), [pattern = NestedGroups(depth)](benchmark::State& state) {
          for (auto _ : state) {
            const quarn::Pattern compiled(pattern);
            benchmark::DoNotOptimize(compiled.error());
          }
        });
    benchmark->Unit(benchmark::kMillisecond);
    if (smoke) benchmark->Iterations(1);
  }
}

std::string CompileReport(const std::map<std::string, double>& secondsPerIteration) {
  std::string table =
      "| nesting depth | pattern length | compile time | per character |\n"
      "| --- | --- | --- | --- |\n";
  bool any = false;
  for (const size_t depth : kNestingDepths) {
    const auto found = secondsPerIteration.find(Name(depth));
    if (found == secondsPerIteration.end()) continue;
    any = true;
    const size_t length = NestedGroups(depth).size();
    char row[160];
    std::snprintf(row, sizeof row, "| %zu | %zu | %.3g ms | %.3g ns |\n", depth, length,
                  found->second * 1e3, found->second * 1e9 / static_cast<double>(length));
    table += row;
  }
  return any ? table : "";
}

}  // namespace quarn_bench
