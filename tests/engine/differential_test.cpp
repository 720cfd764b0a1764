// The engine against the rewriting reference, call by call, on generated cases over the
// whole pattern language: well-formed and malformed patterns, every brace form, markers,
// lookaheads, back references, CR LF, all options and their conflict, state carried from one
// call to the next, and subjects near the depth and length limits; then back references in
// repeated groups, searched with lowered depth limits and failures remembered from the first
// step. Every answer and every report must be the same; a case where the reference runs out
// of memory or of its call budget gives no verdict. Failing cases found by fuzzing are kept
// in the regression file.
//
// The analysis of each pattern is checked against the same searches: every fault that a search
// reports is among the pattern's diagnostics, with its number and text, and a subject that
// the pattern's facts say cannot match gets "no match" from the reference, without a report.
//
// Every generated subject is also searched as 8-bit text, which the engine reads byte by byte:
// as ASCII UTF-8 (a subject with other characters in an ASCII form of its own) and, when all
// of it is below U+0100, as Latin-1. Each answer must be that of the UTF-16 text, unit for
// unit, down to the depth reached and the steps taken.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>

#include "compare.h"
#include "edges.h"
#include "program.h"
#include "quarn/pattern.h"
#include "quarn/quarn.h"
#include "quarn/utf.h"
#include "search.h"

namespace quarn::testing {
namespace {

using reference::Call;
using reference::Verdict;

constexpr uint64_t kCallBudget = 200000;

// Under the sanitizers every call is several times slower; fewer and smaller cases keep the
// run short and still reach every path.
bool Sanitized() {
  return std::getenv("QUARN_SANITIZED") != nullptr;
}

class Generator {
 public:
  // With edges, subjects and patterns also hold characters of two units and lone surrogates.
  explicit Generator(uint32_t seed, bool edges = false) : random_(seed), edges_(edges) {}

  std::vector<Call> Case() {
    std::vector<Call> calls(Chance(4) ? 2 + Pick(2) : 1);
    for (Call& call : calls) {
      call.pattern = Chance(5) ? Soup() : Pattern(0);
      call.text = Subject();
      call.flags = Flags();
      if (!calls.empty() && Chance(4)) call.pattern = calls[0].pattern;
    }
    return calls;
  }

  // One search where back references stand inside and after repeated groups, on a subject of
  // few letters so that they often match, with a depth limit that small cases can reach.
  std::pair<Call, uint32_t> ReferenceSearch() {
    int groups = 0;
    const std::u16string pattern = ReferencePattern(0, groups);
    const Call call{Letters(), pattern, Chance(8) ? quarn::reIgnoreCase : 0};
    return {call, Chance(3) ? 1000 : 12 + static_cast<uint32_t>(Pick(70))};
  }

 private:
  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }
  bool Chance(size_t oneIn) { return Pick(oneIn) == 0; }
  template <typename T>
  const T& OneOf(const std::vector<T>& items) {
    return items[Pick(items.size())];
  }

  int32_t Flags() {
    if (Chance(20)) return 6;                     // refused: the previous state stays
    if (Chance(20)) return 8 + int32_t(Pick(4));  // bits without a meaning
    return OneOf<int32_t>({0, 0, 0, 1, 2, 4, 5, 3});
  }

  // Characters of two units, lone halves, and the ends of the planes.
  std::u16string EdgeCharacter() {
    static const std::vector<std::u16string> characters = {u"\U0001F600",
                                                           u"\U00010000",
                                                           u"\U0010FFFF",
                                                           std::u16string(1, char16_t{0xD83D}),
                                                           std::u16string(1, char16_t{0xDE00}),
                                                           u"\uE000",
                                                           u"\uFFFF",
                                                           u"\u20AC"};
    return OneOf(characters);
  }

  std::u16string Subject() {
    std::u16string text = PlainSubject();
    if (!edges_ || text.size() > 100) return text;
    for (size_t i = 0, n = Pick(4); i < n; ++i)
      text.insert(Pick(text.size() + 1), EdgeCharacter());
    return text;
  }

  std::u16string PlainSubject() {
    const size_t kind = Pick(40);
    if (kind == 0) return std::u16string(495 + Pick(10), u'a');   // around the depth limit
    if (kind == 1) return std::u16string(32764 + Pick(4), u'a');  // around the length limit
    if (kind == 2) {
      std::u16string repeated;
      for (size_t i = 0, n = 1 + Pick(40); i < n; ++i)
        repeated += OneOf<std::u16string>({u"ab", u"a", u"\r\n", u"aab"});
      return repeated;
    }
    static const std::u16string alphabet = u"aabbcAB1_- .\r\n\r\n\t\u00E9\u00FF\u0178x";
    std::u16string text(Pick(kind < 10 ? 40 : 12), u' ');
    for (char16_t& c : text)
      c = alphabet[Pick(alphabet.size())];
    return text;
  }

