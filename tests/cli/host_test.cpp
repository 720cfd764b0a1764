// quarn --host: the protocol through which a program drives the engine's public calls.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "host.h"
#include "run_quarn.h"

namespace quarn::cli_test {
namespace {

using nlohmann::json;

const std::string kNoMatchResult =
    R"("Error #20051: Error in Quarn.QuarnResult: No match on last call to Quarn, or Quarn not called at all")";
const std::string kNoMatchIndex =
    R"("Error #20051: Error in Quarn.QuarnIndex: No match on last call to Quarn, or Quarn not called at all")";
const std::string kRefusal =
    R"("Error #20053: Error in Quarn.Quarn: Cannot specify both reSingleLine and reMultiline at the same time.")";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + "\n";
  return text;
}

// Runs one host session and checks every answer line, as written, against expected.
void ExpectSession(const std::vector<std::pair<std::string, std::string>>& exchange) {
  std::vector<std::string> calls, expected;
  for (const auto& [call, answer] : exchange) {
    calls.push_back(call);
    if (!answer.empty()) expected.push_back(answer);
  }
  const RunResult result = RunQuarn({"--host"}, Join(calls));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  const std::vector<std::string> answers = Lines(result.out);
  ASSERT_EQ(answers.size(), expected.size()) << result.out;
  for (size_t i = 0; i < answers.size(); ++i)
    EXPECT_EQ(answers[i], expected[i]) << "answer " << i;
}

TEST(QuarnHost, TheMatchStatePersistsAcrossCalls) {
  ExpectSession({
      {R"j({"call":"Quarn","text":"say hello","pattern":"(h)(e)llo|(x)","flags":0})j",
       R"({"result":true,"reports":[]})"},
      {R"({"call":"QuarnResult","type":-3})", R"({"result":"hello","reports":[]})"},
      {R"({"call":"QuarnResult","type":-2})", R"({"result":"say ","reports":[]})"},
      {R"({"call":"QuarnResult","type":-1})", R"({"result":"","reports":[]})"},
      {R"({"call":"QuarnResult","type":0})", R"({"result":3,"reports":[]})"},
      {R"({"call":"QuarnResult","type":2})", R"({"result":"e","reports":[]})"},
      {R"({"call":"QuarnResult","type":3})", R"({"result":null,"reports":[]})"},
      {R"({"call":"QuarnIndex","type":-3,"start":0,"length":0})",
       R"({"start":5,"length":5,"reports":[]})"},
      {R"({"call":"QuarnIndex","type":2})", R"({"start":6,"length":1,"reports":[]})"},
      {R"({"call":"QuarnIndex","type":3,"start":7,"length":9})",
       R"({"start":0,"length":0,"reports":[]})"},
  });
}

TEST(QuarnHost, ARefusedFlagsSixCallKeepsThePreviousMatchReadable) {
  ExpectSession({
      {R"({"call":"Quarn","text":"abc","pattern":"b"})", R"({"result":true,"reports":[]})"},
      {R"({"call":"Quarn","text":"xyz","pattern":"y","flags":6})",
       R"({"result":true,"reports":[)" + kRefusal + "]}"},
      {R"({"call":"QuarnResult","type":-3})", R"({"result":"b","reports":[]})"},
      {R"({"call":"QuarnIndex","type":-1})", R"({"start":3,"length":1,"reports":[]})"},
      {R"({"call":"Quarn","text":"abc","pattern":"z"})", R"({"result":false,"reports":[]})"},
      {R"({"call":"Quarn","text":"abc","pattern":"b","flags":6})",
       R"({"result":false,"reports":[)" + kRefusal + "]}"},
      {R"({"call":"QuarnResult","type":-3})",
       R"({"result":null,"reports":[)" + kNoMatchResult + "]}"},
  });
}

TEST(QuarnHost, QuarnIndexLeavesStartAndLengthUnchangedOnError) {
  ExpectSession({
      {R"({"call":"QuarnIndex","type":-3,"start":7,"length":9})",
       R"({"start":7,"length":9,"reports":[)" + kNoMatchIndex + "]}"},
      {R"j({"call":"Quarn","text":"aXb","pattern":"(a)(X)"})j", R"({"result":true,"reports":[]})"},
      {R"({"call":"QuarnIndex","type":5,"start":7,"length":9})",
       R"({"start":7,"length":9,"reports":["Error #20053: Error in Quarn.QuarnIndex: No match stored for regular sub-expression #5"]})"},
      {R"({"call":"QuarnIndex","type":32,"start":-1,"length":2147483647})",
       R"({"start":-1,"length":2147483647,"reports":["Error #20053: Error in Quarn.QuarnIndex: Invalid value, parameter ResultType = 32"]})"},
      {R"({"call":"QuarnIndex","type":-4})",
       R"({"start":0,"length":0,"reports":["Error #20053: Error in Quarn.QuarnIndex: Invalid value, parameter ResultType = -4"]})"},
      {R"({"call":"QuarnResult","type":-2147483648})",
       R"({"result":null,"reports":["Error #20053: Error in Quarn.QuarnIndex: Invalid value, parameter ResultType = -2147483648"]})"},
      {R"({"call":"QuarnIndex","type":2,"start":7,"length":9})",
       R"({"start":2,"length":1,"reports":[]})"},
  });
}

TEST(QuarnHost, APatternErrorIsReportedAndLeavesNoMatch) {
  ExpectSession({
      {R"({"call":"Quarn","text":"xxx","pattern":"x{3,1}"})",
       R"({"result":false,"reports":["Error #20050: Error in Quarn.DoQuarn: Upper limit is less than lower limit in regular expression {3,1}"]})"},
      {R"({"call":"QuarnResult","type":0})",
       R"({"result":null,"reports":[)" + kNoMatchResult + "]}"},
  });
}

TEST(QuarnHost, DefaultsAndOptionFlags) {
  ExpectSession({
      {R"({"call":"Quarn","text":"ABC","pattern":"b"})", R"({"result":false,"reports":[]})"},
      {R"({"call":"Quarn","text":"ABC","pattern":"b","flags":1})",
       R"({"result":true,"reports":[]})"},
      {R"({"call":"Quarn","flags":4,"pattern":"^c","text":"ab\r\ncd"})",
       R"({"result":true,"reports":[]})"},
      {R"({"call":"QuarnIndex","type":-3})", R"({"start":5,"length":1,"reports":[]})"},
  });
}

TEST(QuarnHost, TextsAreUtf16CodeUnits) {
  ExpectSession({
      {R"({"call":"Quarn","text":"日本語","pattern":"本"})", R"({"result":true,"reports":[]})"},
      {R"({"call":"QuarnIndex","type":-3})", R"({"start":2,"length":1,"reports":[]})"},
      {R"({"call":"QuarnResult","type":-1})", R"({"result":"語","reports":[]})"},
      // U+1F600 is the pair D83D DE00: "." takes one unit, so the pair is split.
      {R"({"call":"Quarn","text":"\ud83d\ude00!","pattern":"."})",
       R"({"result":true,"reports":[]})"},
      {R"({"call":"QuarnResult","type":-3})", R"({"result":"\ud83d","reports":[]})"},
      {R"({"call":"QuarnResult","type":-1})", R"({"result":"\ude00!","reports":[]})"},
      {R"({"call":"QuarnIndex","type":-1})", R"({"start":2,"length":2,"reports":[]})"},
      {R"({"call":"Quarn","text":"😀!","pattern":"..$"})", R"({"result":true,"reports":[]})"},
      {R"({"call":"QuarnResult","type":-3})", R"({"result":"\ude00!","reports":[]})"},
      {R"({"call":"Quarn","text":"😀!","pattern":"^..."})", R"({"result":true,"reports":[]})"},
      {R"({"call":"QuarnResult","type":-3})", R"({"result":"😀!","reports":[]})"},
  });
}

TEST(QuarnHost, StringsAreEscapedAsJson) {
  ExpectSession({
      {R"({"call":"Quarn","text":"a\"b\\c\u0001\t\u0000","pattern":"\"b\\\\c.\\t\\x00"})",
       R"({"result":true,"reports":[]})"},
      {R"({"call":"QuarnResult","type":-3})", R"({"result":"\"b\\c\u0001\t\u0000","reports":[]})"},
  });
}

TEST(QuarnHost, ABadLineGetsAnErrorAndChangesNothing) {
  const std::vector<std::string> bad = {
      "not json",
      R"({"call":"Quarn","text":"a","pattern":"a"} trailing)",
      R"([1,2])",
      R"("Quarn")",
      R"({"text":"abc","pattern":"b"})",
      R"({"call":"Nope"})",
      R"({"call":3})",
      R"({"call":"Quarn","text":"a"})",
      R"({"call":"Quarn","text":"a","pattern":1})",
      R"({"call":"Quarn","text":"a","pattern":"a","flags":"1"})",
      R"({"call":"Quarn","text":"a","pattern":"a","flags":1.5})",
      R"({"call":"Quarn","text":"a","pattern":"a","flag":1})",
      R"({"call":"QuarnResult"})",
      R"({"call":"QuarnResult","type":null})",
      R"({"call":"QuarnResult","type":2147483648})",
      R"({"call":"QuarnResult","type":-2147483649})",
      R"({"call":"QuarnIndex","type":-3,"start":true})",
      R"({"call":"QuarnIndex","type":-3,"begin":1})",
      "{\"call\":\"Quarn\",\"text\":\"\xFF\",\"pattern\":\"a\"}",
      R"({"call":"Quarn","text":"\ud800","pattern":"a"})",
  };
  std::vector<std::string> calls = {R"({"call":"Quarn","text":"abc","pattern":"b"})"};
  calls.insert(calls.end(), bad.begin(), bad.end());
  calls.push_back(R"({"call":"QuarnResult","type":-3})");
  const RunResult result = RunQuarn({"--host"}, Join(calls));
  EXPECT_EQ(result.status, 0);
  const std::vector<std::string> answers = Lines(result.out);
  ASSERT_EQ(answers.size(), calls.size());
  for (size_t i = 0; i < bad.size(); ++i) {
    const json answer = json::parse(answers[i + 1]);
    ASSERT_TRUE(answer.is_object()) << bad[i];
    EXPECT_EQ(answer.size(), 1u) << bad[i];
    EXPECT_TRUE(answer.contains("error") && answer["error"].is_string()) << bad[i];
  }
  EXPECT_EQ(answers[1], R"j({"error":"not valid JSON (at byte 2)"})j");
  EXPECT_EQ(answers.back(), R"({"result":"b","reports":[]})");
}

// Every fault of a line is answered in our own words, in process, so that an exception that
// escaped would fail the test rather than abort a child.
struct LineFault {
  std::string line;
  std::string error;
};

const std::string kTypeRange =
    R"(member \"type\" must be an integer from -2147483648 to 2147483647)";

TEST(QuarnHost, EveryFaultOfALineIsAnsweredInOurWords) {
  const std::vector<LineFault> faults = {
      {R"({"call":"QuarnIndex","type":1e400})", kTypeRange},
      {R"({"call":"QuarnIndex","type":-1e400})", kTypeRange},
      {R"({"call":"QuarnIndex","type":123456789012345678901234567890})", kTypeRange},
      {R"({"call":"QuarnIndex","type":18446744073709551615})", kTypeRange},
      {R"({"call":"QuarnIndex","type":-2147483649})", kTypeRange},
      {R"({"call":"QuarnIndex","type":-3.0})", kTypeRange},
      {R"({"call":"QuarnIndex","type":[-3]})", kTypeRange},
      {R"({"call":"QuarnIndex","type":-3,"start":{}})",
       R"(member \"start\" must be an integer from -2147483648 to 2147483647)"},
      {R"({"call":"Quarn","text":["a"],"pattern":"a"})", R"(member \"text\" must be a string)"},
      {R"({"call":"Quarn","text":"a","pattern":null})", R"(member \"pattern\" must be a string)"},
      {R"({"call":"Quarn","text":"a"})", R"(missing member \"pattern\")"},
      {R"({"call":"QuarnResult"})", R"(missing member \"type\")"},
      {R"({"call":"Quarn","text":"a","text":"b","pattern":"a"})",
       R"(member \"text\" is given twice)"},
      {R"({"call":"Quarn","text":"a","pattern":"a","extra":{"deep":[]}})",
       R"(unknown member \"extra\")"},
      {R"({"call":"Quarn","text":"a","pattern":"a","extra":1})",
       R"(unknown member \"extra\" in a Quarn call)"},
      {R"({"call":true})", R"(missing member \"call\" (a string))"},
      {R"({"call":"quarn"})", R"(unknown call \"quarn\" (Quarn, QuarnResult or QuarnIndex))"},
      {"1e400", "a call must be a JSON object"},
      {std::string(1000000, '['), "a call must be a JSON object"},
      {R"({"call":"Quarn",)", "not valid JSON (at byte 17)"},
      {R"({"call":"Quarn"}})", "not valid JSON (at byte 17)"},
      {"{\"call\":\"Quarn\",\"text\":\"\xC0\xAF\"}", "not valid JSON (at byte 25)"},
  };
  for (const LineFault& fault : faults) {
    const std::string answer = cli::AnswerHostLine(fault.line);
    EXPECT_EQ(answer, R"({"error":")" + fault.error + R"("})") << fault.line.substr(0, 80);
  }
}

TEST(QuarnHost, AHundredMegabyteLineIsAnswered) {
  // Under the sanitizers (the asan test preset says so) four megabytes, over a hundred times
  // the engine's length limit, make the same point in a fraction of the time.
  const std::string text(std::getenv("QUARN_SANITIZED") ? 4'000'000 : 100'000'000, 'a');
  EXPECT_EQ(cli::AnswerHostLine(R"({"call":"Quarn","pattern":"b","text":")" + text + R"("})"),
            R"({"result":false,"reports":["Error #6: Error in Quarn.FindFirstMatch: Overflow"]})");
  EXPECT_EQ(cli::AnswerHostLine(text), R"j({"error":"not valid JSON (at byte 1)"})j");
}

TEST(QuarnHost, BlankLinesGetNoAnswer) {
  ExpectSession({
      {"", ""},
      {"   \t", ""},
      {R"({"call":"Quarn","text":"abc","pattern":"c"})", R"({"result":true,"reports":[]})"},
      {"\r", ""},
      {R"( {"call":"QuarnIndex","type":-3} )", R"({"start":3,"length":1,"reports":[]})"},
  });
}

TEST(QuarnHost, EachAnswerIsFlushedBeforeTheNextCall) {
  QuarnProcess host({"--host"});
  host.WriteLine(R"({"call":"Quarn","text":"abc","pattern":"b"})");
  EXPECT_EQ(host.ReadLine(10000), R"({"result":true,"reports":[]})");
  host.WriteLine(R"({"call":"QuarnResult","type":-2})");
  EXPECT_EQ(host.ReadLine(10000), R"({"result":"a","reports":[]})");
  host.WriteLine("oops");
  EXPECT_THAT(host.ReadLine(10000), ::testing::StartsWith(R"({"error":)"));
  EXPECT_EQ(host.Finish(), 0);
}

TEST(QuarnHost, AnEmptyInputEndsWithStatusZero) {
  const RunResult result = RunQuarn({"--host"}, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
}

}  // namespace
}  // namespace quarn::cli_test
