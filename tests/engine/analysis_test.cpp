// What the engine knows about a pattern before any search, through the public API: how it reads
// the dialect's quirks (hand-checked trees), the faults and warnings it lists, the facts about
// every match, when a subject cannot match, the C interface, and bad input. That every fault a
// search meets is listed, and that a skipped subject really cannot match, is checked against
// the reference by the differential test and the fuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "quarn/pattern.h"
#include "quarn/quarn_c.h"
#include "quarn/utf.h"

namespace {

using quarn::Diagnostic;
using quarn::ExplainNode;
using quarn::Explanation;
using quarn::Limits;
using quarn::NodeKind;
using quarn::Pattern;

std::string U8(std::u16string_view text) {
  return quarn::Utf16ToUtf8(text);
}

std::string Character(char16_t c) {
  if (c == u'\t') return "\\t";
  if (c == u'\r') return "\\r";
  if (c == u'\n') return "\\n";
  if (c >= 32 && c < 127) return std::string(1, static_cast<char>(c));
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
  return buffer;
}

// A tree in one line: seq(...) alt(...) g1(...) (?:...) (?=...) (?!...) {min,max}(...) with an
// "l" after the braces when lazy; 'c' a literal; [..] a class (CRLF its line-break member);
// crlf, any, ^, $, \A, \Z, \b, \B, \1, end, m9 (a marker), ~ (dropped), ! (an error).
std::string Outline(const Explanation& tree, uint32_t index = 0) {
  const ExplainNode& n = tree.nodes[index];
  std::string inside;
  for (const uint32_t c : n.children)
    inside += (inside.empty() ? "" : " ") + Outline(tree, c);
  switch (n.kind) {
    case NodeKind::kSequence:
      return "seq(" + inside + ")";
    case NodeKind::kAlternation:
      return "alt(" + inside + ")";
    case NodeKind::kGroup:
      return "g" + std::to_string(n.group) + "(" + inside + ")";
    case NodeKind::kPlainGroup:
      return "(?:" + inside + ")";
    case NodeKind::kLookahead:
      return "(?=" + inside + ")";
    case NodeKind::kNegativeLookahead:
      return "(?!" + inside + ")";
    case NodeKind::kRepeat:
      return "{" + std::to_string(n.min) + "," + (n.max ? std::to_string(*n.max) : "") + "}" +
             (n.greedy ? "" : "l") + "(" + inside + ")";
    case NodeKind::kLiteral:
      return "'" + Character(n.character) + "'";
    case NodeKind::kClass: {
      std::string members = n.negated ? "^" : "";
      for (const quarn::ClassMember& m : n.members) {
        members += m.lineBreak ? "CRLF"
                               : Character(m.from) + (m.to != m.from ? "-" + Character(m.to) : "");
      }
      return "[" + members + "]";
    }
    case NodeKind::kLineBreak:
      return "crlf";
    case NodeKind::kAnyCharacter:
      return "any";
    case NodeKind::kLineStart:
      return "^";
    case NodeKind::kLineEnd:
      return "$";
    case NodeKind::kTextStart:
      return "\\A";
    case NodeKind::kTextEnd:
      return "\\Z";
    case NodeKind::kWordBoundary:
      return "\\b";
    case NodeKind::kNotWordBoundary:
      return "\\B";
    case NodeKind::kBackReference:
      return "\\" + std::to_string(n.group);
    case NodeKind::kEndOnly:
      return "end";
    case NodeKind::kMarker:
      return "m" + std::to_string(n.group);
    case NodeKind::kIgnored:
      return "~";
    case NodeKind::kError:
      return "!";
  }
  return "?";
}

// The first node (in the tree's order) of a kind.
const ExplainNode& First(const Explanation& tree, NodeKind kind) {
  for (const ExplainNode& n : tree.nodes) {
    if (n.kind == kind) return n;
  }
  static const ExplainNode none;
  return none;
}

struct Reading {
  std::u16string pattern;
  int32_t flags;
  std::string outline;
  std::string said;  // words that the description of the first node of kind must hold
  NodeKind kind;
};

TEST(Analysis, TheTreeShowsHowTheEngineReadsTheDialect) {
  const std::vector<Reading> readings = {
      {u"\\n", 0, "seq(crlf)", "CR LF", NodeKind::kLineBreak},
      {u"a.b", 0, "seq('a' any 'b')", "either of a CR LF pair", NodeKind::kAnyCharacter},
      {u"x{2,4}", 0, "seq({2,4}('x'))", "reads it as xx(x(x)?)?", NodeKind::kRepeat},
      {u"x{2,}?", 0, "seq({2,}l('x'))", "reads it as xxx*?", NodeKind::kRepeat},
      {u"x{0,2}?", 0, "seq({0,2}l('x'))", "reads it as (x(x)?\?)?\?", NodeKind::kRepeat},
      // A bare "\s" list after braces holding a "[": a space, the line break, and TAB, CR and LF
      // standing alone as the markers of groups 9, 13 and 10.
      {u"x{[}\\s]", 0, "seq({0,0}('x') ' ' crlf m9 m13 m10 ']')", "no such group",
       NodeKind::kMarker},
      {u"(a)(b)(c)(d)(e)(f)(g)(h)(i)x{[}\\s]", 0,
       "seq(g1(seq('a')) g2(seq('b')) g3(seq('c')) g4(seq('d')) g5(seq('e')) g6(seq('f')) "
       "g7(seq('g')) g8(seq('h')) g9(seq('i')) {0,0}('x') ' ' crlf m9 m13 m10 ']')",
       "opens or closes that group", NodeKind::kMarker},
      {u"\\p{L}", 0, "seq({0,0}('p'))", "skipped and never read", NodeKind::kRepeat},
      {u"[[:alpha:]]", 0, "seq([[:alpha:] ']')", "one of '['", NodeKind::kClass},
      {u"a\\Q.*\\E(?#c)b", 0, "seq('a' ~ '.' '*' ~ 'b')", "quoted", NodeKind::kIgnored},
      {u"(a|bc)d", 0, "seq(g1(seq('a') seq('b' 'c')) 'd')", "capturing group 1: one of 2",
       NodeKind::kGroup},
      {u"(?:ab)+", 0, "seq({1,}((?:seq('a' 'b'))))", "1 or more times", NodeKind::kRepeat},
      {u"(?=a)(?!b)", 0, "seq((?=seq('a')) (?!seq('b')))", "takes no characters",
       NodeKind::kLookahead},
      {u"[^a-c\\n]", 0, "seq([^a-cCRLF])", "any character but", NodeKind::kClass},
      {u"\\w\\S", 0, "seq([a-zA-Z0-9_U+0080U+00FF] [^ CRLF\\t\\r\\n])", "U+0080 or U+00FF",
       NodeKind::kClass},
      {u"[A-Z]", 1, "seq([a-z])", "compared in lower case", NodeKind::kClass},
      {u"ab\\", 0, "seq('a' 'b' end)", "only at the end", NodeKind::kEndOnly},
      {u"(*a)", 0, "seq(g1(seq({0,}(m1) 'a')))", "quantifier after the group's", NodeKind::kMarker},
      {u"a|", 0, "alt(seq('a') seq())", "tried left to right", NodeKind::kAlternation},
      {u"a{3,1}|b", 0, "alt(seq(!) seq('b'))", "Upper limit is less", NodeKind::kError},
      {u"^a$", 4, "seq(^ 'a' $)", "just after a CR LF", NodeKind::kLineStart},
      {u"$", 0, "seq($)", "a CR LF that ends it", NodeKind::kLineEnd},
      {u"(a)\\1", 0, "seq(g1(seq('a')) \\1)", "captured, again", NodeKind::kBackReference},
      {u"\\Aa\\Z\\b\\B", 0, "seq(\\A 'a' \\Z \\b \\B)", "whatever the options", NodeKind::kTextEnd},
      {u"a{0}", 0, "seq({0,0}('a'))", "never read", NodeKind::kRepeat},
      {u"\\t\\x41\\0101\\cA\\.", 0, "seq('\\t' 'A' 'A' 'U+0001' '.')", "TAB", NodeKind::kLiteral},
  };
  for (const Reading& r : readings) {
    const Pattern pattern(r.pattern, r.flags);
    const Explanation& tree = pattern.explain();
    EXPECT_EQ(Outline(tree), r.outline) << U8(r.pattern);
    EXPECT_NE(First(tree, r.kind).description.find(r.said), std::string::npos)
        << U8(r.pattern) << ": " << First(tree, r.kind).description;
  }
}

TEST(Analysis, NodesStandWhereThePatternHasThem) {
  const Pattern braces(u"ab(?:c|de){2,3}?f");
  const Explanation& tree = braces.explain();
  const ExplainNode& repeat = First(tree, NodeKind::kRepeat);
  EXPECT_EQ(repeat.start, 2u);
  EXPECT_EQ(repeat.end, 16u);
  EXPECT_EQ(U8(repeat.quantifier), "{2,3}?");
  const ExplainNode& group = First(tree, NodeKind::kPlainGroup);
  EXPECT_EQ(group.start, 2u);
  EXPECT_EQ(group.end, 10u);
  // The alternatives stand between "(?:", "|" and ")".
  EXPECT_EQ(tree.nodes[group.children[0]].start, 5u);
  EXPECT_EQ(tree.nodes[group.children[0]].end, 6u);
  EXPECT_EQ(tree.nodes[group.children[1]].start, 7u);
  EXPECT_EQ(tree.nodes[group.children[1]].end, 9u);
  // Escapes span what they are written with.
  const Pattern escapes(u"x\\x41\\0101y");
  const ExplainNode& root = escapes.explain().root();
  ASSERT_EQ(root.children.size(), 4u);
  EXPECT_EQ(escapes.explain().nodes[root.children[1]].start, 1u);
  EXPECT_EQ(escapes.explain().nodes[root.children[1]].end, 5u);
  EXPECT_EQ(escapes.explain().nodes[root.children[2]].end, 10u);
}

// severity, code, start, end, and the number of the error a search reports there (0: none).
std::vector<std::string> Listed(const std::vector<Diagnostic>& diagnostics) {
  std::vector<std::string> listed;
  for (const Diagnostic& d : diagnostics) {
    listed.push_back(std::string(d.severity == quarn::Severity::kError ? "error " : "warning ") +
                     d.code + " " + std::to_string(d.start) + " " + std::to_string(d.end) + " " +
                     std::to_string(d.error ? d.error->number : 0));
  }
  return listed;
}

TEST(Analysis, DiagnosticsListWhatASearchCouldMeet) {
  using L = std::vector<std::string>;
  const std::vector<std::tuple<std::u16string, int32_t, L>> cases = {
      {u"x{3,1}", 0, {"error fault 1 6 20050"}},
      {u"zx{3,1}", 0, {"error fault 2 7 20050"}},       // whatever the subject
      {u"x{3,1}y{3,1}", 0, {"error fault 1 6 20050"}},  // no search gets past the first
      {u"(?:a{3,1}){0}b", 0, {}},                       // an atom counted 0 times is never read
      {u"a(b", 0, {"error fault 1 2 20052"}},
      {u"[z-a]", 0, {"error fault 0 5 20050"}},
      {u"[az-a]*", 0, {"error fault 0 6 20050"}},
      {std::u16string(u"[\0-\uFFFFz-a]", 8), 0, {}},  // every character is taken first
      {u"a**", 0, {"error fault 2 3 20052"}},
      {u"(a)\\2", 0, {"error fault 3 5 20052"}},
      {u"a{40000}", 0, {"error fault 1 8 6"}},
      {u"(?:ab|cd){5000}", 0, {"error fault 0 15 6"}},
      {u"a", 6, {"error fault 0 1 20053"}},
      {u"$*", 0, {"warning empty-loop 0 2 20052"}},
      {u"(a*)*b", 0, {"warning empty-loop 0 5 20052"}},
      {u"(?=a)*", 0, {"warning empty-loop 0 6 20052"}},
      {u"((?=x?)a)*", 0, {}},  // what a lookahead reads is not taken
      {u"\\p{L}\\z",
       0,
       {"warning letter-escape 0 2 0", "warning brace-count 2 5 0", "warning letter-escape 5 7 0"}},
      {u"\\x{41}", 0, {"warning hex-brace 0 6 0"}},
      {u"[[:alpha:]]", 0, {"warning posix-class 0 10 0"}},
      {u"ab\\", 0, {"warning trailing-backslash 2 3 0"}},
      {u"x{[}\\s]",
       0,
       {"warning stray-marker 4 6 0", "warning stray-marker 4 6 0", "warning stray-marker 4 6 0"}},
      {u"\\w+ing\\b", 0, {}},
  };
  for (const auto& [pattern, flags, expected] : cases) {
    EXPECT_EQ(Listed(Pattern(pattern, flags).diagnostics()), expected) << U8(pattern);
  }
  // A fault carries the exact number, kind and text that a search reports.
  const Pattern braces(u"x{3,1}");
  const quarn::SearchResult searched = braces.search(u"x");
  const quarn::Error& met = *searched.error();
  const quarn::Error& listed = *braces.diagnostics().at(0).error;
  EXPECT_EQ(listed.report(), met.report());
  EXPECT_EQ(listed.kind, quarn::ErrorKind::kPatternSyntax);
  EXPECT_EQ(braces.diagnostics()[0].message, met.message());
  // The explanation's node of a fault carries the error as its diagnostic does.
  for (const std::u16string_view faulty : {u"a[z-a]", u"b[az-a]*", u"x{3,1}", u"(a)\\2"}) {
    const Pattern pattern{std::u16string(faulty)};
    std::vector<quarn::Error> inTree;
    for (const quarn::ExplainNode& node : pattern.explain().nodes) {
      if (node.error) inTree.push_back(*node.error);
    }
    ASSERT_EQ(inTree.size(), 1u) << U8(faulty);
    EXPECT_EQ(inTree[0], *pattern.diagnostics().at(0).error) << U8(faulty);
  }
}

struct Facts {
  std::u16string pattern;
  int32_t flags;
  uint64_t minLength;
  bool anchored;
  std::vector<std::u16string> literals;
  int levels;  // -1: none
};

TEST(Analysis, FactsHoldForEveryMatch) {
  const std::vector<Facts> cases = {
      {u"\\w+ing\\b", 0, 4, false, {u"ing"}, 1},
      {u"(a|aa)+b", 0, 2, false, {u"ab"}, 4},
      {u"^abc", 0, 3, true, {u"abc"}, 1},
      {u"^abc", 4, 3, false, {u"abc"}, 1},  // multi-line: after any CR LF
      {u"\\Aab|\\Acd", 0, 2, true, {}, 2},
      {u"Hello", 1, 5, false, {u"hello"}, 0},
      {u"a\\nb", 0, 4, false, {u"a\r\nb"}, 0},
      {u"(?:ab){3}", 0, 6, false, {u"ababab"}, 2},
      {u"x{2,5}y", 0, 3, false, {u"xxy"}, 2},
      {u"a(?=bcd)", 0, 1, false, {u"a"}, 1},
      {u"colou?r", 0, 5, false, {u"colo", u"r"}, 1},
      {u"(a)\\1x", 0, 2, false, {u"a", u"x"}, 2},
      {u"[x]y[^z]", 0, 3, false, {u"xy"}, 0},
      {u"a|b", 0, 1, false, {}, 1},
      {u"$*", 0, 0, false, {}, -1},
      {u"(a*)*", 0, 0, false, {}, -1},
      // Braces that hold a "[" make the reading irregular: nothing is claimed.
      {u"x{[}\\s]", 0, 0, false, {}, 3},
  };
  for (const Facts& c : cases) {
    const Pattern pattern(c.pattern, c.flags);
    const quarn::PatternFacts& facts = pattern.facts();
    EXPECT_TRUE(facts.complete) << U8(c.pattern);
    EXPECT_EQ(facts.minLength, c.minLength) << U8(c.pattern);
    EXPECT_EQ(facts.anchoredAtStart, c.anchored) << U8(c.pattern);
    EXPECT_EQ(facts.requiredLiterals, c.literals) << U8(c.pattern);
    EXPECT_EQ(facts.levelsPerCharacter ? int(*facts.levelsPerCharacter) : -1, c.levels)
        << U8(c.pattern);
  }
  // "a*" takes 499 characters within the depth limit of 1000, not 500.
  EXPECT_EQ(Pattern(u"a*").facts().depthSafeLength(1000), 499u);
  const Pattern starts(u"[ab]x|cy|fz");  // a to c touch and merge; f stands apart
  EXPECT_EQ(starts.facts().firstCharacters, (quarn::CharacterRanges{{u'a', u'c'}, {u'f', u'f'}}));
  EXPECT_FALSE(Pattern(u"x{3,1}").facts().faultFree);
}

TEST(Analysis, EveryMatchHoldsOneTextOfTheChoice) {
  using Texts = std::vector<std::u16string>;
  const std::vector<std::tuple<std::u16string, int32_t, Texts>> cases = {
      {u"GNU|Debian|Perl", 0, {u"GNU", u"Debian", u"Perl"}},
      {u"GNU|Debian", quarn::reIgnoreCase, {u"gnu", u"debian"}},
      {u"(?:foo|bar)\\d+(?:x|yz)", 0, {u"foo", u"bar"}},  // the longer texts narrow best
      {u"\\w+ing\\b", 0, {u"ing"}},                       // one required text is a choice too
      {u"ab|abc|xab", 0, {u"ab"}},                        // a text that holds another adds nothing
      {u"a|b*", 0, {}},                                   // b* holds no text
      {u"(a)\\1|b", 0, {u"a", u"b"}},
      {u"(?:ab)+|cd?", 0, {u"ab", u"c"}},
      {u"x(?=abc)|y", 0, {u"x", u"y"}},  // what a lookahead reads lies after the match
  };
  for (const auto& [pattern, flags, texts] : cases) {
    EXPECT_EQ(Pattern(pattern, flags).facts().anyOfLiterals, texts) << U8(pattern);
  }
  // A subject without any of them cannot match; with one (in any case under ignore case), it
  // may.
  const Pattern words(u"GNU|Debian", quarn::reIgnoreCase);
  EXPECT_TRUE(words.facts().cannotMatch(u"a linux box", 0, Limits()));
  EXPECT_FALSE(words.facts().cannotMatch(u"a DEBIAN box", 0, Limits()));
  const quarn::SearchResult skipped = words.search(u"a linux box");
  EXPECT_FALSE(skipped.matched());
  EXPECT_EQ(skipped.steps(), 0u);
}

TEST(Analysis, APlainChoiceOfTextsMatchesWhereOneOfThemBegins) {
  using Texts = std::vector<std::u16string>;
  using quarn::Edges;
  const std::vector<std::tuple<std::u16string, int32_t, Edges, Texts>> cases = {
      {u"abc", 0, Edges::kAnywhere, {u"abc"}},
      {u"ab|ba|a", 0, Edges::kAnywhere, {u"ab", u"ba", u"a"}},
      {u"a(b|c)", 0, Edges::kAnywhere, {u"ab", u"ac"}},
      {u"(?:a|ab)c", 0, Edges::kAnywhere, {u"ac", u"abc"}},  // found by backtracking
      {u"(ab){2}|a{3}", 0, Edges::kAnywhere, {u"abab", u"aaa"}},
      {u"a\\nb", 0, Edges::kAnywhere, {u"a\r\nb"}},
      {u"Kb|[A]", quarn::reIgnoreCase, Edges::kAnywhere, {u"kb", u"a"}},
      {u"a{0}b", 0, Edges::kAnywhere, {u"b"}},
      {u"(?:a|aa)(?:a|aa)", 0, Edges::kAnywhere, {}},                // "aaa" two ways
      {u"(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)", 0, Edges::kAnywhere, {}},  // too many to keep
      {u"a+", 0, Edges::kAnywhere, {}},
      {u"a{1,2}", 0, Edges::kAnywhere, {}},
      {u"[ab]c", 0, Edges::kAnywhere, {}},
      {u"a.b", 0, Edges::kAnywhere, {}},
      {u"\\bab", 0, Edges::kAnywhere, {}},
      {u"^ab|b", 0, Edges::kAnywhere, {}},
      {u"ab$", 0, Edges::kAnywhere, {}},
      {u"a(?=b)", 0, Edges::kAnywhere, {}},
      {u"a(?!b)", 0, Edges::kAnywhere, {}},
      {u"(a)\\1", 0, Edges::kAnywhere, {}},
      {u"a|", 0, Edges::kAnywhere, {}},  // the empty text matches everywhere
      {u"ab", 0, Edges::kWord, {}},
      {u"ab", 0, Edges::kLine, {}},
  };
  for (const auto& [pattern, flags, edges, texts] : cases) {
    EXPECT_EQ(Pattern(pattern, flags, edges).facts().matchLiterals, texts) << U8(pattern);
  }
  // Every search of such a pattern finds the first place where one of its texts begins (folded
  // under ignore case), within the steps the facts allow for, on subjects made of their
  // characters, other cases, the Kelvin sign and line breaks.
  const std::u16string alphabet = u"aaaaabcABkK\u212A\r\nx";
  std::mt19937 random(20261210);
  for (const auto& [pattern, flags, edges, texts] : cases) {
    if (texts.empty()) continue;
    const Pattern compiled(pattern, flags, edges);
    const bool fold = (flags & quarn::reIgnoreCase) != 0;
    size_t longest = 0;
    for (const std::u16string& text : texts)
      longest = std::max(longest, text.size());
    const uint64_t stepsPerStart =
        texts.size() * (longest + 1) * (*compiled.facts().levelsPerCharacter + 1);
    for (int n = 0; n < 400; ++n) {
      std::u16string subject(random() % 14, u' ');
      for (char16_t& c : subject)
        c = alphabet[random() % alphabet.size()];
      std::u16string folded = subject;
      for (char16_t& c : folded)
        c = fold ? quarn::FoldCase(c) : c;
      const size_t start = random() % (subject.size() + 1);
      size_t first = std::u16string::npos;
      for (const std::u16string& text : texts)
        first = std::min(first, folded.find(text, start));
      // With a budget, a subject without any of the texts is answered without a step.
      Limits budget;
      budget.steps = 1;
      const quarn::SearchResult result =
          compiled.search(subject, start, first == std::u16string::npos ? budget : Limits());
      ASSERT_FALSE(result.error()) << U8(pattern) << " " << U8(subject);
      EXPECT_LE(result.steps(), (subject.size() - start + 1) * stepsPerStart) << U8(pattern);
      ASSERT_EQ(result.matched(), first != std::u16string::npos)
          << U8(pattern) << " " << U8(subject);
      if (result.matched()) {
        EXPECT_EQ(result.match().start(), first) << U8(pattern) << " " << U8(subject);
      }
    }
  }
}

TEST(Analysis, FoldCaseIsTheCaseThatIgnoreCaseCompares) {
  const std::vector<std::pair<char16_t, char16_t>> folds = {
      {u'A', u'a'},           {u'a', u'a'},
      {u'7', u'7'},           {u'\u00C9', u'\u00E9'},
      {u'\u212A', u'k'},      {u'\u0130', u'i'},
      {u'\u212B', u'\u00E5'}, {char16_t{0xD83D}, char16_t{0xD83D}},
  };
  for (const auto& [c, folded] : folds) {
    EXPECT_EQ(quarn::FoldCase(c), folded) << int(c);
    const std::u16string subject(1, c);
    EXPECT_TRUE(Pattern(std::u16string(1, folded), quarn::reIgnoreCase).search(subject)) << int(c);
  }
}

TEST(Analysis, ASubjectThatCannotMatchIsNotSearched) {
  const Pattern nested(u"(a|aa)+b");
  const std::u16string as(25, u'a');
  EXPECT_TRUE(nested.facts().cannotMatch(as, 0, Limits()));
  const quarn::SearchResult skipped = nested.search(as);
  EXPECT_FALSE(skipped.matched());
  EXPECT_FALSE(skipped.error());
  EXPECT_EQ(skipped.steps(), 0u);
  // A fresh pattern makes its facts once a search of it proves costly, and uses them from then.
  const Pattern fresh(u"(a|aa)+b");
  EXPECT_GT(fresh.search(as).steps(), 1024u);
  EXPECT_EQ(fresh.search(as).steps(), 0u);
  // So do many searches of a few hundred steps each; searches of a few steps never do.
  const std::u16string five(5, u'a');
  const Pattern often(u"(a|aa)+b");
  const uint64_t each = often.search(five).steps();
  ASSERT_GT(each, 256u);
  ASSERT_LT(each, 1024u);
  int searches = 1;
  while (often.search(five).steps() != 0 && searches < 100)
    ++searches;
  EXPECT_LT(searches, 100) << "the facts were never made";
  EXPECT_GT(searches, 1);
  const Pattern cheap(u"ab");
  for (int k = 0; k < 10000; ++k)
    cheap.search(u"aaaaaaaa");
  EXPECT_GT(cheap.search(u"aaaaaaaa").steps(), 0u);
  // Not when it can match, when the depth limit could be reached first, or past the
  // subject's length limit.
  EXPECT_FALSE(nested.facts().cannotMatch(as + u"b", 0, Limits()));
  EXPECT_FALSE(nested.facts().cannotMatch(std::u16string(300, u'a'), 0, Limits()));
  Limits shallow;
  shallow.depth = 30;
  EXPECT_FALSE(nested.facts().cannotMatch(std::u16string(10, u'a'), 0, shallow));
  EXPECT_TRUE(nested.facts().cannotMatch(std::u16string(4, u'a'), 0, shallow));
  Limits shortSubjects;
  shortSubjects.subjectLength = 20;
  EXPECT_FALSE(nested.facts().cannotMatch(as, 0, shortSubjects));
  EXPECT_TRUE(Pattern(u"^ab").facts().cannotMatch(u"zab", 1, Limits()));
  EXPECT_TRUE(Pattern(u"abc").facts().cannotMatch(u"ab", 0, Limits()));
  EXPECT_TRUE(Pattern(u"HELLO", quarn::reIgnoreCase).facts().cannotMatch(u"helo", 0, Limits()));
  EXPECT_FALSE(Pattern(u"HELLO", quarn::reIgnoreCase).facts().cannotMatch(u"hElLo", 0, Limits()));
  // Not with a fault that a search could meet first.
  EXPECT_FALSE(Pattern(u"a+[z-a]b").facts().cannotMatch(u"aaa", 0, Limits()));

  // An 8-bit text is ruled out exactly as its UTF-16 form: literals of characters from
  // U+0080 to U+00FF, one above U+00FF that such a text never holds, and folded ones.
  struct EightBit {
    std::u16string pattern;
    int32_t flags;
    std::string latin1;
  };
  const std::vector<EightBit> eightBit = {
      {u"(a|aa)+b", 0, std::string(25, 'a')},
      {u"(a|aa)+b", 0, std::string(25, 'a') + "b"},
      {u"(a|aa)+\u00e9x", 0, std::string(25, 'a') + "\xe9x"},
      {u"(a|aa)+\u00e9x", 0, std::string(25, 'a') + "\xe9y"},
      {u"(a|aa)+\u0100", 0, std::string(25, 'a') + "\x01"},
      {u"(a|aa)+\u00c9X", quarn::reIgnoreCase, std::string(25, 'A') + "\xe9x"},
  };
  for (const auto& [pattern, flags, latin1] : eightBit) {
    const Pattern p(pattern, flags);
    p.facts();
    std::u16string wide(latin1.begin(), latin1.end());
    for (char16_t& c : wide)
      c = static_cast<char16_t>(c & 0xFF);
    const quarn::SearchResult bytes = p.search(quarn::Text::Latin1(latin1));
    const quarn::SearchResult units = p.search(wide);
    EXPECT_EQ(bytes.matched(), units.matched()) << U8(pattern) << " on " << latin1;
    EXPECT_EQ(bytes.steps(), units.steps()) << U8(pattern) << " on " << latin1;
  }
}

TEST(Analysis, TheCInterfaceGivesTheJsonAndTheFaults) {
  char* json = quarn_analyze("x{3,1}", QUARN_NUL_TERMINATED, 0);
  ASSERT_NE(json, nullptr);
  const std::string text(json);
  quarn_string_free(json);
  EXPECT_NE(text.find("\"code\":\"fault\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"kind\":\"pattern-syntax\""), std::string::npos) << text;

  quarn_error first;
  EXPECT_EQ(quarn_check("\xC3\xA9[z-a]x{3,1}", QUARN_NUL_TERMINATED, 0, &first), 1);
  EXPECT_EQ(first.number, 20050);
  EXPECT_EQ(first.kind, QUARN_KIND_PATTERN_SYNTAX);
  EXPECT_EQ(first.position, 2);  // in bytes: after the two of "é"
  const std::u16string wide = u"\u00E9[z-a]";
  EXPECT_EQ(quarn_check16(reinterpret_cast<const uint16_t*>(wide.data()), wide.size(), 0, &first),
            1);
  EXPECT_EQ(first.position, 1);  // in units
  EXPECT_EQ(quarn_check("a+", QUARN_NUL_TERMINATED, 0, &first), 0);
  EXPECT_EQ(first.number, 0);
  EXPECT_EQ(quarn_check(nullptr, 0, 0, &first), QUARN_INVALID_ARGUMENT);
  EXPECT_EQ(quarn_analyze(nullptr, 0, 0), nullptr);
  quarn_string_free(nullptr);
}

TEST(Analysis, BadInputGivesAnAnswerOrAnErrorValue) {
  // A million characters pass the 16-bit positions of escape expansion; an ill-formed UTF-8
  // pattern is refused: each is the one fault, and the tree one error node.
  const Pattern huge(std::u16string(1'000'000, u'x'));
  ASSERT_EQ(huge.diagnostics().size(), 1u);
  EXPECT_EQ(huge.diagnostics()[0].error->kind, quarn::ErrorKind::kOverflow);
  EXPECT_EQ(huge.explain().root().kind, NodeKind::kError);
  const Pattern invalid(std::string_view("ab\xFF"));
  ASSERT_EQ(invalid.diagnostics().size(), 1u);
  EXPECT_EQ(invalid.diagnostics()[0].error->kind, quarn::ErrorKind::kInvalidUtf8);
  EXPECT_FALSE(invalid.facts().complete);
  // Groups nested deeper than the tree explains: an error node and a warning, no facts.
  std::u16string nested;
  for (int i = 0; i < 400; ++i)
    nested += u"(?:";
  nested += u"a";
  for (int i = 0; i < 400; ++i)
    nested += u")";
  const Pattern deep(nested);
  ASSERT_FALSE(deep.error());
  ASSERT_FALSE(deep.diagnostics().empty());
  EXPECT_EQ(deep.diagnostics().back().code, "incomplete");
  EXPECT_FALSE(deep.facts().complete);
  EXPECT_TRUE(deep.search(u"xa"));
}

}  // namespace