  // Characters that mean something somewhere in the language, in any order.
  std::u16string Soup() {
    static const std::u16string alphabet =
        u"ab()[]{}|*+?.^$\\-,0123wWdDsSbBnNAZQEcx:=!#\r\n\t\u00E9";
    std::u16string pattern(Pick(14), u' ');
    for (char16_t& c : pattern)
      c = alphabet[Pick(alphabet.size())];
    return pattern;
  }

  std::u16string Pattern(int depth) {
    std::u16string pattern = Sequence(depth);
    while (Chance(5))
      pattern += u"|" + Sequence(depth);
    return pattern;
  }

  std::u16string Sequence(int depth) {
    std::u16string sequence;
    for (size_t i = 0, n = Pick(5); i < n; ++i)
      sequence += Atom(depth) + (Chance(3) ? Quantifier() : u"");
    return sequence;
  }

  std::u16string Quantifier() {
    static const std::vector<std::u16string> quantifiers = {
        u"*",     u"+",      u"?",      u"*?",      u"+?",      u"??",    u"{2}",   u"{0}",
        u"{1,3}", u"{,2}",   u"{2,}",   u"{0,}",    u"{3,1}",   u"{-1}",  u"{x}",   u"{}",
        u"{2.5}", u"{1,2}?", u"{2}?",   u"{0,0}",   u"**",      u"{2}*",  u"{",     u"{ 2 }",
        u"{,}",   u"{-1,}",  u"{1,-2}", u"{40000}", u"{32767}", u"{498}", u"{999,}"};
    return OneOf(quantifiers);
  }

  std::u16string Atom(int depth) {
    if (edges_ && Chance(8)) {
      return Chance(3) ? u"[" + EdgeCharacter() + u"a]" : EdgeCharacter();
    }
    static const std::vector<std::u16string> simple = {
        u"a",     u"b",    u"a",      u"c",         u"A",      u".",    u"^",    u"$",
        u"\\w",   u"\\W",  u"\\d",    u"\\D",       u"\\s",    u"\\S",  u"\\b",  u"\\B",
        u"\\A",   u"\\Z",  u"\\n",    u"\\t",       u"\\r",    u"\\.",  u"\\\\", u"\\x41",
        u"\\x4g", u"\\xg", u"\\0101", u"\\08",      u"\\0400", u"\\cA", u"\\c?", u"\\c",
        u"\\1",   u"\\2",  u"\\3",    u"\\Qa.b\\E", u"\\Q(",   u"\r",   u"\n",   u")",
        u"]",     u"}",    u"\u00E9", u"\\f",       u"\\e",    u"\\N",  u"\\",   u"x{[}\\s]"};
    const size_t kind = Pick(depth < 3 ? 10 : 6);
    if (kind <= 4) return OneOf(simple);
    if (kind == 5) return Bracket();
    static const std::vector<std::u16string> opens = {u"(",   u"(",   u"(?:", u"(?=",
                                                      u"(?!", u"(?#", u"(?i", u"(?:"};
    std::u16string group = OneOf(opens) + Pattern(depth + 1);
    return Chance(15) ? group : group + u")";  // sometimes never closed
  }

  std::u16string Letters() {
    std::u16string text(Pick(13), u'a');
    for (char16_t& c : text)
      c = OneOf<char16_t>({u'a', u'a', u'b', u'b', u'A', u'c'});
    return text;
  }

  // A sequence of letters, groups and back references to the groups numbered so far (or
  // sometimes the next one); most groups repeat, and a back reference often follows them.
  std::u16string ReferencePattern(int depth, int& groups) {
    std::u16string pattern;
    for (size_t i = 0, n = 1 + Pick(3); i < n; ++i)
      pattern += ReferenceAtom(depth, groups);
    if (depth == 0 && groups > 0 && Chance(2)) {
      pattern += Reference(groups) + OneOf<std::u16string>({u"", u"b", u"$"});
    }
    return Chance(8) ? pattern + u"|" + ReferencePattern(depth, groups) : pattern;
  }

  // A back reference to a group numbered so far, sometimes to the next one.
  std::u16string Reference(int groups) {
    const size_t n = groups == 0 || Chance(10) ? groups + 1 : 1 + Pick(groups);
    return u"\\" + std::u16string(1, static_cast<char16_t>(u'0' + n));
  }

