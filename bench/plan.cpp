// The cross-check that decides which peers do the same work as Quarn.
#include "plan.h"

#include <algorithm>
#include <sstream>

namespace quarn_bench {

namespace {

std::string Describe(const Outcome& outcome) {
  if (outcome.failed)
    return outcome.error != 0 ? "ends in error " + std::to_string(outcome.error) : "gives up";
  if (!outcome.matched) return "finds no match";
  std::ostringstream text;
  text << "finds";
  for (size_t n = 0; n < outcome.spans.size(); ++n) {
    text << (n == 0 ? " the match " : ", group " + std::to_string(n) + " ");
    const Span& span = outcome.spans[n];
    if (span.start < 0) {
      text << "unset";
    } else {
      text << "at " << span.start << " length " << span.length;
    }
  }
  return text.str();
}

bool Same(const Outcome& a, const Outcome& b) {
  return a.failed == b.failed && a.error == b.error && a.matched == b.matched && a.spans == b.spans;
}

// Quarn's answers, and the first of its errors as the subject's number and the error's text.
struct QuarnAnswers {
  std::vector<Outcome> outcomes;
  size_t failedSubject = 0;  // 1-based; 0 when no search failed
  std::string errorText;
};

QuarnAnswers AnswersOfQuarn(const Workload& workload, Searcher& quarn) {
  QuarnAnswers answers;
  answers.outcomes.resize(workload.subjects.size());
  for (size_t i = 0; i < workload.subjects.size(); ++i) {
    quarn.Search(i, answers.outcomes[i]);
    if (answers.outcomes[i].failed && answers.failedSubject == 0) {
      answers.failedSubject = i + 1;
      answers.errorText = quarn.ErrorText();
    }
  }
  return answers;
}

// What Quarn answers on a workload, in a few words for the report.
std::string InWords(const QuarnAnswers& answers) {
  if (answers.failedSubject != 0)
    return "error " + std::to_string(answers.outcomes[answers.failedSubject - 1].error);
  const bool any = std::any_of(answers.outcomes.begin(), answers.outcomes.end(),
                               [](const Outcome& o) { return o.matched; });
  return any ? "match" : "no match";
}

bool Compared(const Workload& workload, const std::string& peer) {
  return !workload.quarnAlone ||
         std::find(workload.peers.begin(), workload.peers.end(), peer) != workload.peers.end();
}

}  // namespace

std::string WorkloadId(const Workload& workload) {
  return workload.family + "/" + workload.name;
}

std::string BenchmarkName(const Entry& entry) {
  return WorkloadId(*entry.workload) + "/" + entry.engine;
}

std::vector<Outcome> Answers(const Workload& workload, Searcher& searcher) {
  std::vector<Outcome> answers(workload.subjects.size());
  for (size_t i = 0; i < answers.size(); ++i)
    searcher.Search(i, answers[i]);
  return answers;
}

std::string FirstDifference(const std::vector<Outcome>& quarn, const std::vector<Outcome>& peer) {
  for (size_t i = 0; i < quarn.size() && i < peer.size(); ++i) {
    if (!Same(quarn[i], peer[i])) {
      return "on subject " + std::to_string(i + 1) + " Quarn " + Describe(quarn[i]) +
             " but the peer " + Describe(peer[i]);
    }
  }
  return quarn.size() == peer.size() ? "" : "the peer answers a different number of subjects";
}

Plan MakePlan(const std::vector<Workload>& workloads, const std::vector<Engine>& engines) {
  Plan plan;
  for (const Workload& workload : workloads) {
    const std::string id = WorkloadId(workload);
    std::string whyNot;
    std::shared_ptr<Searcher> quarn = engines.front().prepare(workload, whyNot);
    const QuarnAnswers answers = AnswersOfQuarn(workload, *quarn);
    const std::vector<Outcome>& expected = answers.outcomes;
    if (answers.failedSubject != 0 && !workload.quarnAlone) {
      plan.unusable.push_back(id + ": subject " + std::to_string(answers.failedSubject) +
                              ": Quarn reports \"" + answers.errorText + "\"");
      continue;
    }
    if (workload.quarnAlone) {
      plan.answers[id] = InWords(answers);
      if (answers.failedSubject != 0)
        plan.errors[expected[answers.failedSubject - 1].error] = answers.errorText;
    }
    plan.matching[id] = static_cast<size_t>(std::count_if(
        expected.begin(), expected.end(), [](const Outcome& o) { return o.matched; }));
    std::vector<Entry> agreeing;
    for (size_t e = 1; e < engines.size(); ++e) {
      if (!Compared(workload, engines[e].name)) continue;
      std::shared_ptr<Searcher> peer = engines[e].prepare(workload, whyNot);
      if (!peer) {
        plan.notes.push_back(id + ": " + engines[e].name + " left out, " + whyNot);
        continue;
      }
      if (const std::string difference = FirstDifference(expected, Answers(workload, *peer));
          !difference.empty()) {
        plan.notes.push_back(id + ": " + engines[e].name + " left out, " + difference);
        continue;
      }
      agreeing.push_back({&workload, engines[e].name, std::move(peer)});
    }
    if (agreeing.empty() && !workload.quarnAlone) {
      plan.unusable.push_back(id + ": no peer does the same work");
      continue;
    }
    plan.entries.push_back({&workload, engines.front().name, std::move(quarn)});
    plan.entries.insert(plan.entries.end(), agreeing.begin(), agreeing.end());
  }
  return plan;
}

}  // namespace quarn_bench
