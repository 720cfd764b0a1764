// The public calls and the match state they share: what a host reads back after each kind
// of call, the refusals, the report texts and the 16-bit limits.
#include <gtest/gtest.h>

#include "support.h"

namespace quarn::testing {
namespace {

struct Span {
  int32_t start;
  int32_t length;
  bool operator==(const Span&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Span& s) {
  return out << "(" << s.start << ", " << s.length << ")";
}

Span Index(int32_t type, Span initial = {0, 0}) {
  QuarnIndex(type, initial.start, initial.length);
  return initial;
}

const std::string kNoStoredMatch = ": No match on last call to Quarn, or Quarn not called at all";
const std::string kBothLineOptions =
    "Error #20053: Error in Quarn.Quarn: Cannot specify both reSingleLine and reMultiline at the "
    "same time.";

TEST(PublicCalls, ResultsOfASimpleMatch) {
  CapturedReports reports;
  ASSERT_TRUE(Quarn(u"abc", u"b", 0));
  EXPECT_EQ(Index(reMatch), (Span{2, 1}));
  EXPECT_EQ(Index(reBeforeMatch), (Span{1, 1}));
  EXPECT_EQ(Index(reAfterMatch), (Span{3, 1}));
  EXPECT_EQ(Text(QuarnResult(reBeforeMatch)), "a");
  EXPECT_EQ(Text(QuarnResult(reMatch)), "b");
  EXPECT_EQ(Text(QuarnResult(reAfterMatch)), "c");
  EXPECT_TRUE(reports.texts.empty());
}

TEST(PublicCalls, EmptyPatternAndEmptySubject) {
  CapturedReports reports;
  ASSERT_TRUE(Quarn(u"abc", u"", 0));
  EXPECT_EQ(Index(reMatch), (Span{1, 0}));
  EXPECT_EQ(Text(QuarnResult(reMatch)), "");
  EXPECT_EQ(Text(QuarnResult(reBeforeMatch)), "");
  EXPECT_EQ(Text(QuarnResult(reAfterMatch)), "abc");

  ASSERT_TRUE(Quarn(u"", u"", 0));
  EXPECT_EQ(Index(reMatch), (Span{1, 0}));
  EXPECT_EQ(Text(QuarnResult(reAfterMatch)), "");
  EXPECT_FALSE(Quarn(u"", u"a", 0));
  EXPECT_TRUE(reports.texts.empty());
}

TEST(PublicCalls, AMatchAtTheEndLeavesAnEmptyAfterText) {
  CapturedReports reports;
  ASSERT_TRUE(Quarn(u"abc", u"c", 0));
  EXPECT_EQ(Index(reAfterMatch), (Span{4, 0}));
  EXPECT_EQ(Text(QuarnResult(reAfterMatch)), "");
}

TEST(PublicCalls, ConflictingOptionsKeepThePreviousState) {
  CapturedReports reports;
  ASSERT_TRUE(Quarn(u"xyz", u"y", 0));
  EXPECT_TRUE(Quarn(u"other", u"q", reSingleLine | reMultiline));
  EXPECT_EQ(Text(QuarnResult(reMatch)), "y");
  EXPECT_EQ(Text(QuarnResult(reAfterMatch)), "z");

  ASSERT_FALSE(Quarn(u"xyz", u"q", 0));
  EXPECT_FALSE(Quarn(u"q", u"q", reSingleLine | reMultiline | reIgnoreCase));
  EXPECT_EQ(reports.texts, (std::vector<std::string>{kBothLineOptions, kBothLineOptions}));
}

TEST(PublicCalls, OtherOptionBitsAreIgnored) {
  CapturedReports reports;
  EXPECT_TRUE(Quarn(u"ABC", u"b", reIgnoreCase | 8 | 0x40000000));
  EXPECT_FALSE(Quarn(u"ABC", u"b", 8));
  EXPECT_TRUE(reports.texts.empty());
}

TEST(PublicCalls, ResultsAreRefusedWithoutAStoredMatch) {
  CapturedReports reports;
  ASSERT_FALSE(Quarn(u"abc", u"x", 0));
  EXPECT_EQ(QuarnResult(reMatch), ResultValue{});
  EXPECT_EQ(Index(reMatch, {77, 88}), (Span{77, 88}));
  EXPECT_EQ(reports.texts, (std::vector<std::string>{
                               "Error #20051: Error in Quarn.QuarnResult" + kNoStoredMatch,
                               "Error #20051: Error in Quarn.QuarnIndex" + kNoStoredMatch,
                           }));
}

TEST(PublicCalls, BadResultTypesAreReportedOnceByQuarnIndex) {
  CapturedReports reports;
  ASSERT_TRUE(Quarn(u"ab", u"(a)(b)", 0));
  for (const int32_t type : {5, 32, -4}) {
    EXPECT_EQ(QuarnResult(type), ResultValue{});
    EXPECT_EQ(Index(type, {-7, 9}), (Span{-7, 9}));
  }
  const std::string five =
      "Error #20053: Error in Quarn.QuarnIndex: No match stored for regular sub-expression #5";
  const std::string invalid =
      "Error #20053: Error in Quarn.QuarnIndex: Invalid value, parameter "
      "ResultType = ";
  EXPECT_EQ(reports.texts, (std::vector<std::string>{five, five, invalid + "32", invalid + "32",
                                                     invalid + "-4", invalid + "-4"}));
}

TEST(PublicCalls, SubexpressionCountAndGroupsThatTookNoPart) {
  CapturedReports reports;
  ASSERT_TRUE(Quarn(u"b", u"(a)|b", 0));
  EXPECT_EQ(Index(1, {5, 5}), (Span{0, 0}));
  EXPECT_EQ(QuarnResult(1), ResultValue{});
  EXPECT_EQ(QuarnResult(reSubexprCount), ResultValue{int16_t{1}});
  EXPECT_EQ(Index(reSubexprCount), (Span{1, 1}));

  ASSERT_TRUE(Quarn(u"b", u"b", 0));
  EXPECT_EQ(QuarnResult(reSubexprCount), ResultValue{});
  EXPECT_EQ(Index(reSubexprCount, {5, 5}), (Span{0, 0}));
  EXPECT_TRUE(reports.texts.empty());
}

TEST(PublicCalls, AFaultyPatternLeavesNoStoredMatch) {
  CapturedReports reports;
  ASSERT_TRUE(Quarn(u"abc", u"b", 0));
  EXPECT_FALSE(Quarn(u"abc", u"x{3,1}", 0));
  EXPECT_EQ(QuarnResult(reMatch), ResultValue{});
  EXPECT_EQ(reports.texts, (std::vector<std::string>{
                               "Error #20050: Error in Quarn.DoQuarn: Upper limit is less "
                               "than lower limit in regular expression {3,1}",
                               "Error #20051: Error in Quarn.QuarnResult" + kNoStoredMatch}));
}

TEST(PublicCalls, ThirtyOneGroupsAreTheLimit) {
  std::u16string pattern;
  std::u16string text;
  for (int i = 0; i < 31; ++i) {
    pattern += u"(.)";
    text += static_cast<char16_t>(u'A' + i);
  }
  CapturedReports reports;
  ASSERT_TRUE(Quarn(text, pattern, 0));
  EXPECT_EQ(QuarnResult(reSubexprCount), ResultValue{int16_t{31}});
  EXPECT_EQ(Text(QuarnResult(31)), std::string(1, static_cast<char>('A' + 30)));

  EXPECT_FALSE(Quarn(text + u"!", pattern + u"(!)", 0));
  EXPECT_EQ(reports.texts, (std::vector<std::string>{"Error #20052: Error in Quarn.CreateMatch: "
                                                     "Too many subexpressions in regular "
                                                     "expression (max 31)."}));
  // The count stood at 32 after that error; the next search starts clean.
  EXPECT_TRUE(Quarn(u"xay", u"(a)", 0));
  EXPECT_EQ(Index(1), (Span{2, 1}));
  EXPECT_EQ(reports.texts.size(), 1u);
}

TEST(PublicCalls, SixteenBitLimitsOfSubjectAndPattern) {
  const std::string scanOverflow = "Error #6: Error in Quarn.FindFirstMatch: Overflow";
  const std::u16string longest(32766, u'a');
  EXPECT_EQ(Search(longest + u"b", u""), Reported(scanOverflow));
  EXPECT_EQ(Search(longest, u"b"), Reported(scanOverflow));
  EXPECT_EQ(Search(longest, u"a$"), Matched("a", 32766));
  EXPECT_EQ(Search(longest.substr(1), u"b"), NoMatch());

  const std::u16string pattern(32767, u'x');
  EXPECT_EQ(Search(u"abc", pattern), NoMatch());
  EXPECT_EQ(Search(u"abc", pattern + u"x"),
            Reported("Error #6: Error in Quarn.ExpandEspaces: Overflow"));
}

TEST(PublicCalls, MultipliedAtomsCostNoMemory) {
  // Rewritten, these would be texts of 60 million characters; the search never builds them.
  const std::u16string atom = u"(?:" + std::u16string(2000, u'a') + u")";
  EXPECT_EQ(Search(u"b", atom + u"{30000}"), NoMatch());
  EXPECT_EQ(Search(std::u16string(2100, u'a'), atom + u"{30000}"),
            Reported("Error #20052: Error in Quarn.DoQuarn: Maximum number of iterations "
                     "exceeded. Possibly an infinite loop."));
}

TEST(PublicCalls, Utf8EntryPointDecodesStrictly) {
  CapturedReports reports;
  ASSERT_TRUE(Quarn("caf\xC3\xA9 \xF0\x9F\x98\x80!", "\xC3\xA9 (..)", 0));
  EXPECT_EQ(std::get<std::string>(QuarnResultUtf8(reMatch)), "\xC3\xA9 \xF0\x9F\x98\x80");
  EXPECT_EQ(Index(1), (Span{6, 2}));  // the emoji is two 16-bit units

  EXPECT_TRUE(Quarn("x\xF0\x9F\x98\x80", "x.", 0));  // half of a surrogate pair
  EXPECT_EQ(std::get<std::string>(QuarnResultUtf8(reMatch)), "x\xEF\xBF\xBD");
  EXPECT_EQ(QuarnResultUtf8(reSubexprCount), ResultValueUtf8{});

  EXPECT_FALSE(Quarn("ab\xC3", "a", 0));
  EXPECT_FALSE(Quarn("abc", "a\xC0\xAF", 0));
  EXPECT_EQ(QuarnResultUtf8(reMatch), ResultValueUtf8{});
  ASSERT_TRUE(Quarn("abc", "b", 0));
  EXPECT_TRUE(Quarn("\xFF", "\xFF", reSingleLine | reMultiline));  // the options come first
  EXPECT_EQ(reports.texts,
            (std::vector<std::string>{
                "Error #20055: Error in Quarn.Quarn: Invalid UTF-8 in the text at byte 2",
                "Error #20055: Error in Quarn.Quarn: Invalid UTF-8 in the regular expression at "
                "byte 1",
                "Error #20051: Error in Quarn.QuarnResult" + kNoStoredMatch,
                kBothLineOptions,
            }));
}

TEST(PublicCalls, ReportsCarryNumberSourceDescriptionAndKind) {
  CapturedReports reports;
  Quarn(u"a", u"(?i)", 0);
  ASSERT_EQ(reports.errors.size(), 1u);
  EXPECT_EQ(reports.errors[0].Number, 20052);
  EXPECT_EQ(reports.errors[0].Kind, ErrorKind::kPatternSyntax);
  EXPECT_EQ(U8(reports.errors[0].Source), "engine_tests.Quarn");
  EXPECT_EQ(U8(reports.errors[0].Description),
            "Error in Quarn.ProcessParentheses: Invalid extended regular expression syntax: (?i)");
  // The same number from the depth limit, and 6 from a count and from the subject's length.
  Quarn(std::u16string(600, u'a'), u"a*", 0);
  Quarn(u"a", u"a{40000}", 0);
  Quarn(std::u16string(40000, u'a'), u"b", 0);
  int32_t start = 0;
  int32_t length = 0;
  QuarnIndex(reMatch, start, length);
  ASSERT_TRUE(Quarn(u"a", u"a", 0));
  QuarnIndex(40, start, length);
  ASSERT_EQ(reports.errors.size(), 6u);
  EXPECT_EQ(reports.errors[1].Kind, ErrorKind::kDepthLimit);
  EXPECT_EQ(reports.errors[2].Kind, ErrorKind::kOverflow);
  EXPECT_EQ(reports.errors[3].Kind, ErrorKind::kSubjectLength);
  EXPECT_EQ(reports.errors[4].Kind, ErrorKind::kNoStoredMatch);
  EXPECT_EQ(reports.errors[5].Kind, ErrorKind::kInvalidArgument);
}

TEST(PublicCalls, DefaultReporterWritesOneLineToStandardError) {
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(Quarn(u"abc", u"[z-a]", 0));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Error #20050: Error in Quarn.MatchSquareBrackets: Invalid range in regular "
            "expression [z-a]\n");
}

TEST(PublicCalls, AThrowingReporterDoesNotReachTheHost) {
  const ErrorReporter previous =
      SetErrorReporter([](const EngineError&, std::u16string_view) { throw 42; });
  EXPECT_FALSE(Quarn(u"abc", u"x{3,1}", 0));
  EXPECT_EQ(QuarnResult(reMatch), ResultValue{});
  SetErrorReporter(previous);
}

}  // namespace
}  // namespace quarn::testing