  std::u16string ReferenceAtom(int depth, int& groups) {
    const size_t kind = Pick(depth < 2 && groups < 3 ? 8 : 5);
    if (kind <= 2) {
      return OneOf<std::u16string>({u"a", u"b", u"c", u".", u"[ab]", u"\\w"}) +
             OneOf<std::u16string>({u"", u"", u"*", u"+", u"?", u"*?"});
    }
    if (kind <= 4) return groups > 0 ? Reference(groups) : u"a";
    std::u16string open = OneOf<std::u16string>({u"(", u"(", u"(", u"(?:", u"(?=", u"(?!"});
    if (open == u"(") ++groups;
    std::u16string group = open + ReferencePattern(depth + 1, groups) + u")";
    return Chance(4) ? group : group + ReferenceQuantifier();
  }

  std::u16string ReferenceQuantifier() {
    return OneOf<std::u16string>(
        {u"*", u"+", u"*", u"+", u"?", u"*?", u"+?", u"{2}", u"{0,2}", u"{1,}"});
  }

  std::u16string Bracket() {
    static const std::vector<std::u16string> members = {
        u"a",   u"b",   u"a-c", u"z-a", u"\\n", u"\\N", u"\\]", u"-",   u"^",      u"\\d",   u"\\w",
        u"\\s", u"\\b", u"\r",  u"\\r", u"A-Z", u"(",   u")",   u"\\-", u"\u00E9", u"\\n-z", u"]"};
    std::u16string bracket = Chance(3) ? u"[^" : u"[";
    for (size_t i = 0, n = Pick(4); i < n; ++i)
      bracket += OneOf(members);
    return Chance(20) ? bracket : bracket + u"]";
  }

