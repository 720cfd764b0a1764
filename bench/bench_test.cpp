// Tests of the benchmark harness: every engine adapter reports matches and subexpressions in
// the same terms, the cross-check leaves out exactly the peers that differ by design and takes
// Quarn's depth limit as its answer where it runs alone, and the report divides the right way
// round.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>

#include "engines.h"
#include "plan.h"
#include "quarn/quarn.h"
#include "report.h"
#include "workloads.h"

namespace quarn_bench {
namespace {

const std::vector<Workload>& RealWorkloads() {
  static const std::vector<Workload> workloads = AllWorkloads(QUARN_BENCH_CORPUS);
  return workloads;
}

Workload Single(std::u16string pattern, std::vector<std::u16string> subjects, int32_t flags = 0) {
  return {"test", "case", "a test case", std::move(pattern), flags, std::move(subjects)};
}

// Each engine's answers on a workload that every engine supports.
void ExpectEveryEngineAnswers(const Workload& workload, const std::vector<Outcome>& expected) {
  for (const Engine& engine : AllEngines()) {
    SCOPED_TRACE(engine.name);
    std::string whyNot;
    std::unique_ptr<Searcher> searcher = engine.prepare(workload, whyNot);
    ASSERT_NE(searcher, nullptr) << whyNot;
    const std::vector<Outcome> answers = Answers(workload, *searcher);
    ASSERT_EQ(answers.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(answers[i].matched, expected[i].matched) << "subject " << i;
      EXPECT_FALSE(answers[i].failed) << "subject " << i;
      EXPECT_EQ(answers[i].error, 0) << "subject " << i;
      EXPECT_EQ(answers[i].spans, expected[i].spans) << "subject " << i;
    }
  }
}

TEST(Engines, ReportLeftmostFirstMatchWithSubexpressions) {
  // Group 1 takes "a" before "ab"; group 3 matches empty at the end of the match.
  ExpectEveryEngineAnswers(Single(u"(a|ab)(c|bcd)(d*)", {u"xabcd", u"zzz"}),
                           {{true, false, {{1, 4}, {1, 1}, {2, 3}, {5, 0}}}, {false, false, {}}});
}

TEST(Engines, ReportAGroupOutsideTheMatchAsUnset) {
  ExpectEveryEngineAnswers(Single(u"(a)|(b)", {u"cb"}), {{true, false, {{1, 1}, {}, {1, 1}}}});
}

TEST(Engines, IgnoreCaseWhenTheWorkloadSaysSo) {
  ExpectEveryEngineAnswers(
      Single(u"license", {u"The LICENSE", u"The LICENCE"}, quarn::reIgnoreCase),
      {{true, false, {{4, 7}}}, {false, false, {}}});
}

TEST(Engines, QuarnAndItsLegacyCallReportTheDepthLimit) {
  // "a*" can take at most 499 characters before the depth limit.
  const Workload workload = Single(u"a*", {std::u16string(600, u'a')});
  for (const Engine& engine : AllEngines()) {
    if (engine.name != kQuarn && engine.name != kQuarnLegacy) continue;
    SCOPED_TRACE(engine.name);
    std::string whyNot;
    std::unique_ptr<Searcher> quarn = engine.prepare(workload, whyNot);
    Outcome outcome;
    quarn->Search(0, outcome);
    EXPECT_TRUE(outcome.failed);
    EXPECT_FALSE(outcome.matched);
    EXPECT_EQ(outcome.error, quarn::errSyntax);
    EXPECT_NE(quarn->ErrorText().find("Maximum number of iterations"), std::string::npos);
  }
}

TEST(Engines, Pcre2RefusesAPatternItCannotCompileBeforeAnySearch) {
  const Workload workload = Single(u"(a", {u"a"});
  for (const Engine& engine : AllEngines()) {
    if (engine.name != kPcre2 && engine.name != kPcre2Compile) continue;
    std::string whyNot;
    EXPECT_EQ(engine.prepare(workload, whyNot), nullptr) << engine.name;
    EXPECT_TRUE(whyNot.starts_with("cannot compile the pattern")) << whyNot;
  }
}

TEST(Workloads, CoverTheDemoExamplesCorpusGrowthPathologicalNestedAndBackReferenceCases) {
  std::map<std::string, int> perFamily;
  for (const Workload& workload : RealWorkloads())
    ++perFamily[workload.family];
  EXPECT_EQ(perFamily["demo"], 17);
  EXPECT_EQ(perFamily["corpus"], 6);
  EXPECT_EQ(perFamily["growth"], 4);
  EXPECT_EQ(perFamily["pathological"], 4);
  EXPECT_EQ(perFamily["pathological_cb"], 4);
  EXPECT_EQ(perFamily["nested"], 10);
  EXPECT_EQ(perFamily["backref"], 9);
}

TEST(Workloads, GrowthSubjectsHaveTheirLengthAndOneTarget) {
  size_t expectedLength = 10;
  for (const Workload& workload : RealWorkloads()) {
    if (workload.family != "growth") continue;
    ASSERT_EQ(workload.subjects.size(), 1u);
    const std::u16string& subject = workload.subjects.front();
    EXPECT_EQ(subject.size(), expectedLength);
    EXPECT_TRUE(subject.ends_with(u"2007-06-29"));
    EXPECT_EQ(std::count_if(subject.begin(), subject.end(),
                            [](char16_t c) { return c >= u'0' && c <= u'9'; }),
              8);
    expectedLength *= 10;
  }
}

TEST(Workloads, NestedOnesAreRunsOfAForQuarnAloneAndPcre2) {
  std::vector<std::pair<std::u16string, size_t>> seen;
  for (const Workload& workload : RealWorkloads()) {
    if (workload.family != "nested" && workload.family != "backref") continue;
    EXPECT_TRUE(workload.quarnAlone);
    EXPECT_EQ(workload.peers, std::vector<std::string>{kPcre2});
    ASSERT_EQ(workload.subjects.size(), 1u);
    EXPECT_EQ(workload.subjects.front(), std::u16string(workload.subjects.front().size(), u'a'));
    seen.emplace_back(workload.pattern, workload.subjects.front().size());
  }
  const std::vector<std::pair<std::u16string, size_t>> expected = {
      {u"(a|aa)+b", 25},    {u"(a|aa)+b", 50},     {u"(a|aa)+b", 100},   {u"(a|aa)+b", 199},
      {u"(a|aa)+b", 400},   {u"(a+)+b", 25},       {u"(a+)+b", 50},      {u"(a+)+b", 100},
      {u"(a+)+b", 199},     {u"(a+)+b", 400},      {u"(a|a)*\\1b", 25},  {u"(a|a)*\\1b", 100},
      {u"(a|a)*\\1b", 400}, {u"(a+)+\\1b", 25},    {u"(a+)+\\1b", 100},  {u"(a+)+\\1b", 400},
      {u"(\\w+)*\\1x", 25}, {u"(\\w+)*\\1x", 100}, {u"(\\w+)*\\1x", 400}};
  EXPECT_EQ(seen, expected);
}

TEST(Workloads, JsonKeepsPatternsFlagsAndSubjects) {
  const std::vector<Workload> workloads = {
      Single(uR"(\b(\w+)\s+\1 "é")", {u"the the", u"x"}, quarn::reIgnoreCase)};
  const nlohmann::json json = nlohmann::json::parse(WorkloadsJson(workloads));
  ASSERT_EQ(json.size(), 1u);
  EXPECT_EQ(json[0]["family"], "test");
  EXPECT_EQ(json[0]["name"], "case");
  EXPECT_EQ(json[0]["pattern"], "\\b(\\w+)\\s+\\1 \"\u00e9\"");
  EXPECT_EQ(json[0]["flags"], quarn::reIgnoreCase);
  EXPECT_EQ(json[0]["subjects"], nlohmann::json::array({"the the", "x"}));
}

// "family/name: engine" of every note.
std::set<std::string> LeftOut(const Plan& plan) {
  std::set<std::string> leftOut;
  for (const std::string& note : plan.notes)
    leftOut.insert(note.substr(0, note.find(" left out")));
  return leftOut;
}

TEST(Plan, LeavesOutExactlyThePeersThatDifferByDesign) {
  const Plan plan = MakePlan(RealWorkloads(), AllEngines());
  EXPECT_TRUE(plan.unusable.empty()) << plan.unusable.front();
  // RE2 has no back references and no lookahead; Boost gives up on the longest exponential
  // searches; PCRE2 answers "no match" where Quarn reaches its depth limit. Every other peer
  // must find exactly what Quarn finds.
  const std::set<std::string> expected = {
      "demo/12_repeated_words: RE2",
      "demo/15_lookaheads_negative_assertion: RE2",
      "demo/16_lookaheads_positive_assertion: RE2",
      "corpus/backreference: RE2",
      "corpus/lookahead: RE2",
      "pathological/20: Boost",
      "pathological_cb/20: Boost",
      "nested/alternation_400: PCRE2",
      "nested/plus_199: PCRE2",
      "nested/plus_400: PCRE2",
      "backref/alternation_400: PCRE2",
      "backref/plus_400: PCRE2",
      "backref/word_400: PCRE2",
  };
  EXPECT_EQ(LeftOut(plan), expected);
  // Every engine on the compared workloads but the seven left out; on the nineteen nested and
  // back-reference ones Quarn, and PCRE2 on the thirteen where it agrees.
  EXPECT_EQ(plan.entries.size(), (RealWorkloads().size() - 19) * AllEngines().size() - 7 + 19 + 13);
}

TEST(Plan, TakesQuarnsErrorAsItsAnswerOnlyWhereItRunsAlone) {
  Workload deep = Single(u"a*", {u"", std::u16string(600, u'a')});
  Plan plan = MakePlan({deep}, AllEngines());
  ASSERT_EQ(plan.unusable.size(), 1u);
  EXPECT_NE(plan.unusable.front().find("subject 2: Quarn reports \"Error #20052"),
            std::string::npos)
      << plan.unusable.front();
  EXPECT_TRUE(plan.entries.empty());

  deep.quarnAlone = true;
  deep.peers = {kPcre2};
  plan = MakePlan({deep}, AllEngines());
  EXPECT_TRUE(plan.unusable.empty());
  ASSERT_EQ(plan.entries.size(), 1u);
  EXPECT_EQ(plan.entries.front().engine, kQuarn);
  EXPECT_EQ(plan.answers.at("test/case"), "error 20052");
  EXPECT_NE(plan.errors.at(20052).find("Maximum number of iterations"), std::string::npos);
  // PCRE2, the one peer named, was compared and found to differ.
  EXPECT_EQ(plan.notes, std::vector<std::string>{"test/case: PCRE2 left out, on subject 2 Quarn "
                                                 "ends in error 20052 but the peer finds the "
                                                 "match at 0 length 600"});
}

TEST(Plan, DescribesTheFirstDifference) {
  const std::vector<Outcome> quarn = {{false, false, {}}, {true, false, {{0, 2}, {0, 1}}}};
  std::vector<Outcome> peer = quarn;
  EXPECT_EQ(FirstDifference(quarn, peer), "");
  peer[1].spans[1] = {};
  EXPECT_EQ(FirstDifference(quarn, peer),
            "on subject 2 Quarn finds the match at 0 length 2, group 1 at 0 length 1 but the peer "
            "finds the match at 0 length 2, group 1 unset");
}

TEST(Report, MedianOfOddAndEvenCounts) {
  EXPECT_EQ(Median({3, 1, 2}), 2);
  EXPECT_EQ(Median({4, 1, 3, 2}), 2.5);
}

TEST(Report, DividesQuarnsTimeByThePeersPerSearch) {
  const Workload corpus = {"corpus", "word", "a word", u"x", 0, {u"a", u"b"}};
  Plan plan;
  plan.entries = {{&corpus, kQuarn, nullptr},
                  {&corpus, kQuarnLegacy, nullptr},
                  {&corpus, kPcre2, nullptr},
                  {&corpus, kPcre2Compile, nullptr}};
  plan.matching["corpus/word"] = 1;
  // Two searches per iteration: 8 µs, 32 µs, 2 µs and 16 µs per search.
  const std::string report = Report(plan, {kQuarn, kQuarnLegacy, kPcre2, kPcre2Compile, "RE2"},
                                    {{"corpus/word/Quarn", 16e-6},
                                     {"corpus/word/Quarn-legacy", 64e-6},
                                     {"corpus/word/PCRE2", 4e-6},
                                     {"corpus/word/PCRE2-compile", 32e-6}});
  EXPECT_NE(report.find("| corpus/word a word (2 lines, 1 matching) | 8 µs | 32 µs (×0.25) | "
                        "2 µs (×4) | 16 µs (×0.5) | — |"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("| corpus | ×0.25 (1) | ×4 (1) | ×0.5 (1) | — |"), std::string::npos)
      << report;
  // Quarn-legacy against PCRE2 compiling on every search, interpreting and JIT-compiled.
  EXPECT_NE(report.find("| corpus | ×2 (1) | ×16 (1) | — |"), std::string::npos) << report;
}

TEST(Report, ShowsQuarnAlonesAnswersTimesAndGrowth) {
  std::vector<Workload> nested;
  for (const size_t length : {25, 50, 100}) {
    nested.push_back({"nested",
                      "alternation_" + std::to_string(length),
                      "a run",
                      u"(a|aa)+b",
                      0,
                      {std::u16string(length, u'a')},
                      true,
                      {kPcre2}});
  }
  Plan plan;
  plan.entries = {{&nested[0], kQuarn, nullptr},
                  {&nested[0], kPcre2, nullptr},
                  {&nested[1], kQuarn, nullptr},
                  {&nested[2], kQuarn, nullptr}};
  plan.answers = {{"nested/alternation_25", "no match"},
                  {"nested/alternation_50", "no match"},
                  {"nested/alternation_100", "error 20052"}};
  plan.errors[20052] = "Error #20052: too deep";
  const std::string report = Report(plan, {kQuarn, kPcre2},
                                    {{"nested/alternation_25/Quarn", 1e-6},
                                     {"nested/alternation_50/Quarn", 4e-6},
                                     {"nested/alternation_100/Quarn", 2e-6},
                                     {"nested/alternation_25/PCRE2", 3e-9}});
  // Four times the time for twice the length is n^2; no growth across a change of answer.
  EXPECT_NE(report.find("| pattern | subject length | answer | Quarn | growth | PCRE2 |\n"
                        "| --- | --- | --- | --- | --- | --- |\n"
                        "| `(a\\|aa)+b` | 25 | no match | 1 µs |  | 3 ns |\n"
                        "|  | 50 | no match | 4 µs | ×4, n^2.00 | — |\n"
                        "|  | 100 | error 20052 | 2 µs |  | — |\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("- `(a\\|aa)+b`, no match, from 25 to 50 characters: Quarn's time ×4, "
                        "n^2.00\n- error 20052 is \"Error #20052: too deep\""),
            std::string::npos)
      << report;
  // They are not compared, so no table of ratios shows them.
  EXPECT_EQ(report.find("nested/alternation"), std::string::npos) << report;
}

}  // namespace
}  // namespace quarn_bench
