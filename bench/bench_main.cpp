// Times every workload on Quarn and on each peer that does the same work, then prints the
// report with Quarn's ratio to each peer, and the time to compile deeply nested groups.
//
// Google Benchmark's flags apply (--benchmark_filter, --benchmark_repetitions, ...). --smoke
// runs one iteration of each benchmark, for the test that keeps the benchmarks from rotting.
// --dump-workloads FILE writes the workloads as JSON instead, for the Python benchmark.
// The exit status is 1 when a workload could not be compared at all.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <optional>

#include "engines.h"
#include "nesting.h"
#include "plan.h"
#include "report.h"
#include "workloads.h"

namespace {

using namespace quarn_bench;

// Removes flag from the command line; true when it was there.
bool TakeFlag(int& argc, char** argv, const char* flag) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], flag) == 0) {
      for (int j = i; j + 1 < argc; ++j)
        argv[j] = argv[j + 1];
      --argc;
      return true;
    }
  }
  return false;
}

// Removes option and its value from the command line; the value, when it was there.
std::optional<std::string> TakeOption(int& argc, char** argv, const char* option) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], option) == 0) {
      std::string value = argv[i + 1];
      for (int j = i; j + 2 < argc; ++j)
        argv[j] = argv[j + 2];
      argc -= 2;
      return value;
    }
  }
  return std::nullopt;
}

int DumpWorkloads(const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << WorkloadsJson(AllWorkloads(QUARN_BENCH_CORPUS));
  out.close();
  if (!out) {
    std::cerr << "quarn_bench: cannot write " << path << "\n";
    return 2;
  }
  return 0;
}

void Register(const Entry& entry, bool smoke) {
  const size_t subjects = entry.workload->subjects.size();
  benchmark::internal::Benchmark* benchmark = benchmark::RegisterBenchmark(
      BenchmarkName(entry).c_str(), [entry, subjects](benchmark::State& state) {
        Outcome outcome;
        for (auto _ : state) {
          for (size_t i = 0; i < subjects; ++i) {
            entry.searcher->Search(i, outcome);
            benchmark::DoNotOptimize(outcome.matched);
          }
        }
      });
  benchmark->Unit(benchmark::kMicrosecond);
  if (smoke) benchmark->Iterations(1);
}

void PrintList(const char* title, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  std::cout << "\n" << title << "\n\n";
  for (const std::string& line : lines)
    std::cout << "- " << line << "\n";
}

int Run(bool smoke) {
  const std::vector<Workload> workloads = AllWorkloads(QUARN_BENCH_CORPUS);
  const std::vector<Engine> engines = AllEngines();
  const Plan plan = MakePlan(workloads, engines);
  for (const Entry& entry : plan.entries)
    Register(entry, smoke);
  RegisterCompileBenchmarks(smoke);

  CollectingReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                    : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::vector<std::string> names;
  for (const Engine& engine : engines)
    names.push_back(engine.name);
  std::cout << "\n" << Report(plan, names, reporter.SecondsPerIteration());
  if (const std::string compile = CompileReport(reporter.SecondsPerIteration()); !compile.empty())
    std::cout << "\nCompiling nested groups, time per pattern:\n\n" << compile;
  PrintList("Peers left out, because they do different work:", plan.notes);
  PrintList("Workloads that could not be compared:", plan.unusable);
  return plan.unusable.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool smoke = TakeFlag(argc, argv, "--smoke");
  const std::optional<std::string> dump = TakeOption(argc, argv, "--dump-workloads");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  try {
    if (dump) return DumpWorkloads(*dump);
    return Run(smoke);
  } catch (const std::exception& error) {
    std::cerr << "quarn_bench: " << error.what() << "\n";
    return 2;
  }
}