  std::mt19937 random_;
  bool edges_;
};

// The calls, then both transcripts from a few lines before their first difference.
std::string Failure(const std::vector<Call>& calls, const reference::Comparison& c) {
  std::string message = "calls:";
  for (const Call& call : calls)
    message += "\n  " + reference::Describe(call);
  size_t same = 0;
  for (size_t i = 0; i < std::min(c.engine.size(), c.reference.size()); ++i) {
    if (c.engine[i] != c.reference[i]) break;
    if (c.engine[i] == '\n') same = i + 1;
  }
  const size_t from = c.engine.rfind('\n', same >= 2 ? same - 2 : 0);
  const size_t start = from == std::string::npos ? 0 : from + 1;
  auto excerpt = [&](const std::string& t) { return t.substr(start, 600); };
  return message + "\nengine:\n" + excerpt(c.engine) + "\nreference:\n" + excerpt(c.reference);
}

void ExpectAnalysesAgree(const std::vector<Call>& calls, const reference::Comparison& c,
                         reference::AnalysisTally& tally) {
  const std::string disagreement = reference::CheckAnalyses(calls, c, tally);
  EXPECT_TRUE(disagreement.empty()) << disagreement;
}

// Cases that once answered differently, from fuzzing and from reports: one call a line,
// cases separated by blank lines.
std::vector<std::vector<Call>> RegressionCases() {
  std::ifstream file(QUARN_DIFFERENTIAL_REGRESSIONS);
  std::vector<std::vector<Call>> cases(1);
  for (std::string line; std::getline(file, line);) {
    if (line.empty()) {
      if (!cases.back().empty()) cases.emplace_back();
    } else if (line[0] != '#') {
      const std::optional<Call> call = reference::ParseRegressionLine(line);
      EXPECT_TRUE(call) << "unreadable line: " << line;
      if (call) cases.back().push_back(*call);
    }
  }
  if (cases.back().empty()) cases.pop_back();
  return cases;
}

TEST(Differential, RegressionCasesAnswerLikeTheReference) {
  const std::vector<std::vector<Call>> cases = RegressionCases();
  ASSERT_FALSE(cases.empty());
  reference::AnalysisTally tally;
  for (const std::vector<Call>& calls : cases) {
    const reference::Comparison c = reference::Compare(calls, 0);
    EXPECT_EQ(c.verdict, Verdict::kSame) << Failure(calls, c);
    ExpectAnalysesAgree(calls, c, tally);
  }
}

TEST(Differential, GeneratedCasesAnswerLikeTheReference) {
  Generator generator(20261208);
  int compared = 0;
  int noVerdict = 0;
  reference::AnalysisTally tally;
  int latin1 = 0;
  for (int i = 0, cases = Sanitized() ? 4000 : 20000; i < cases; ++i) {
    const std::vector<Call> calls = generator.Case();
    for (const Call& call : calls) {
      ASSERT_EQ(reference::CheckEightBit(call), "");
      latin1 += reference::IsLatin1(call.text) ? 1 : 0;
    }
    const reference::Comparison c = reference::Compare(calls, kCallBudget);
    if (c.verdict == Verdict::kNoVerdict) {
      ++noVerdict;
      continue;
    }
    ++compared;
    ASSERT_EQ(c.verdict, Verdict::kSame) << Failure(calls, c);
    ExpectAnalysesAgree(calls, c, tally);
  }
  // The comparison means something only when nearly every case got a verdict, and the
  // analysis checks only when both of their sides occur often.
  EXPECT_LT(noVerdict, compared / 50) << noVerdict << " without a verdict";
  EXPECT_GT(tally.faults, compared / 20) << "faults reported";
  EXPECT_GT(tally.skipped, compared / 20) << "searches the facts skip";
  // Most subjects are below U+0100, so that the Latin-1 check runs on them.
  EXPECT_GT(latin1, compared / 2);
}

// Back references make a failure depend on the captures they read, which remembered failures
// must take into account. The engine remembers from the first step too, so that every small
// case exercises it.
TEST(Differential, BackReferencesInRepeatedGroupsLikeTheReference) {
  Generator generator(20261209);
  int compared = 0;
  int noVerdict = 0;
  for (int i = 0, cases = Sanitized() ? 2500 : 10000; i < cases; ++i) {
    const auto [call, depth] = generator.ReferenceSearch();
    const reference::Comparison c = reference::CompareSearch(call, depth, kCallBudget);
    if (c.verdict == Verdict::kNoVerdict) {
      ++noVerdict;
      continue;
    }
    ++compared;
    ASSERT_EQ(c.engine, c.reference) << reference::Describe(call) << " depth " << depth;
  }
  EXPECT_LT(noVerdict, compared / 50) << noVerdict << " without a verdict";
}

// Each pattern reaches one step at one place twice, with other captures of a group that a
// back reference in it reads: the first visit fails and the second leads to the match.
TEST(Differential, RememberedFailuresTellCapturesApart) {
  const std::vector<Call> calls = {
      {u"aabac", u"(a+)[ab]*(?:b)\\1c", 0},      // the group ends elsewhere
      {u"aabaab", u"[ab]*(a+(?:b))\\1", 0},      // the open group began elsewhere
      {u"aabaab", u"(b)?[ab]*(a+(?:b))\\2", 0},  // the second of two groups
  };
  for (const Call& call : calls) {
    const reference::Comparison c = reference::CompareSearch(call, 1000, kCallBudget);
    EXPECT_EQ(c.engine, c.reference) << reference::Describe(call);
    EXPECT_TRUE(c.reference.starts_with("[")) << reference::Describe(call) << ": " << c.reference;
  }
}

// A deep search, or one that remembers many failures, gives its scratch back when it ends,
// with the same answer as before; a small one keeps what it has for the next.
TEST(Differential, ASearchGivesBackTheScratchOfItsPeak) {
  struct Case {
    std::u16string pattern;
    std::u16string text;
    uint32_t depth;
    std::string answer;
  };
  const std::vector<Case> cases = {
      {u"(?:x|y)*", std::u16string(400000, u'x'), 10000000, "[0,400000)"},  // a frame a level
      {u"(a|aa)+\\1c", std::u16string(20000, u'a'), 10000000, "no match"},  // a large memo
      {u"b+", u"abbbc", 1000, "[1,4)"},
  };
  for (const Case& c : cases) {
    const Program program(c.pattern, 0);
    SearchLimits limits;
    limits.depth = c.depth;
    limits.subjectLength = UINT32_MAX;
    MatchState state;
    for (int round = 0; round < 2; ++round) {  // the second search starts from what is left
      const SearchOutcome o = state.Search(program, c.text, 0, limits);
      const std::string answer =
          o.status == SearchStatus::kMatched
              ? "[" + std::to_string(o.matchStart) + "," + std::to_string(o.matchEnd) + ")"
          : o.status == SearchStatus::kNoMatch ? "no match"
                                               : "error " + std::to_string(o.error->number);
      EXPECT_EQ(answer, c.answer) << reference::Describe({c.text.substr(0, 8), c.pattern, 0});
      EXPECT_LE(state.HeldBytes(), MatchState::kKeptScratch) << answer;
      if (c.text.size() < 10) {
        EXPECT_GT(state.HeldBytes(), 0u);
      }
    }
  }
}

// A whole match must end at the end of the text, while the inside of a lookahead may end
// anywhere, so a step that failed outside a lookahead for want of the end may succeed inside
// one. Whole and anchored searches remembering failures from the first step must answer as
// those that remember none (as small cases do).
TEST(Differential, WholeMatchesRememberFailuresInsideLookaheadsApart) {
  auto answer = [](const Program& program, std::u16string_view text, Anchor anchor, bool atOnce) {
    SearchLimits limits;
    limits.anchor = anchor;
    limits.depth = 200;
    limits.rememberAtOnce = atOnce;
    MatchState state;
    const SearchOutcome o = state.Search(program, text, 0, limits);
    if (o.status == SearchStatus::kError) return "error " + std::to_string(o.error->number);
    if (o.status == SearchStatus::kNoMatch) return std::string("no match");
    return "[" + std::to_string(o.matchStart) + "," + std::to_string(o.matchEnd) + ")";
  };
  // The tail's repetition fails at 1 short of the end, then the lookahead's inside, the same
  // text, is tried there.
  const Program tail(u"(?:y|y(?=(?:a|b)+)ab!)(?:a|b)*", 0);
  EXPECT_EQ(answer(tail, u"yab!", Anchor::kWhole, true), "[0,4)");
  EXPECT_EQ(answer(tail, u"yab!", Anchor::kWhole, false), "[0,4)");

  Generator generator(20261210);
  for (int i = 0; i < (Sanitized() ? 1000 : 5000); ++i) {
    const auto [call, depth] = generator.ReferenceSearch();
    const Program program(call.pattern, call.flags);
    if (program.Error()) continue;
    for (const Anchor anchor : {Anchor::kWhole, Anchor::kStart}) {
      ASSERT_EQ(answer(program, call.text, anchor, true), answer(program, call.text, anchor, false))
          << reference::Describe(call) << " anchored "
          << (anchor == Anchor::kWhole ? "at both ends" : "at the start");
    }
  }
}

// The pattern's text as it can stand inside "(?:...)", as callers once wrapped it to constrain
// a match's edges, or nothing where it cannot: a ")" that closes nothing would close the
// group, "\Q" would quote past it, and a final backslash would escape its ")".
std::optional<std::u16string> EnclosedText(std::u16string_view pattern) {
  std::u16string out;
  int depth = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'\\') {
      if (i + 1 == pattern.size()) return std::nullopt;
      if (pattern[i + 1] == u'Q') {
        const size_t end = pattern.find(u"\\E", i + 2);
        if (end == std::u16string_view::npos) return out.append(pattern.substr(i)).append(u"\\E");
        out.append(pattern.substr(i, end + 2 - i));
        i = end + 1;
        continue;
      }
      out.append(pattern.substr(i, 2));
      ++i;
      continue;
    }
    if (c == u'[') {  // "]" first in a bracket expression is a member
      size_t j = i + 1;
      if (j < pattern.size() && pattern[j] == u'^') ++j;
      if (j < pattern.size() && pattern[j] == u']') ++j;
      while (j < pattern.size() && pattern[j] != u']')
        j += pattern[j] == u'\\' ? 2 : 1;
      if (j >= pattern.size()) return std::nullopt;
      out.append(pattern.substr(i, j + 1 - i));
      i = j;
      continue;
    }
    if (c == u'(' && pattern.substr(i, 3) == u"(?#") {
      const size_t end = pattern.find(u')', i);
      if (end == std::u16string_view::npos) return std::nullopt;
      out.append(pattern.substr(i, end + 1 - i));
      i = end;
      continue;
    }
    if (c == u'(') ++depth;
    if (c == u')') {
      if (depth == 0) {
        out.append(u"\\)");
        continue;
      }
      --depth;
    }
    out += c;
  }
  return out;
}

