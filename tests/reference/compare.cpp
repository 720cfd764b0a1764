#include "compare.h"

#include <algorithm>
#include <functional>
#include <string>
#include <variant>

#include "quarn/pattern.h"
#include "quarn/quarn.h"
#include "quarn/utf.h"
#include "reference.h"
#include "search.h"

namespace quarn::reference {

std::string Visible(std::u16string_view text) {
  std::string shown;
  for (const char16_t c : text) {
    if (c > 32 && c < 127 && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      shown += buffer;
    }
  }
  return shown;
}

namespace {

std::optional<std::u16string> Unescape(std::string_view text) {
  std::u16string units;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      units += static_cast<char16_t>(static_cast<unsigned char>(text[i]));
      continue;
    }
    if (i + 6 > text.size() || text[i + 1] != 'u') return std::nullopt;
    units += static_cast<char16_t>(std::stoul(std::string(text.substr(i + 2, 4)), nullptr, 16));
    i += 5;
  }
  return units;
}

struct Api {
  std::function<bool(std::u16string_view, std::u16string_view, int32_t)> quarn;
  std::function<ResultValue(int32_t)> result;
  std::function<void(int32_t, int32_t&, int32_t&)> index;
  std::function<ErrorReporter(ErrorReporter)> setReporter;
};

// The transcript of the calls through one implementation; no verdict when it gave up.
std::string Transcribe(const Api& api, const std::vector<Call>& calls, bool& gaveUp) {
  std::string out;
  gaveUp = false;
  const ErrorReporter previous =
      api.setReporter([&](const EngineError& error, std::u16string_view text) {
        if (error.Number == errAbandoned || error.Number == errOutOfMemory) gaveUp = true;
        out += "  report " + Visible(text) + "\n";
      });
  for (const Call& call : calls) {
    out += std::string("Quarn -> ") +
           (api.quarn(call.text, call.pattern, call.flags) ? "true" : "false") + "\n";
    // Every selector that can answer differently: the fixed ones, each group, the first
    // number past the groups, and the two ends of the range.
    int32_t count = 0;
    int32_t unused = 0;
    api.index(reSubexprCount, count, unused);
    std::vector<int32_t> types = {-4, -3, -2, -1, 0, 31, 32};
    for (int32_t type = 1; type <= std::min(count + 1, 30); ++type)
      types.push_back(type);
    for (const int32_t type : types) {
      int32_t start = -77;
      int32_t length = -77;
      api.index(type, start, length);
      out += "QuarnIndex(" + std::to_string(type) + ") -> " + std::to_string(start) + " " +
             std::to_string(length) + "\n";
      const ResultValue value = api.result(type);
      out += "QuarnResult(" + std::to_string(type) + ") -> ";
      if (const auto* n = std::get_if<int16_t>(&value)) out += "int " + std::to_string(*n);
      if (const auto* t = std::get_if<std::u16string>(&value)) out += "\"" + Visible(*t) + "\"";
      out += "\n";
    }
  }
  api.setReporter(previous);
  return out;
}

}  // namespace

Comparison Compare(const std::vector<Call>& calls, uint64_t callBudget) {
  const Api engine{
      [](std::u16string_view t, std::u16string_view p, int32_t f) { return quarn::Quarn(t, p, f); },
      [](int32_t type) { return quarn::QuarnResult(type); },
      [](int32_t type, int32_t& s, int32_t& l) { quarn::QuarnIndex(type, s, l); },
      [](ErrorReporter r) { return quarn::SetErrorReporter(std::move(r)); }};
  const Api oracle{[](std::u16string_view t, std::u16string_view p, int32_t f) {
                     return reference::Quarn(t, p, f);
                   },
                   [](int32_t type) { return reference::QuarnResult(type); },
                   [](int32_t type, int32_t& s, int32_t& l) { reference::QuarnIndex(type, s, l); },
                   [](ErrorReporter r) { return reference::SetErrorReporter(std::move(r)); }};
  Comparison comparison;
  bool engineGaveUp = false;
  bool referenceGaveUp = false;
  SetCallBudget(callBudget);
  comparison.reference = Transcribe(oracle, calls, referenceGaveUp);
  comparison.engine = Transcribe(engine, calls, engineGaveUp);
  if (referenceGaveUp) {
    comparison.verdict = Verdict::kNoVerdict;
  } else if (comparison.engine != comparison.reference) {
    comparison.verdict = Verdict::kDifferent;
  }
  return comparison;
}

std::string RegressionLine(const Call& call) {
  return std::to_string(call.flags) + "\t" + Visible(call.pattern) + "\t" + Visible(call.text);
}

