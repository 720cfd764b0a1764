// The engine's reporter while quarn runs.
#include "reports.h"

#include <utility>

namespace quarn::cli {

ReportCollector::ReportCollector() {
  previous_ = SetErrorReporter([this](const EngineError& error, std::u16string_view text) {
    reports_.push_back({error.Number, error.Description, std::u16string(text)});
  });
}

ReportCollector::~ReportCollector() {
  SetErrorReporter(std::move(previous_));
}

std::vector<Report> ReportCollector::Take() {
  return std::exchange(reports_, {});
}

}  // namespace quarn::cli