// A search's answer in the form of CompareSearch's transcripts.
std::string Answered(const quarn::SearchResult& r) {
  if (r.error()) return "report " + r.error()->report();
  if (!r) return "no match";
  std::string answer;
  for (int n = 0; n <= r.match().groupCount(); ++n) {
    const auto& s = r.match().span(n);
    answer += s ? "[" + std::to_string(s->start) + "," + std::to_string(s->end) + ") " : "- ";
  }
  return answer;
}

// Where the reference's match begins, when it found one.
std::optional<size_t> MatchStart(const std::string& answer) {
  if (!answer.starts_with("[")) return std::nullopt;
  return std::stoul(answer.substr(1));
}

// Matches on a whole line or word against the reference searching the pattern's text wrapped
// between the same assertions, for every generated pattern that compiles and whose text can be
// wrapped: the match, the groups, the reports and the depth reached must be the same. A word match
// that begins inside a word is passed over by the engine for a later one, which the
// reference's one search cannot follow: there the engine's match, if any, must begin later.
TEST(Differential, MatchesWithEdgesAnswerLikeTheWrappedPattern) {
  Generator generator(20261211);
  std::mt19937 random(17);
  int compared = 0;
  int unwrappable = 0;
  int insideWord = 0;
  for (int i = 0, cases = Sanitized() ? 1500 : 6000; i < cases; ++i) {
    const Call call = generator.Case()[0];
    const std::optional<std::u16string> inner = EnclosedText(call.pattern);
    if (!Pattern(call.pattern, call.flags).ok() || !inner ||
        !Pattern(u"(?:" + *inner + u")", call.flags).ok()) {
      ++unwrappable;
      continue;
    }
    const uint32_t depth = random() % 3 == 0 ? 20 + random() % 200 : 1000;
    quarn::Limits limits;
    limits.depth = depth;
    for (const quarn::Edges edges : {quarn::Edges::kLine, quarn::Edges::kWord}) {
      const bool line = edges == quarn::Edges::kLine;
      const Call wrapped{call.text,
                         line ? u"\\A(?:" + *inner + u")\\Z" : u"(?:" + *inner + u")(?!\\w)",
                         call.flags};
      const reference::Comparison c = reference::CompareSearch(wrapped, depth, kCallBudget);
      if (c.verdict == Verdict::kNoVerdict) continue;
      const Pattern edged(call.pattern, call.flags, edges);
      const quarn::SearchResult result = edged.search(call.text, 0, limits);
      const std::string answer = Answered(result);
      const std::optional<size_t> start = MatchStart(c.reference);
      if (!line && start && *start > 0 &&
          IsWordCharacter(call.text[*start - 1], (call.flags & quarn::reIgnoreCase) != 0)) {
        ++insideWord;  // passed over: what follows, if anything, begins later
        const std::optional<size_t> later = MatchStart(answer);
        ASSERT_TRUE(!later || *later > *start) << reference::Describe(call) << ": " << answer;
        continue;
      }
      ++compared;
      ASSERT_EQ(answer, c.reference)
          << (line ? "line " : "word ") << reference::Describe(call) << " depth " << depth;
      // The depth a search reached, which the limit is checked against: that of the engine
      // searching the wrapped text, which the other tests hold to the reference.
      ASSERT_EQ(result.depth(),
                Pattern(wrapped.pattern, call.flags).search(call.text, 0, limits).depth())
          << (line ? "line " : "word ") << reference::Describe(call);
    }
  }
  EXPECT_GT(compared, unwrappable);
  EXPECT_LT(insideWord, compared / 5);
}

