// Collects the engine's reports while the tool runs, instead of the default reporter's line
// on stderr, so that each mode can decide where a report goes.
#pragma once

#include <quarn/quarn.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quarn::cli {

struct Report {
  int32_t number = 0;
  std::u16string description;
  std::u16string text;  // "Error #" + number + ": " + description
};

// Installs itself as the engine's reporter for its lifetime; the previous one comes back
// when it is destroyed. Only one may exist at a time.
class ReportCollector {
 public:
  ReportCollector();
  ~ReportCollector();
  ReportCollector(const ReportCollector&) = delete;
  ReportCollector& operator=(const ReportCollector&) = delete;

  // The reports made since the last call, in order.
  std::vector<Report> Take();

 private:
  std::vector<Report> reports_;
  ErrorReporter previous_;
};

}  // namespace quarn::cli
