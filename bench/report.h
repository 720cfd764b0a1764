// Collects the benchmark timings and turns them into the report: time per search for each
// workload and engine, with Quarn's ratio to each other engine.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "plan.h"

namespace quarn_bench {

// The median of a non-empty list of values.
double Median(std::vector<double> values);

// Shows one line per benchmark (the median when there are repetitions) and keeps the CPU time
// per iteration of every repetition.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  using ConsoleReporter::ConsoleReporter;
  void ReportRuns(const std::vector<Run>& runs) override;

  // Benchmark name to the median over repetitions of the CPU seconds per iteration.
  std::map<std::string, double> SecondsPerIteration() const;

 private:
  std::map<std::string, std::vector<double>> seconds_;
};

// The report as Markdown tables: time per search and the first engine's (Quarn's) ratio to
// each other engine for every compared workload; the geometric mean of those ratios per
// family, and of Quarn-legacy's ratios to PCRE2 compiling on every search, interpreting and
// JIT-compiled; the time per character of the growth workloads; and for the workloads Quarn
// runs alone, its answer and time per subject length with the growth from one length to the
// next. Benchmarks missing from the timings are shown as not run.
std::string Report(const Plan& plan, const std::vector<std::string>& engines,
                   const std::map<std::string, double>& secondsPerIteration);

}  // namespace quarn_bench