// A case as a line for the regression file, or cut short when it is too long to read.
std::string Shown(const Call& call) {
  const std::string line = reference::RegressionLine(call);
  return line.size() <= 4000 ? line : line.substr(0, 4000) + "...";
}

// Every entry point must give the same answer: the modern API and the legacy call, UTF-8 and
// UTF-16 from every start, C and C++, matches() and its chain of searches, replace and split,
// and searches with lowered limits (see edges.h).
TEST(Differential, EveryEntryPointAgreesAtTheEdges) {
  Generator generator(20261209, true);
  std::mt19937 random(16);
  int checked = 0;
  int noVerdict = 0;
  for (int i = 0, cases = Sanitized() ? 1000 : 5000; i < cases; ++i) {
    const Call call = generator.Case()[0];
    const reference::EdgeLimits lowered{static_cast<uint32_t>(10 + random() % 300),
                                        1 + random() % 3000};
    const reference::EdgeVerdict verdict = reference::CheckEdges(call, lowered);
    if (!verdict.checked) {
      ++noVerdict;
      continue;
    }
    ++checked;
    ASSERT_EQ(verdict.failure.substr(0, 2000), "") << Shown(call);
  }
  EXPECT_LT(noVerdict, checked / 50) << noVerdict << " without a verdict";
}

TEST(Differential, RegressionCasesAgreeAtTheEdges) {
  for (const std::vector<Call>& calls : RegressionCases()) {
    for (const Call& call : calls) {
      const reference::EdgeVerdict verdict = reference::CheckEdges(call, {64, 500});
      EXPECT_EQ(verdict.failure.substr(0, 2000), "") << Shown(call);
    }
  }
}

