// The engine's case table, engine_cases.jsonl, through every C and C++ entry point: the legacy
// calls with UTF-16 and with UTF-8 text, the Pattern API with both, and the C interface with
// both. The Python module runs the same file (tests/python). A case gives a pattern, a text,
// flags, and either the match with its groups (0-based spans in UTF-16 units) or the report
// of the error that ends the search.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "quarn/pattern.h"
#include "quarn/quarn.h"
#include "quarn/quarn_c.h"
#include "quarn/utf.h"

namespace {

using Span = std::optional<std::pair<int64_t, int64_t>>;

// What an entry point answered, in the terms of the table.
struct Answer {
  bool matched = false;
  std::vector<Span> spans;  // the match, then each group
  std::string error;

  bool operator==(const Answer&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Answer& a) {
  if (!a.error.empty()) return out << a.error;
  if (!a.matched) return out << "no match";
  for (const Span& s : a.spans)
    out << (s ? "[" + std::to_string(s->first) + "," + std::to_string(s->second) + ")" : "-")
        << " ";
  return out;
}

struct Case {
  std::string group;
  std::string pattern;  // UTF-8
  std::string text;
  int32_t flags = 0;
  Answer expected;
};

// A text is a string, or {"repeat": s, "times": n, "then": rest} for long ones.
std::string TextOf(const nlohmann::json& j) {
  if (j.is_string()) return j.get<std::string>();
  std::string text;
  for (int i = 0; i < j.at("times").get<int>(); ++i)
    text += j.at("repeat").get<std::string>();
  return text + j.value("then", "");
}

Span SpanOf(const nlohmann::json& j) {
  if (j.is_null()) return std::nullopt;
  return std::make_pair(j[0].get<int64_t>(), j[1].get<int64_t>());
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  std::ifstream file(QUARN_ENGINE_CASES);
  for (std::string line; std::getline(file, line);) {
    const nlohmann::json j = nlohmann::json::parse(line);
    Case c{j.at("group"), TextOf(j.at("pattern")), TextOf(j.at("text")), j.value("flags", 0), {}};
    c.expected.error = j.value("error", "");
    if (j.contains("match") && !j.at("match").is_null()) {
      c.expected.matched = true;
      c.expected.spans.push_back(SpanOf(j.at("match")));
      for (const nlohmann::json& g : j.value("groups", nlohmann::json::array()))
        c.expected.spans.push_back(SpanOf(g));
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

std::u16string U16(const std::string& text) {
  std::u16string units;
  quarn::Utf8ToUtf16(text, units);
  return units;
}

// Byte offsets of UTF-16 positions in text, to turn expected spans into those of UTF-8 calls.
Answer InBytes(Answer a, const std::string& text) {
  const std::u16string units = U16(text);
  for (Span& s : a.spans) {
    if (!s) continue;
    s->first = static_cast<int64_t>(quarn::Utf16ToUtf8(units.substr(0, s->first)).size());
    s->second = static_cast<int64_t>(quarn::Utf16ToUtf8(units.substr(0, s->second)).size());
  }
  return a;
}

// The legacy calls leave their answer in the stored state and the reporter.
template <typename Call>
Answer Legacy(Call call) {
  Answer a;
  const quarn::ErrorReporter previous =
      quarn::SetErrorReporter([&](const quarn::EngineError&, std::u16string_view text) {
        a.error = quarn::Utf16ToUtf8(text);
      });
  a.matched = call();
  if (a.matched) {
    int32_t start = 0, length = 0, count = 0;
    quarn::QuarnIndex(quarn::reMatch, start, length);
    a.spans.push_back(std::make_pair(start - 1, start - 1 + length));
    quarn::QuarnIndex(quarn::reSubexprCount, count, length);
    for (int n = 1; n <= count; ++n) {
      quarn::QuarnIndex(n, start, length);
      a.spans.push_back(start == 0 ? Span() : std::make_pair(start - 1, start - 1 + length));
    }
  }
  quarn::SetErrorReporter(previous);
  return a;
}

Answer Api(const quarn::SearchResult& r, bool bytes) {
  Answer a;
  if (r.error()) a.error = r.error()->report();
  a.matched = r.matched();
  if (!a.matched) return a;
  const quarn::Match& m = r.match();
  for (int n = 0; n <= m.groupCount(); ++n) {
    if (!m.matched(n)) {
      a.spans.emplace_back();
    } else if (bytes) {
      a.spans.push_back(std::make_pair<int64_t, int64_t>(m.byteStart(n), m.byteEnd(n)));
    } else {
      a.spans.push_back(std::make_pair<int64_t, int64_t>(m.span(n)->start, m.span(n)->end));
    }
  }
  return a;
}

Answer C(quarn_pattern* p, const quarn_error& compileError,
         const std::function<int(quarn_pattern*, quarn_span*, size_t, quarn_error*)>& search) {
  Answer a;
  if (p == nullptr) {
    a.error = compileError.message;
    return a;
  }
  std::vector<quarn_span> spans(quarn_group_count(p) + 1);
  quarn_error error;
  const int result = search(p, spans.data(), spans.size(), &error);
  quarn_free(p);
  if (result == QUARN_ERROR) a.error = error.message;
  a.matched = result == QUARN_MATCH;
  if (!a.matched) return a;
  for (const quarn_span& s : spans)
    a.spans.push_back(s.start < 0 ? Span() : std::make_pair(s.start, s.end));
  return a;
}

class EveryEntryPoint : public ::testing::Test {
 protected:
  template <typename Run>
  void Expect(Run run, bool bytes) {
    for (const Case& c : cases_) {
      const Answer expected = bytes ? InBytes(c.expected, c.text) : c.expected;
      EXPECT_EQ(run(c), expected) << c.group << ": /" << c.pattern << "/ on \"" << c.text
                                  << "\" with flags " << c.flags;
    }
  }
  const std::vector<Case> cases_ = Cases();
};

TEST_F(EveryEntryPoint, LegacyCallWithUtf16) {
  Expect(
      [](const Case& c) {
        return Legacy([&] { return quarn::Quarn(U16(c.text), U16(c.pattern), c.flags); });
      },
      false);
}

TEST_F(EveryEntryPoint, LegacyCallWithUtf8) {
  Expect(
      [](const Case& c) {
        return Legacy([&] {
          return quarn::Quarn(std::string_view(c.text), std::string_view(c.pattern), c.flags);
        });
      },
      false);
}

TEST_F(EveryEntryPoint, PatternWithUtf16) {
  Expect(
      [](const Case& c) {
        return Api(quarn::Pattern(U16(c.pattern), c.flags).search(U16(c.text)), false);
      },
      false);
}

TEST_F(EveryEntryPoint, PatternWithUtf8) {
  Expect(
      [](const Case& c) {
        return Api(
            quarn::Pattern(std::string_view(c.pattern), c.flags).search(std::string_view(c.text)),
            true);
      },
      true);
}

TEST_F(EveryEntryPoint, CInterfaceWithUtf16) {
  Expect(
      [](const Case& c) {
        const std::u16string pattern = U16(c.pattern);
        const std::u16string text = U16(c.text);
        quarn_error error;
        quarn_pattern* p = quarn_compile16(reinterpret_cast<const uint16_t*>(pattern.data()),
                                           pattern.size(), c.flags, &error);
        return C(p, error, [&](quarn_pattern* q, quarn_span* spans, size_t n, quarn_error* e) {
          return quarn_search16(q, reinterpret_cast<const uint16_t*>(text.data()), text.size(), 0,
                                nullptr, spans, n, e);
        });
      },
      false);
}

TEST_F(EveryEntryPoint, CInterfaceWithUtf8) {
  Expect(
      [](const Case& c) {
        quarn_error error;
        quarn_pattern* p = quarn_compile(c.pattern.data(), c.pattern.size(), c.flags, &error);
        return C(p, error, [&](quarn_pattern* q, quarn_span* spans, size_t n, quarn_error* e) {
          return quarn_search(q, c.text.data(), c.text.size(), 0, nullptr, spans, n, e);
        });
      },
      true);
}

// Where a node's tree breaks the rules of an explanation: the root spans the pattern, each
// child lies within its parent and after the start of the one before it, and a character that
// no child covers is syntax of its parent: a "|" of an alternation, a group's parentheses and
// the "?", ":", "=", "!" after them, a repeat's quantifier after its atom. Leaves cover their
// characters themselves; a sequence leaves none uncovered (what the engine drops is a node).
std::string Uncovered(const nlohmann::json& node, const std::u16string& pattern) {
  const size_t start = node.at("start"), end = node.at("end");
  const std::string kind = node.at("kind");
  if (!node.contains("children")) return {};
  std::vector<bool> covered(end - start, false);
  size_t previous = start;
  for (const nlohmann::json& child : node.at("children")) {
    const size_t from = child.at("start"), to = child.at("end");
    if (from < previous || to < from || to > end) {
      return kind + " [" + std::to_string(start) + "," + std::to_string(end) +
             ") has a child at [" + std::to_string(from) + "," + std::to_string(to) + ")";
    }
    previous = from;
    for (size_t i = from; i < to; ++i)
      covered[i - start] = true;
    if (std::string why = Uncovered(child, pattern); !why.empty()) return why;
  }
  const size_t lastChild = node.at("children").back().at("end");
  for (size_t i = start; i < end; ++i) {
    if (covered[i - start]) continue;
    const char16_t c = pattern[i];
    const bool syntax = (kind == "alternation" && c == u'|') ||
                        (kind == "repeat" && i >= lastChild) ||
                        ((kind == "group" || kind == "plain-group" || kind == "lookahead" ||
                          kind == "negative-lookahead") &&
                         std::u16string_view(u"()?:=!|").find(c) != std::u16string_view::npos);
    if (!syntax) return kind + " leaves position " + std::to_string(i) + " uncovered";
  }
  return {};
}

// The explanation of every pattern of the table, from the C interface, is valid JSON whose
// tree covers the pattern; and the error that ends a case's search, when it is a fault of the
// pattern, is among the pattern's diagnostics.
TEST(Analysis, EveryPatternIsExplainedAndItsFaultsListed) {
  for (const Case& c : Cases()) {
    char* text = quarn_analyze(c.pattern.data(), c.pattern.size(), c.flags);
    ASSERT_NE(text, nullptr) << c.pattern;
    const nlohmann::json analysis = nlohmann::json::parse(text, nullptr, false);
    quarn_string_free(text);
    ASSERT_FALSE(analysis.is_discarded()) << c.pattern << ": not JSON";
    const std::u16string pattern = U16(c.pattern);
    const nlohmann::json& tree = analysis.at("tree");
    EXPECT_EQ(tree.at("start"), 0u) << c.pattern;
    EXPECT_EQ(tree.at("end"), pattern.size()) << c.pattern;
    EXPECT_EQ(Uncovered(tree, pattern), "") << c.pattern;

    const quarn::SearchResult r = quarn::Pattern(pattern, c.flags).search(U16(c.text));
    if (!r.error() || !(quarn::IsPatternFault(r.error()->kind) ||
                        r.error()->kind == quarn::ErrorKind::kInvalidOptions)) {
      continue;
    }
    bool listed = false;
    for (const nlohmann::json& d : analysis.at("diagnostics")) {
      listed =
          listed || (!d.at("error").is_null() && d.at("error").at("report") == c.expected.error);
    }
    EXPECT_TRUE(listed) << c.pattern << ": " << c.expected.error << " is not listed";
  }
}

nlohmann::json Analyzed(std::string_view pattern, int32_t flags = 0) {
  char* text = quarn_analyze(pattern.data(), pattern.size(), flags);
  const nlohmann::json analysis = nlohmann::json::parse(text);
  quarn_string_free(text);
  return analysis;
}

// The fields of docs/pattern-analysis.md, with places in units and in bytes.
TEST(Analysis, TheJsonGivesUnitsAndBytes) {
  // "é" is one unit and two bytes, the emoji two units and four bytes.
  const nlohmann::json a = Analyzed("\xC3\xA9(x|\xF0\x9F\x98\x80)+\\p{L}[z-a]");
  EXPECT_EQ(a.at("groups"), 1);
  const nlohmann::json& group = a.at("tree").at("children").at(1).at("children").at(0);
  EXPECT_EQ(group.at("kind"), "group");
  EXPECT_EQ(group.at("group"), 1);
  EXPECT_EQ(group.at("start"), 1);
  EXPECT_EQ(group.at("end"), 7);
  EXPECT_EQ(group.at("byteStart"), 2);
  EXPECT_EQ(group.at("byteEnd"), 10);
  const nlohmann::json& repeat = a.at("tree").at("children").at(1);
  EXPECT_EQ(repeat.at("min"), 1);
  EXPECT_TRUE(repeat.at("max").is_null());
  EXPECT_EQ(repeat.at("greedy"), true);
  EXPECT_EQ(repeat.at("quantifier"), "+");

  // Diagnostics in the order of the pattern: the letter escape, its count, then the fault.
  const nlohmann::json& d = a.at("diagnostics");
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0].at("code"), "letter-escape");
  EXPECT_EQ(d[0].at("byteStart"), 11);
  EXPECT_TRUE(d[0].at("error").is_null());
  EXPECT_EQ(d[1].at("code"), "brace-count");
  const nlohmann::json& fault = d[2].at("error");
  EXPECT_EQ(d[2].at("severity"), "error");
  EXPECT_EQ(fault.at("number"), 20050);
  EXPECT_EQ(fault.at("kind"), "pattern-syntax");
  EXPECT_EQ(fault.at("report"),
            "Error #20050: Error in Quarn.MatchSquareBrackets: Invalid range in regular "
            "expression [z-a]");
  EXPECT_EQ(fault.at("position"), 13);
  EXPECT_EQ(fault.at("bytePosition"), 16);
  EXPECT_EQ(a.at("facts").at("faultFree"), false);

  // A class lists its members; the facts say what every match needs.
  const nlohmann::json words = Analyzed("[a-c\\n_]x+y", quarn::reIgnoreCase);
  const nlohmann::json& members = words.at("tree").at("children").at(0).at("members");
  EXPECT_EQ(members.at(0).at("fromCode"), 'a');
  EXPECT_EQ(members.at(0).at("to"), "c");
  EXPECT_EQ(members.at(1).at("lineBreak"), true);
  EXPECT_EQ(members.at(2).at("from"), "_");
  const nlohmann::json& facts = words.at("facts");
  EXPECT_EQ(facts.at("minLength"), 3);
  EXPECT_EQ(facts.at("requiredLiterals"), nlohmann::json::array({"xy"}));
  EXPECT_EQ(facts.at("levelsPerCharacter"), 1);
  EXPECT_EQ(facts.at("depthSafeLength"), 499);

  // Refused before it is read: the options' error, with the pattern's tree kept; a pattern
  // that is not UTF-8 has no tree to keep.
  const nlohmann::json both = Analyzed("ab", quarn::reSingleLine | quarn::reMultiline);
  EXPECT_EQ(both.at("diagnostics").at(0).at("error").at("kind"), "invalid-options");
  EXPECT_EQ(both.at("tree").at("kind"), "sequence");
  const nlohmann::json bad = Analyzed("a\xFF");
  EXPECT_EQ(bad.at("diagnostics").at(0).at("error").at("kind"), "invalid-utf8");
  EXPECT_EQ(bad.at("tree").at("kind"), "error");
  EXPECT_EQ(bad.at("facts").at("complete"), false);
}

}  // namespace
