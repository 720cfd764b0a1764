// One interface over Quarn and the engines a C++ user would pick instead, so that the same
// workload can be run, checked and timed on each of them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "workloads.h"

namespace quarn_bench {

// Where a match or a subexpression lies, in 16-bit units from the start of the subject.
struct Span {
  int32_t start = -1;  // -1 when the subexpression took no part in the match
  int32_t length = 0;

  friend bool operator==(const Span&, const Span&) = default;
};

// The answer to one search.
struct Outcome {
  bool matched = false;
  bool failed = false;      // the engine gave up (a limit or an error) instead of answering
  std::vector<Span> spans;  // the match, then subexpressions 1 to n; empty without a match
};

// One workload, prepared (compiled, converted) for one engine. Search() is what is timed.
class Searcher {
 public:
  virtual ~Searcher() = default;
  virtual void Search(size_t subject, Outcome& outcome) = 0;
};

// Prepares a workload for an engine, or explains in whyNot why the engine cannot run it.
using SearcherFactory =
    std::function<std::unique_ptr<Searcher>(const Workload& workload, std::string& whyNot)>;

struct Engine {
  std::string name;
  SearcherFactory prepare;
};

// Quarn first, then the peers in report order.
std::vector<Engine> AllEngines();

// Quarn's searcher alone. It installs an error reporter that counts instead of printing.
std::unique_ptr<Searcher> PrepareQuarn(const Workload& workload);

// The text of the last error that Quarn reported, for notes.
std::string LastQuarnError();

}  // namespace quarn_bench