// Texts near the 16-bit limits: patterns whose rewritten texts pass 32,767 characters, finders
// that must look past it, subjects around the start scan's limit.
TEST(Differential, SixteenBitLimitsLikeTheReference) {
  auto times = [](std::u16string_view piece, size_t n) {
    std::u16string text;
    for (size_t i = 0; i < n; ++i)
      text += piece;
    return text;
  };
  const std::vector<Call> calls = {
      {u"abcd", u"(?:ab|cd){5000}", 0},
      {times(u"ab", 10), u"(?:ab|cd){4000}", 0},
      {u"b", times(u"a", 32766) + u"|b", 0},
      {u"b", times(u"a", 32767) + u"|b", 0},
      {u"a", u"[" + times(u"a", 33000) + u"]", 0},
      {u"x", times(u"\\w", 3000) + u"|x", 0},
      {u"x", times(u"\\w", 2000) + u"|x", 0},
      {u"xy", u"x(" + times(u"y", 33000) + u")|x", 0},
      {u"aaa", u"a{32767}", 0},
      {u"aaa", u"a{32766}", 0},
      {u"aaa", u"a{32766,}", 0},
      {times(u"a", 1000), u"(?:a{200}){200}", 0},
      {times(u"a", 32764) + u"b", u"b", 0},
      {times(u"a", 32765) + u"b", u"b", 0},
      {times(u"a", 32766), u"a$", 0},
      {times(u"a", 32766), u"b", 0},
      {times(u"a", 32767), u"", 0},
      {times(u"a", 32765), u"(?:x|y)", 0},
      {u"ab", u"a{" + times(u"9", 40) + u"}", 0},
      {u"ab", u"a{1," + times(u" ", 33000) + u"}", 0},
  };
  for (const Call& call : calls) {
    const reference::Comparison c = reference::Compare({call}, kCallBudget);
    EXPECT_EQ(c.verdict, Verdict::kSame) << Failure({call}, c);
  }
}

// Searches each subject with each pattern, with and without ignore case, at the default depth
// and at two that small subjects can reach, as the engine and as the reference; returns how
// many gave a verdict.
int SearchEveryPair(const std::vector<std::u16string>& patterns,
                    const std::vector<std::u16string>& subjects) {
  int compared = 0;
  for (const std::u16string& pattern : patterns) {
    for (const std::u16string& subject : subjects) {
      for (const int32_t flags : {0, int32_t{quarn::reIgnoreCase}}) {
        for (const uint32_t depth : {1000u, 12u, 30u}) {
          const Call call{subject, pattern, flags};
          const reference::Comparison c = reference::CompareSearch(call, depth, kCallBudget);
          if (c.verdict == Verdict::kNoVerdict) continue;
          ++compared;
          EXPECT_EQ(c.engine, c.reference) << reference::Describe(call) << " depth " << depth;
        }
      }
    }
  }
  return compared;
}

// A pattern that begins with a loop over one character ("X*R", "X+R") passes over the rest
// of a run of X after a start in it fails. Each case below fails at some start inside a run
// and then matches, fails for good, or meets the depth limit, at an earlier or later place.
TEST(Differential, StartsInsideALeadingRunAnswerLikeTheReference) {
  const std::vector<std::u16string> patterns = {
      u"\\w+ing\\b", u"a+b",        u"a*b",        u"a+?b",  u"a*?c",    u"[ab]+c",   u"[ab]*c",
      u".+x",        u".*x$",       u"\\d+\\.\\d", u"a+\\b", u"a+(?=b)", u"a+(?!a)c", u"a+(b)\\1",
      u"a+$",        u"[a-c]+\\Bd", u"x+(a|ab)c",  u".+\\n", u"A+b",     u"a+\\Ab",   u"a*",
      u"a+|b",       u"(?:a)+b",    u"a+(a)*\\1b", u"ab*c",  u"a*c|ab"};
  const std::vector<std::u16string> subjects = {u"aaab",
                                                u"aaaa",
                                                u"xaaaaac",
                                                u"kingdom singing",
                                                u"aa\r\naab",
                                                u"ab ab abc",
                                                u"abababab x",
                                                u"AaAab",
                                                u"aaaaaaaaaaaaaaaaaaaaab",
                                                u"12.3 45.x 6.7",
                                                u"aaabd abcd",
                                                u"xxaabc",
                                                u"bbbaac",
                                                u"aabc",
                                                u""};
  EXPECT_GT(SearchEveryPair(patterns, subjects), 1500);
}