Comparison CompareSearch(const Call& call, uint32_t depth, uint64_t callBudget) {
  Comparison comparison;
  // The engine answers twice: remembering failures once the search backtracks a lot, as it
  // does, and from the first step, so that remembered failures meet every depth.
  const Program program(call.pattern, call.flags);
  if (!program.Error()) program.Analyzed();  // so that the searches use the facts
  for (const bool atOnce : {false, true}) {
    SearchLimits limits;
    limits.depth = depth;
    limits.rememberAtOnce = atOnce;
    MatchState state;
    std::string answer;
    if (program.Error()) {
      answer = "report " + program.Error()->report();
    } else if (const SearchOutcome o = state.Search(program, call.text, 0, limits);
               o.status == SearchStatus::kError) {
      answer = "report " + o.error->report();
    } else if (o.status == SearchStatus::kNoMatch) {
      answer = "no match";
    } else {
      answer = "[" + std::to_string(o.matchStart) + "," + std::to_string(o.matchEnd) + ") ";
      for (int n = 1; n <= program.GroupCount(); ++n) {
        const Capture& c = state.Group(n);
        answer +=
            c.complete ? "[" + std::to_string(c.start) + "," + std::to_string(c.end) + ") " : "- ";
      }
    }
    if (atOnce && answer != comparison.engine)
      comparison.engine += " | remembering at once: " + answer;
    if (!atOnce) comparison.engine = answer;
  }

  bool gaveUp = false;
  std::string report;
  const ErrorReporter previous =
      reference::SetErrorReporter([&](const EngineError& error, std::u16string_view text) {
        gaveUp = gaveUp || error.Number == errAbandoned || error.Number == errOutOfMemory;
        report = "report " + Utf16ToUtf8(text);
      });
  SetCallBudget(callBudget);
  SetDepthLimit(static_cast<int16_t>(depth));
  const bool matched = reference::Quarn(call.text, call.pattern, call.flags);
  SetDepthLimit(1000);
  if (!report.empty()) {
    comparison.reference = report;
  } else if (!matched) {
    comparison.reference = "no match";
  } else {
    int32_t start = 0, length = 0, count = 0;
    reference::QuarnIndex(reMatch, start, length);
    comparison.reference =
        "[" + std::to_string(start - 1) + "," + std::to_string(start - 1 + length) + ") ";
    reference::QuarnIndex(reSubexprCount, count, length);
    for (int n = 1; n <= count; ++n) {
      reference::QuarnIndex(n, start, length);
      comparison.reference += start == 0 ? "- "
                                         : "[" + std::to_string(start - 1) + "," +
                                               std::to_string(start - 1 + length) + ") ";
    }
  }
  reference::SetErrorReporter(previous);
  if (gaveUp) {
    comparison.verdict = Verdict::kNoVerdict;
  } else if (comparison.engine != comparison.reference) {
    comparison.verdict = Verdict::kDifferent;
  }
  return comparison;
}

namespace {

// What the reference's transcript says of each Quarn call: its answer and its reports (those
// of the result calls that follow it are left out).
struct Seen {
  bool matched = false;
  std::vector<std::string> reports;
};

std::vector<Seen> SearchesIn(const std::string& transcript) {
  std::vector<Seen> searches;
  std::vector<std::string> reports;
  size_t from = 0;
  for (size_t end; (end = transcript.find('\n', from)) != std::string::npos; from = end + 1) {
    const std::string_view line(transcript.data() + from, end - from);
    if (line.starts_with("  report ")) {
      reports.emplace_back(line.substr(9));
    } else if (line.starts_with("Quarn -> ")) {
      searches.push_back({line.ends_with("true"), std::move(reports)});
      reports.clear();
    } else {
      reports.clear();  // those of a result call
    }
  }
  return searches;
}

std::string CheckAnalysis(const Call& call, const Seen& seen, AnalysisTally& tally) {
  const Pattern pattern(call.pattern, call.flags);
  // Made before the search, so that the search uses them to skip what they rule out, and
  // must still answer as the reference did; its error's kind tells what the reference reported.
  const PatternFacts& facts = pattern.facts();
  const SearchResult r = pattern.search(call.text);
  // The report in UTF-16, as the reference's: report() is UTF-8, which a lone surrogate of
  // the pattern quoted in the description does not survive.
  std::u16string report;
  if (r.error()) {
    const std::string number = "Error #" + std::to_string(r.error()->number) + ": ";
    report.assign(number.begin(), number.end());
    report += r.error()->description;
  }
  // (A refused option conflict leaves the legacy answer of the call before.)
  const bool refused = r.error() && r.error()->kind == ErrorKind::kInvalidOptions;
  if ((!refused && r.matched() != seen.matched) ||
      Visible(report) != (seen.reports.empty() ? "" : seen.reports.back())) {
    return Describe(call) + ": the API's search, with the facts in use, answers otherwise";
  }
  if (!seen.reports.empty()) {
    const ErrorKind kind = r.error()->kind;
    if (IsPatternFault(kind) || kind == ErrorKind::kInvalidOptions) {
      ++tally.faults;
      const std::vector<Diagnostic>& listed = pattern.diagnostics();
      const bool found = std::any_of(listed.begin(), listed.end(), [&](const Diagnostic& d) {
        return d.error && d.error->number == r.error()->number &&
               d.error->description == r.error()->description;
      });
      if (!found) {
        return Describe(call) + " reported " + seen.reports.back() +
               ", which its diagnostics do not list";
      }
    }
  }
  if (facts.cannotMatch(call.text, 0, Limits())) {
    ++tally.skipped;
    if (seen.matched || !seen.reports.empty()) {
      return Describe(call) + ": its facts say it cannot match, without an error";
    }
  }
  return {};
}

}  // namespace

std::string CheckAnalyses(const std::vector<Call>& calls, const Comparison& comparison,
                          AnalysisTally& tally) {
  const std::vector<Seen> seen = SearchesIn(comparison.reference);
  if (seen.size() != calls.size()) return "the reference's transcript has other calls";
  std::string disagreements;
  for (size_t i = 0; i < calls.size(); ++i)
    disagreements += CheckAnalysis(calls[i], seen[i], tally);
  return disagreements;
}

std::optional<Call> ParseRegressionLine(std::string_view line) {
  const size_t first = line.find('\t');
  const size_t second = first == std::string_view::npos ? first : line.find('\t', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const auto pattern = Unescape(line.substr(first + 1, second - first - 1));
  const auto text = Unescape(line.substr(second + 1));
  if (!pattern || !text) return std::nullopt;
  return Call{*text, *pattern, std::stoi(std::string(line.substr(0, first)))};
}

std::string Describe(const Call& call) {
  return "Quarn(u\"" + Visible(call.text) + "\", u\"" + Visible(call.pattern) + "\", " +
         std::to_string(call.flags) + ")";
}

}  // namespace quarn::reference
