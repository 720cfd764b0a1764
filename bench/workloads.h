// The searches that the benchmarks time, the same for every engine: the seventeen examples of
// the demo window, a line-by-line search of an English text, one pattern over subjects of
// growing length, and a pattern with nested quantifiers that backtracks exponentially.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarn_bench {

struct Workload {
  std::string family;   // "demo", "corpus", "growth" or "pathological"
  std::string name;     // identifier inside the family, used in benchmark names
  std::string caption;  // what the report shows
  std::u16string pattern;
  int32_t flags = 0;  // Quarn's option bits; every engine maps them to its own
  // One benchmark iteration searches each subject once, so a corpus workload counts as one
  // search per line.
  std::vector<std::u16string> subjects;
};

// Every workload, in report order. corpusPath names the English text that the corpus and
// growth workloads are made from; a missing or too short file throws std::runtime_error.
std::vector<Workload> AllWorkloads(const std::string& corpusPath);

}  // namespace quarn_bench
