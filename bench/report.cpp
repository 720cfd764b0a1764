// The report tables. Times are CPU time, which a busy machine disturbs less than wall time;
// ratios are taken between figures of the same run.
#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "quarn/utf.h"

namespace quarn_bench {

namespace {

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Three significant digits in the unit that keeps the rounded number below 1000.
std::string Duration(double seconds) {
  constexpr double kBelowThousand = 999.5;
  if (seconds * 1e9 < kBelowThousand) return Format("%.3g ns", seconds * 1e9);
  if (seconds * 1e6 < kBelowThousand) return Format("%.3g µs", seconds * 1e6);
  if (seconds * 1e3 < kBelowThousand) return Format("%.3g ms", seconds * 1e3);
  return Format("%.3g s", seconds);
}

std::string Ratio(double ratio) {
  return Format(ratio >= 1000 ? "×%.0f" : "×%.3g", ratio);
}

std::string Row(const std::vector<std::string>& cells) {
  std::string row = "|";
  for (const std::string& cell : cells)
    row += " " + cell + " |";
  return row + "\n";
}

std::string Header(const std::vector<std::string>& cells) {
  return Row(cells) + Row(std::vector<std::string>(cells.size(), "---"));
}

// Seconds per search of every engine that ran a workload, by engine name.
using Times = std::map<std::string, double>;

struct WorkloadTimes {
  const Workload* workload;
  Times times;
};

// The workloads that were timed (a filter may leave some out), in plan order.
std::vector<WorkloadTimes> Collect(const Plan& plan,
                                   const std::map<std::string, double>& secondsPerIteration) {
  std::vector<WorkloadTimes> rows;
  for (const Entry& entry : plan.entries) {
    const auto found = secondsPerIteration.find(BenchmarkName(entry));
    if (found == secondsPerIteration.end()) continue;
    if (rows.empty() || rows.back().workload != entry.workload)
      rows.push_back({entry.workload, {}});
    rows.back().times[entry.engine] =
        found->second / static_cast<double>(entry.workload->subjects.size());
  }
  return rows;
}

std::string Caption(const Plan& plan, const Workload& workload) {
  std::string caption = WorkloadId(workload) + " " + workload.caption;
  if (workload.subjects.size() > 1) {
    const auto matching = plan.matching.find(WorkloadId(workload));
    caption += " (" + std::to_string(workload.subjects.size()) + " lines, " +
               std::to_string(matching == plan.matching.end() ? 0 : matching->second) +
               " matching)";
  }
  return caption;
}

bool Compared(const WorkloadTimes& row) {
  return !row.workload->quarnAlone;
}

std::string TimeTable(const Plan& plan, const std::vector<WorkloadTimes>& rows,
                      const std::vector<std::string>& engines) {
  std::vector<std::string> header = {"workload"};
  header.insert(header.end(), engines.begin(), engines.end());
  std::string table = Header(header);
  for (const WorkloadTimes& row : rows) {
    if (!Compared(row)) continue;
    std::vector<std::string> cells = {Caption(plan, *row.workload)};
    const auto quarn = row.times.find(engines.front());
    for (const std::string& engine : engines) {
      const auto time = row.times.find(engine);
      if (time == row.times.end()) {
        cells.push_back("—");
      } else if (engine == engines.front() || quarn == row.times.end()) {
        cells.push_back(Duration(time->second));
      } else {
        cells.push_back(Duration(time->second) + " (" + Ratio(quarn->second / time->second) + ")");
      }
    }
    table += Row(cells);
  }
  return table;
}

// The geometric mean of engine's ratio to each of peers over the compared workloads of each
// family.
std::string SummaryTable(const std::vector<WorkloadTimes>& rows, const std::string& engine,
                         const std::vector<std::string>& peers) {
  std::vector<std::string> header = {"family"};
  header.insert(header.end(), peers.begin(), peers.end());
  std::string table = Header(header);
  std::vector<std::string> families;
  for (const WorkloadTimes& row : rows) {
    if (Compared(row) &&
        std::find(families.begin(), families.end(), row.workload->family) == families.end()) {
      families.push_back(row.workload->family);
    }
  }
  for (const std::string& family : families) {
    std::vector<std::string> cells = {family};
    for (const std::string& peer : peers) {
      double logSum = 0;
      int count = 0;
      for (const WorkloadTimes& row : rows) {
        const auto mine = row.times.find(engine);
        const auto theirs = row.times.find(peer);
        if (row.workload->family != family || !Compared(row) || mine == row.times.end() ||
            theirs == row.times.end()) {
          continue;
        }
        logSum += std::log(mine->second / theirs->second);
        ++count;
      }
      cells.push_back(
          count == 0 ? "—" : Ratio(std::exp(logSum / count)) + " (" + std::to_string(count) + ")");
    }
    table += Row(cells);
  }
  return table;
}

// The growth workloads' time divided by their subject's length.
std::string PerCharacterTable(const std::vector<WorkloadTimes>& rows,
                              const std::vector<std::string>& engines) {
  std::vector<std::string> header = {"subject length"};
  header.insert(header.end(), engines.begin(), engines.end());
  std::string table = Header(header);
  for (const WorkloadTimes& row : rows) {
    if (row.workload->family != "growth") continue;
    const double length = static_cast<double>(row.workload->subjects.front().size());
    std::vector<std::string> cells = {Format("%.0f", length)};
    for (const std::string& engine : engines) {
      const auto time = row.times.find(engine);
      cells.push_back(time == row.times.end() ? "—" : Duration(time->second / length));
    }
    table += Row(cells);
  }
  return table;
}

// A pattern as a code span in a table cell, where "|" has to be escaped.
std::string PatternCell(const std::u16string& pattern) {
  std::string cell = "`";
  for (const char c : quarn::Utf16ToUtf8(pattern))
    cell += c == '|' ? std::string("\\|") : std::string(1, c);
  return cell + "`";
}

double SubjectLength(const WorkloadTimes& row) {
  return static_cast<double>(row.workload->subjects.front().size());
}

// How Quarn's time grows from row a to row b: the time ratio and the power of the length
// that gives it.
std::string Growth(const WorkloadTimes& a, const WorkloadTimes& b, const std::string& quarn) {
  const double ratio = b.times.at(quarn) / a.times.at(quarn);
  const double exponent = std::log(ratio) / std::log(SubjectLength(b) / SubjectLength(a));
  return Ratio(ratio) + ", n^" + Format("%.2f", exponent);
}

// The workloads that Quarn runs alone, one row per subject length under each pattern: its
// answer, its time, the growth from the row before, and the time of the peers that agree.
std::string CurveTable(const Plan& plan, const std::vector<WorkloadTimes>& rows,
                       const std::vector<std::string>& engines) {
  std::vector<const WorkloadTimes*> alone;
  for (const WorkloadTimes& row : rows) {
    if (!Compared(row) && row.times.contains(engines.front())) alone.push_back(&row);
  }
  std::vector<std::string> peers;
  for (size_t e = 1; e < engines.size(); ++e) {
    if (std::any_of(alone.begin(), alone.end(),
                    [&](const WorkloadTimes* row) { return row->times.contains(engines[e]); })) {
      peers.push_back(engines[e]);
    }
  }
  std::vector<std::string> header = {"pattern", "subject length", "answer", engines.front(),
                                     "growth"};
  header.insert(header.end(), peers.begin(), peers.end());
  std::string table = Header(header);
  std::string statements;
  size_t runStart = 0;  // the first row of the current pattern and answer
  for (size_t i = 0; i < alone.size(); ++i) {
    const WorkloadTimes& row = *alone[i];
    const bool samePattern = i > 0 && alone[i - 1]->workload->pattern == row.workload->pattern;
    const std::string& answer = plan.answers.at(WorkloadId(*row.workload));
    // Growth compares searches with the same answer only: an error ends a search early.
    const bool sameRun =
        samePattern && plan.answers.at(WorkloadId(*alone[i - 1]->workload)) == answer;
    if (!sameRun) runStart = i;
    std::vector<std::string> cells = {samePattern ? "" : PatternCell(row.workload->pattern),
                                      Format("%.0f", SubjectLength(row)), answer,
                                      Duration(row.times.at(engines.front())),
                                      sameRun ? Growth(*alone[i - 1], row, engines.front()) : ""};
    for (const std::string& peer : peers) {
      const auto time = row.times.find(peer);
      cells.push_back(time == row.times.end() ? "—" : Duration(time->second));
    }
    table += Row(cells);
    const bool runEnds = i + 1 == alone.size() ||
                         alone[i + 1]->workload->pattern != row.workload->pattern ||
                         plan.answers.at(WorkloadId(*alone[i + 1]->workload)) != answer;
    if (runEnds && i > runStart) {
      statements += "- " + PatternCell(row.workload->pattern) + ", " + answer + ", from " +
                    Format("%.0f", SubjectLength(*alone[runStart])) + " to " +
                    Format("%.0f", SubjectLength(row)) + " characters: " + engines.front() +
                    "'s time " + Growth(*alone[runStart], row, engines.front()) + "\n";
    }
  }
  for (const auto& [number, text] : plan.errors)
    statements += "- error " + std::to_string(number) + " is \"" + text + "\"\n";
  return table + "\n" + statements;
}

}  // namespace

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void CollectingReporter::ReportRuns(const std::vector<Run>& runs) {
  std::vector<Run> shown;
  for (const Run& run : runs) {
    const bool single = run.repetitions <= 1;
    if (run.run_type == Run::RT_Iteration && !run.error_occurred && run.iterations > 0) {
      seconds_[run.run_name.function_name].push_back(run.cpu_accumulated_time /
                                                     static_cast<double>(run.iterations));
    }
    if (run.error_occurred || (run.run_type == Run::RT_Iteration && single) ||
        (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")) {
      shown.push_back(run);
    }
  }
  if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
}

std::map<std::string, double> CollectingReporter::SecondsPerIteration() const {
  std::map<std::string, double> medians;
  for (const auto& [name, seconds] : seconds_)
    medians[name] = Median(seconds);
  return medians;
}

std::string Report(const Plan& plan, const std::vector<std::string>& engines,
                   const std::map<std::string, double>& secondsPerIteration) {
  const std::vector<WorkloadTimes> rows = Collect(plan, secondsPerIteration);
  if (rows.empty()) return "No benchmark was run.\n";
  const auto any = [&rows](const auto& predicate) {
    return std::any_of(rows.begin(), rows.end(), predicate);
  };
  std::ostringstream report;
  if (any(Compared)) {
    report << "Time per search (CPU time, median of the repetitions) and, in parentheses, "
           << engines.front() << "'s time divided by the other engine's:\n\n"
           << TimeTable(plan, rows, engines) << "\n"
           << engines.front()
           << "'s ratio to each other engine, geometric mean per family (number of "
              "workloads):\n\n"
           << SummaryTable(rows, engines.front(),
                           std::vector<std::string>(engines.begin() + 1, engines.end()));
  }
  if (any([](const WorkloadTimes& row) {
        return Compared(row) && row.times.contains(kQuarnLegacy);
      })) {
    report << "\n"
           << kQuarnLegacy
           << "'s ratio to PCRE2 compiling on every search, interpreting and JIT-compiled, "
              "geometric mean per family (number of workloads):\n\n"
           << SummaryTable(rows, kQuarnLegacy, {kPcre2Compile, kPcre2, kPcre2Jit});
  }
  if (any([](const WorkloadTimes& row) { return row.workload->family == "growth"; })) {
    report << "\nGrowth workloads, time per character of the subject:\n\n"
           << PerCharacterTable(rows, engines);
  }
  if (any([&engines](const WorkloadTimes& row) {
        return !Compared(row) && row.times.contains(engines.front());
      })) {
    report << "\nWorkloads of " << engines.front()
           << " alone, time per search and its growth from the row before (the time ratio, and "
              "the power of the subject length n that gives it):\n\n"
           << CurveTable(plan, rows, engines);
  }
  return report.str();
}

}  // namespace quarn_bench
