// Which engine runs which workload. Before anything is timed, every peer's answers are checked
// against Quarn's on every subject: a peer that finds another match or other subexpressions,
// or gives up, does different work and is left out of that workload with a note. A workload
// for Quarn alone is compared only with the peers it names, and Quarn's error is its answer.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engines.h"
#include "workloads.h"

namespace quarn_bench {

// A workload prepared for one engine, ready to be timed.
struct Entry {
  const Workload* workload;
  std::string engine;
  std::shared_ptr<Searcher> searcher;
};

struct Plan {
  std::vector<Entry> entries;      // per workload: Quarn, then the peers that agree with it
  std::vector<std::string> notes;  // why a peer was left out
  // Workloads that cannot be compared at all: Quarn reported an error, or no peer agreed.
  std::vector<std::string> unusable;
  // Workload id to the number of its subjects on which Quarn finds a match.
  std::map<std::string, size_t> matching;
  // For the workloads that Quarn runs alone, its answer in words ("match", "no match" or
  // "error 20052"), and the engine's text for each error number among those answers.
  std::map<std::string, std::string> answers;
  std::map<int32_t, std::string> errors;
};

// An engine's answers on every subject of a workload, in order.
std::vector<Outcome> Answers(const Workload& workload, Searcher& searcher);

// The first difference between Quarn's answers and a peer's on a workload, as a sentence, or
// "" when they agree on every subject.
std::string FirstDifference(const std::vector<Outcome>& quarn, const std::vector<Outcome>& peer);

// Checks every engine after the first (Quarn) against it on every workload.
Plan MakePlan(const std::vector<Workload>& workloads, const std::vector<Engine>& engines);

// "family/name", and the benchmark name "family/name/engine".
std::string WorkloadId(const Workload& workload);
std::string BenchmarkName(const Entry& entry);

}  // namespace quarn_bench
