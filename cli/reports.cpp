// The engine's reporter while quarn runs, and which reports depend on the subject.
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

bool IsSubjectDependent(const Report& report) {
  static constexpr std::u16string_view kDepthLimit =
      u"Maximum number of iterations exceeded. Possibly an infinite loop.";
  if (report.number == errOverflow || report.number == errOutOfMemory) return true;
  return report.number == errSyntax && report.description.ends_with(kDepthLimit);
}

}  // namespace quarn::cli
