// Perl's regex test rows (tests/peer/perl_re_tests.cases.jsonl), each case run through a
// fresh `quarn --host` process and every answer compared with its "expect" as a JSON value.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <ostream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "run_quarn.h"

namespace quarn::cli_test {
namespace {

using nlohmann::json;

struct PeerCase {
  std::string name;
  json calls;
  json expect;
};

// GoogleTest shows a failing case by its name.
void PrintTo(const PeerCase& peer, std::ostream* out) {
  *out << peer.name;
}

std::vector<PeerCase> LoadCases() {
  std::vector<PeerCase> cases;
  std::ifstream in(QUARN_PEER_CASES);
  if (!in) throw std::runtime_error("cannot read " QUARN_PEER_CASES);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    const json row = json::parse(line);
    cases.push_back({row.at("name"), row.at("calls"), row.at("expect")});
  }
  return cases;
}

// A test name from the case's table line ("perl re_tests line 10: ..." gives "line_10").
std::string TestName(const ::testing::TestParamInfo<PeerCase>& info) {
  static const std::regex line(R"(line (\d+))");
  std::smatch found;
  if (std::regex_search(info.param.name, found, line)) return "line_" + found[1].str();
  return "case_" + std::to_string(info.index);
}

class PeerCaseTest : public ::testing::TestWithParam<PeerCase> {};

TEST_P(PeerCaseTest, AnswersAsExpected) {
  const PeerCase& peer = GetParam();
  std::string input;
  for (const json& call : peer.calls)
    input += call.dump() + "\n";
  const RunResult result = RunQuarn({"--host"}, input);
  ASSERT_EQ(result.status, 0) << peer.name << "\n" << result.err;

  std::vector<std::string> answers;
  std::istringstream lines(result.out);
  for (std::string answer; std::getline(lines, answer);)
    answers.push_back(answer);
  ASSERT_EQ(answers.size(), peer.calls.size()) << peer.name << "\n" << result.out;

  for (size_t i = 0; i < answers.size(); ++i) {
    // An answer holding a lone surrogate is valid for the protocol but not for nlohmann/json;
    // it then cannot equal an expected value that nlohmann/json could read.
    const json actual = json::parse(answers[i], nullptr, /*allow_exceptions=*/false);
    EXPECT_EQ(actual, peer.expect[i])
        << peer.name << "\n  call:     " << peer.calls[i].dump()
        << "\n  expected: " << peer.expect[i].dump() << "\n  actual:   " << answers[i];
  }
}

INSTANTIATE_TEST_SUITE_P(PerlReTests, PeerCaseTest, ::testing::ValuesIn(LoadCases()), TestName);

}  // namespace
}  // namespace quarn::cli_test