// A pattern that begins with "\b" before word characters cannot match from inside a word,
// so the start scan passes over such positions; around them are words that fail and then
// match, a word character or none before the first start, and folded word characters.
TEST(Differential, StartsInsideWordsAnswerLikeTheReference) {
  const std::vector<std::u16string> patterns = {
      u"\\b\\w+(?=ing\\b)", u"\\b[a-z]+x",     u"\\bab",        u"\\b(\\w+)\\s+\\1\\b",
      u"\\b[A-Z]{2}[a-z]+", u"\\b\\d+\\b",     u"\\b[k_]\\w*y", u"\\bk+e",
      u"\\b[a-c]+$",        u"\\b[ab]+(?!a)c", u"\\b\\w\\b",    u"\\b[\\x80\\xff]a"};
  const std::vector<std::u16string> subjects = {u"kingdom singing ring",
                                                u"aab ab abx",
                                                u"xab ab",
                                                u"the the cat cat",
                                                u"ENjoy WRiting LIke THIS",
                                                u"a1 22 x33 4",
                                                u"_ky k_y kky",
                                                u"\u212ake Ke kke",
                                                u"abc ca cab",
                                                u"aabac ac bc",
                                                u"ab c d",
                                                u"\u0080a \u00ffa a\u0080a",
                                                u""};
  EXPECT_GT(SearchEveryPair(patterns, subjects), 900);
}

// A match holds its first required text and takes only the characters its facts name, so the
// starts before the run of them that reaches the next place of that text are passed over:
// before, inside and after such runs, at depths that let the facts speak or not.
TEST(Differential, StartsBeforeTheRequiredTextAnswerLikeTheReference) {
  const std::vector<std::u16string> patterns = {
      u"\\w+ing\\b", u"[a-c]+x",     u"[a-z]*ab[0-9]", u"(a|b)+cd",    u"\\d+\\.\\d+",
      u"x[ab]*y",    u"[ab]+(?=c)c", u"(\\w+)ing",     u"[a-c]*\\bxy", u"a[bc]*\\nd",
      u"(b|ab)*abc", u"[a-c]+?c",    u"c(a|b)*c$",     u"[ab]*(a)\\1c"};
  const std::vector<std::u16string> subjects = {u"kingdom singing",
                                                u"zzzzzzzz ing",
                                                u"xx ab1 cab1 zab2",
                                                u"aab aabcd ab cd",
                                                u"1.2.3 45.6x",
                                                u"xaby xy x",
                                                u"abcx acx bbbbbx",
                                                u"aa\r\nd abc\r\nd",
                                                u"cabbabc cabab",
                                                u"abababababababababababc",
                                                u"ing",
                                                u""};
  EXPECT_GT(SearchEveryPair(patterns, subjects), 900);
}

// Nested quantifiers backtrack exponentially in the reference; the engine remembers failures
// and must still answer alike, the depth limit included. A lowered limit lets small subjects
// meet it, on every path: deep greedy ones and the shallower ones found by backtracking.
TEST(Differential, NestedQuantifiersMeetTheDepthLimitLikeTheReference) {
  const std::vector<std::u16string> patterns = {
      u"(a|aa)+b",       u"(a+)+b",      u"(a*)*b",       u"(?:a|aa)*c",   u"((a|b)+)+c",
      u"(.*)*x",         u"(a|aa)+$",    u"(x+x+)+y",     u"(\\w+\\s?)+$", u"(a?){6}a{6}",
      u"^(a+)+$",        u"(a|a?)+b",    u"(?=(a+))+b",   u"(aa|a)+?b",    u"(a|aa)*(?!a)b",
      u"(a|a)*\\1b",     u"(a+)+\\1b",   u"(\\w+)*\\1x",  u"(a|aa)+\\1$",  u"((a)|b)*\\2b",
      u"(?:a|a)*b*\\bx", u"(a|aa)+c*$x", u"(a|aa)*b*\\Bb"};
  int compared = 0;
  int skipped = 0;
  for (const std::u16string& pattern : patterns) {
    const Pattern compiled(pattern);
    for (int n = 0; n <= (Sanitized() ? 12 : 18); n += 3) {
      for (const std::u16string_view tail : {u"", u"b", u"!"}) {
        for (const uint32_t depth : {1000u, 30u, 47u, 64u}) {
          const Call call{std::u16string(n, u'a') + std::u16string(tail), pattern, 0};
          const reference::Comparison c = reference::CompareSearch(call, depth, 300000);
          if (c.verdict == Verdict::kNoVerdict) continue;
          ++compared;
          EXPECT_EQ(c.engine, c.reference) << reference::Describe(call) << " depth " << depth;
          Limits limits;
          limits.depth = depth;
          if (compiled.facts().cannotMatch(call.text, 0, limits)) {
            ++skipped;  // no match and no depth limit, even this close to it
            EXPECT_EQ(c.reference, "no match") << reference::Describe(call) << " depth " << depth;
          }
        }
      }
    }
  }
  EXPECT_GT(compared, Sanitized() ? 500 : 1000);
  EXPECT_GT(skipped, compared / 10);
}

}  // namespace
}  // namespace quarn::testing
