// Bracket expressions: members, ranges, escapes, negation, the CR LF member, case folding,
// and the range errors, which are only met when the reading reaches them.
#include <gtest/gtest.h>

#include "support.h"

namespace quarn::testing {
namespace {

const std::string kInvalidRange =
    "Error #20050: Error in Quarn.MatchSquareBrackets: Invalid range in regular expression ";

TEST(Brackets, MembersAndNegation) {
  ExpectAll({
      {u"b", u"[abc]", Matched("b", 1)},
      {u"d", u"[abc]", NoMatch()},
      {u"x", u"x[abc]", NoMatch()},
      {u"d", u"[^abc]", Matched("d", 1)},
      {u"x", u"x[^abc]", NoMatch()},
      {u"a]", u"[]a]+", Matched("a]", 1)},
      {u"]a b", u"[^]a]", Matched(" ", 3)},
      {u"^", u"[a^]", Matched("^", 1)},
      {u"b^", u"[\\^]", Matched("^", 2)},
  });
}

TEST(Brackets, RangesAndTheHyphen) {
  ExpectAll({
      {u"x-", u"[a-]", Matched("-", 2)},
      {u"x-", u"[-a]", Matched("-", 2)},
      {u"d-", u"[a-c-e]", Matched("-", 2)},
      {u"de", u"[a-c-e]", Matched("e", 2)},
      {u"A", u"[--a]", Matched("A", 1)},
      {u"b-", u"[a\\-z]", Matched("-", 2)},
      {u"]", u"[!-\\]]", Matched("]", 1)},
      {u"^", u"[!-\\]]", NoMatch()},
      {u"\u00E8", u"[\u00E0-\u00EF]", Matched("\u00E8", 1)},
      {u"\\", u"[a\\\\]", Matched("\\", 1)},
  });
}

TEST(Brackets, TheLineBreakMember) {
  ExpectAll({
      {u"\r\n", u"^[\\n]$", Matched("\r\n", 1)},
      {u"\r", u"[\\n]", NoMatch()},
      {u"\r\n", u"^[^\\n]", NoMatch()},
      {u"\r\n", u"[^\\n]", Matched("\n", 2)},
      {u"\rx", u"[^\\n]", Matched("\r", 1)},
      {u"\r\n", u"[\\N]", Matched("\r\n", 1)},
      {u"\r\n", u"^\\s$", Matched("\r\n", 1)},
      // The first member that matches decides: CR alone, or the whole CR LF.
      {u"a\r\n", u"a[\\r\\n]$", NoMatch()},
      {u"a\r\n", u"a[\\n\\r]$", Matched("a\r\n", 1)},
  });
}

TEST(Brackets, RangeErrorsAreReportedWhenReached) {
  ExpectAll({
      {u"b", u"[a-\\]]", Reported(kInvalidRange + "[a-\\]]")},
      {u"b", u"[\\n-z]",
       Reported("Error #20050: Error in Quarn.MatchSquareBrackets: Range start or end longer "
                "than 1 character: [\\n-z]")},
      {u"b", u"[a-\\N]",
       Reported("Error #20050: Error in Quarn.MatchSquareBrackets: Range start or end longer "
                "than 1 character: [a-\\N]")},
      {u"q", u"[z-a]", Reported(kInvalidRange + "[z-a]")},
      {u"", u"[z-a]", NoMatch()},
      {u"q", u"[^z-a]", Reported(kInvalidRange + "[z-a]")},
      {u"a", u"[az-a]", Matched("a", 1)},
      {u"b", u"[az-a]", Reported(kInvalidRange + "[az-a]")},
  });
}

TEST(Brackets, CaseFolding) {
  ExpectAll({
      {u"q", u"[A-Z]", NoMatch()},
      {u"q", u"[A-Z]", Matched("q", 1), reIgnoreCase},
      {u"Q", u"[A-Z]", Matched("Q", 1), reIgnoreCase},
      {u"_", u"[Z-a]", Matched("_", 1)},
      {u"_", u"[Z-a]", Reported(kInvalidRange + "[Z-a]"), reIgnoreCase},
      {u"\u00C9", u"[\u00E9]", Matched("\u00C9", 1), reIgnoreCase},
      {u"\u00C9", u"[^\u00E9]", NoMatch(), reIgnoreCase},
  });
}

}  // namespace
}  // namespace quarn::testing
