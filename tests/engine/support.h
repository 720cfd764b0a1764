// Helpers for the engine tests: a reporter that captures every report, and a search that
// collects everything the result calls say about its outcome.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "quarn/quarn.h"
#include "quarn/utf.h"

namespace quarn::testing {

inline std::string U8(std::u16string_view text) {
  return Utf16ToUtf8(text);
}

// Installs a capturing reporter for its lifetime and restores the previous one after.
class CapturedReports {
 public:
  CapturedReports()
      : previous_(SetErrorReporter([this](const EngineError& error, std::u16string_view text) {
          errors.push_back(error);
          texts.push_back(U8(text));
        })) {}
  ~CapturedReports() { SetErrorReporter(std::move(previous_)); }
  CapturedReports(const CapturedReports&) = delete;
  CapturedReports& operator=(const CapturedReports&) = delete;

  std::vector<EngineError> errors;
  std::vector<std::string> texts;

 private:
  ErrorReporter previous_;
};

// A result value in a form that prints and compares simply: nullopt is the empty value.
inline std::optional<std::string> Text(const ResultValue& value) {
  if (const auto* text = std::get_if<std::u16string>(&value)) return U8(*text);
  return std::nullopt;
}

struct Outcome {
  bool matched = false;
  std::string match;                               // the matched text
  int32_t start = 0;                               // its 1-based position
  std::vector<std::optional<std::string>> groups;  // 1 to the count; nullopt took no part
  std::vector<std::string> reports;

  bool operator==(const Outcome&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  out << (o.matched ? "matched \"" + o.match + "\" at " + std::to_string(o.start) : "no match");
  for (const auto& group : o.groups)
    out << " [" << (group ? "\"" + *group + "\"" : "-") << "]";
  for (const auto& report : o.reports)
    out << " {" << report << "}";
  return out;
}

// Runs one search and reads back the match, its position and every subexpression.
inline Outcome Search(std::u16string_view text, std::u16string_view pattern, int32_t flags = 0) {
  CapturedReports reports;
  Outcome o;
  o.matched = Quarn(text, pattern, flags);
  if (o.matched) {
    o.match = Text(QuarnResult(reMatch)).value_or("<empty value>");
    int32_t length = 0;
    QuarnIndex(reMatch, o.start, length);
    const ResultValue count = QuarnResult(reSubexprCount);
    const int16_t* n = std::get_if<int16_t>(&count);
    for (int i = 1; n && i <= *n; ++i)
      o.groups.push_back(Text(QuarnResult(i)));
  }
  o.reports = reports.texts;
  return o;
}

// The outcome of a search that matched, for tables of expectations.
inline Outcome Matched(std::string match, int32_t start,
                       std::vector<std::optional<std::string>> groups = {}) {
  return Outcome{true, std::move(match), start, std::move(groups), {}};
}
inline Outcome NoMatch() {
  return Outcome{};
}
inline Outcome Reported(std::string report) {
  return Outcome{false, "", 0, {}, {std::move(report)}};
}

}  // namespace quarn::testing
