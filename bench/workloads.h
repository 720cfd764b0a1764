// The searches that the benchmarks time, the same for every engine: the seventeen examples of
// the demo window, a line-by-line search of an English text, one pattern over subjects of
// growing length, a pattern with nested quantifiers that backtracks exponentially, nested
// quantifiers over runs long enough to reach Quarn's depth limit, and back references after
// nested quantifiers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarn_bench {

struct Workload {
  // "demo", "corpus", "growth", "pathological", "pathological_cb", "nested", "backref"
  std::string family;
  std::string name;     // identifier inside the family, used in benchmark names
  std::string caption;  // what the report shows
  std::u16string pattern;
  int32_t flags = 0;  // Quarn's option bits; every engine maps them to its own
  // One benchmark iteration searches each subject once, so a corpus workload counts as one
  // search per line.
  std::vector<std::u16string> subjects;
  // Quarn alone: its answer stands even when it is an error (the depth limit is part of its
  // behaviour), it is timed whether or not a peer agrees, and only the peers named in peers
  // are compared with it, since the others do different work or never finish.
  bool quarnAlone = false;
  std::vector<std::string> peers = {};
};

// Every workload, in report order. corpusPath names the English text that the corpus and
// growth workloads are made from; a missing or too short file throws std::runtime_error.
std::vector<Workload> AllWorkloads(const std::string& corpusPath);

// The workloads as a JSON array of objects with family, name, caption, pattern, flags and
// subjects (texts in UTF-8), for harnesses in other languages.
std::string WorkloadsJson(const std::vector<Workload>& workloads);

}  // namespace quarn_bench
