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

// The engines' names, as the benchmark names and the report give them.
inline constexpr const char* kQuarn = "Quarn";                 // a compiled quarn::Pattern
inline constexpr const char* kQuarnLegacy = "Quarn-legacy";    // quarn::Quarn, one call a search
inline constexpr const char* kPcre2 = "PCRE2";                 // the interpreter
inline constexpr const char* kPcre2Compile = "PCRE2-compile";  // compiling on every search
inline constexpr const char* kPcre2Jit = "PCRE2-JIT";

// Where a match or a subexpression lies, in 16-bit units from the start of the subject.
struct Span {
  int32_t start = -1;  // -1 when the subexpression took no part in the match
  int32_t length = 0;

  friend bool operator==(const Span&, const Span&) = default;
};

// The answer to one search.
struct Outcome {
  bool matched = false;
  bool failed = false;      // the search ended in an error (a limit) or the engine gave up
  std::vector<Span> spans;  // the match, then subexpressions 1 to n; empty without a match
  int32_t error = 0;        // with failed, the engine's error number where it gives one
};

// One workload, prepared (compiled, converted) for one engine. Search() is what is timed.
class Searcher {
 public:
  virtual ~Searcher() = default;
  virtual void Search(size_t subject, Outcome& outcome) = 0;
  // The engine's text for the error that ended the last search, where it has one.
  virtual std::string ErrorText() const { return ""; }
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

// Quarn's searcher alone: the workload's pattern compiled into a quarn::Pattern.
std::unique_ptr<Searcher> PrepareQuarn(const Workload& workload);

}  // namespace quarn_bench
