// The workloads. Subjects and patterns are plain 16-bit text, as Quarn takes them; engines
// that work on bytes convert them once, before anything is timed.
#include "workloads.h"

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "examples.h"
#include "quarn/quarn.h"
#include "quarn/utf.h"

namespace quarn_bench {

namespace {

struct CorpusSearch {
  const char* name;
  const char* caption;
  std::u16string pattern;
  int32_t flags;
};

// Typical searches over English text: each runs on every line and counts the lines that match.
std::vector<CorpusSearch> CorpusSearches() {
  return {
      {"word", "a word", u"software", 0},
      {"alternation", "words with alternation", u"(copyright|patent|trademark)", 0},
      {"number", "numbers with quantifiers", uR"(\b(\d+)(?:\.(\d+))?\b)", 0},
      {"backreference", "doubled word (back reference)", uR"(\b(\w+)\s+\1\b)", 0},
      {"lookahead", "word before \"ing\" (lookahead)", uR"(\b\w+(?=ing\b))", 0},
      {"ignore_case", "a word, ignoring case", u"license", quarn::reIgnoreCase},
  };
}

// The pattern of the growth workloads and what it finds at the end of each subject. Every
// start position is a fresh, shallow attempt, so the matcher's depth does not grow with the
// subject.
constexpr std::u16string_view kGrowthPattern = u"([0-9]{4})-([0-9]{2})-([0-9]{2})";
constexpr std::u16string_view kGrowthTarget = u"2007-06-29";
constexpr size_t kGrowthLengths[] = {10, 100, 1000, 10000};

// "(a|aa)+b" never matches a run of "a": a backtracking matcher tries every way of cutting
// the run into ones and twos, a number of ways that grows like the Fibonacci numbers. Some
// engines first look for the "b" that every match needs; the second series ends the run with
// "cb" so that this shortcut finds one and the backtracking has to be done.
constexpr std::u16string_view kPathologicalPattern = u"(a|aa)+b";
constexpr size_t kPathologicalLengths[] = {5, 10, 15, 20};
constexpr std::u16string_view kRequiredLetterEnd = u"cb";

// Nested quantifiers over runs of "a" without the "b" that a match needs, long enough to
// reach the depth that Quarn allows a search: its answer is "no match" on the short runs and
// the depth-limit error on the long ones, both its exact behaviour. Only PCRE2's interpreter
// is compared, where it agrees: it answers after one scan for the "b", while the other peers
// would backtrack without end, give up or not backtrack at all.
struct NestedPattern {
  const char* name;
  const char* caption;
  std::u16string_view pattern;
};
constexpr NestedPattern kNestedPatterns[] = {
    {"alternation", "a repeated alternation", u"(a|aa)+b"},
    {"plus", "a repeated repetition", u"(a+)+b"},
};
constexpr size_t kNestedLengths[] = {25, 50, 100, 199, 400};

// Back references after nested quantifiers, which the matcher can remember failures of only
// together with the captures that the back reference reads; the same peers as above.
constexpr NestedPattern kBackReferencePatterns[] = {
    {"alternation", "a repeated alternation, then its back reference", u"(a|a)*\\1b"},
    {"plus", "a repeated repetition, then its back reference", u"(a+)+\\1b"},
    {"word", "repeated words, then a back reference", u"(\\w+)*\\1x"},
};
constexpr size_t kBackReferenceLengths[] = {25, 100, 400};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read the corpus " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The corpus is expected to be ASCII English; each byte becomes one character.
std::vector<std::u16string> Lines(const std::string& text) {
  std::vector<std::u16string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.emplace_back(line.begin(), line.end());
  return lines;
}

// The corpus as running text without digits, so that only the target at the end of a growth
// subject can match.
std::u16string Filler(const std::string& text) {
  std::u16string filler;
  for (const char c : text) {
    if (c >= '0' && c <= '9') continue;
    filler += c == '\n' ? u' ' : static_cast<char16_t>(static_cast<unsigned char>(c));
  }
  return filler;
}

std::string Number(size_t n) {
  char text[32];
  std::snprintf(text, sizeof text, "%zu", n);
  return text;
}

// A benchmark name for a demo example: its number and its caption in lower case, e.g.
// "12_repeated_words".
std::string DemoName(size_t index, std::u16string_view caption) {
  char number[8];
  std::snprintf(number, sizeof number, "%02zu_", index);
  std::string name = number;
  for (const char16_t c : caption) {
    if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) {
      name += static_cast<char>(c);
    } else if (c >= u'A' && c <= u'Z') {
      name += static_cast<char>(c - u'A' + 'a');
    } else if (name.back() != '_') {
      name += '_';
    }
  }
  if (name.back() == '_') name.pop_back();
  return name;
}

// The demo window's examples, in its order; entry 0 selects nothing.
void AddDemo(std::vector<Workload>& out) {
  for (size_t i = 1; i < quarn::demo::kExamples.size(); ++i) {
    const quarn::demo::Example& example = quarn::demo::kExamples[i];
    out.push_back({"demo",
                   DemoName(i, example.caption),
                   quarn::Utf16ToUtf8(example.caption),
                   std::u16string(example.pattern),
                   0,
                   {std::u16string(example.text)}});
  }
}

void AddCorpus(std::vector<Workload>& out, const std::string& text) {
  const std::vector<std::u16string> lines = Lines(text);
  for (CorpusSearch& search : CorpusSearches()) {
    out.push_back(
        {"corpus", search.name, search.caption, std::move(search.pattern), search.flags, lines});
  }
}

void AddGrowth(std::vector<Workload>& out, const std::string& text) {
  const std::u16string filler = Filler(text);
  for (const size_t length : kGrowthLengths) {
    const size_t lead = length - kGrowthTarget.size();
    if (filler.size() < lead) throw std::runtime_error("the corpus is too short");
    out.push_back({"growth",
                   Number(length),
                   Number(length) + " characters",
                   std::u16string(kGrowthPattern),
                   0,
                   {filler.substr(0, lead) + std::u16string(kGrowthTarget)}});
  }
}

void AddPathological(std::vector<Workload>& out) {
  for (const size_t length : kPathologicalLengths) {
    out.push_back({"pathological",
                   Number(length),
                   Number(length) + " \"a\"",
                   std::u16string(kPathologicalPattern),
                   0,
                   {std::u16string(length, u'a')}});
  }
  for (const size_t length : kPathologicalLengths) {
    out.push_back({"pathological_cb",
                   Number(length),
                   Number(length) + " \"a\", then \"cb\"",
                   std::u16string(kPathologicalPattern),
                   0,
                   {std::u16string(length, u'a') + std::u16string(kRequiredLetterEnd)}});
  }
}

void AddNested(std::vector<Workload>& out) {
  for (const NestedPattern& nested : kNestedPatterns) {
    for (const size_t length : kNestedLengths) {
      out.push_back({"nested",
                     std::string(nested.name) + "_" + Number(length),
                     Number(length) + " \"a\", " + nested.caption,
                     std::u16string(nested.pattern),
                     0,
                     {std::u16string(length, u'a')},
                     true,
                     {"PCRE2"}});
    }
  }
}

void AddBackReferences(std::vector<Workload>& out) {
  for (const NestedPattern& nested : kBackReferencePatterns) {
    for (const size_t length : kBackReferenceLengths) {
      out.push_back({"backref",
                     std::string(nested.name) + "_" + Number(length),
                     Number(length) + " \"a\", " + nested.caption,
                     std::u16string(nested.pattern),
                     0,
                     {std::u16string(length, u'a')},
                     true,
                     {"PCRE2"}});
    }
  }
}

}  // namespace

std::vector<Workload> AllWorkloads(const std::string& corpusPath) {
  const std::string text = ReadFile(corpusPath);
  std::vector<Workload> workloads;
  AddDemo(workloads);
  AddCorpus(workloads, text);
  AddGrowth(workloads, text);
  AddPathological(workloads);
  AddNested(workloads);
  AddBackReferences(workloads);
  return workloads;
}

std::string WorkloadsJson(const std::vector<Workload>& workloads) {
  nlohmann::json all = nlohmann::json::array();
  for (const Workload& workload : workloads) {
    nlohmann::json subjects = nlohmann::json::array();
    for (const std::u16string& subject : workload.subjects)
      subjects.push_back(quarn::Utf16ToUtf8(subject));
    all.push_back({{"family", workload.family},
                   {"name", workload.name},
                   {"caption", workload.caption},
                   {"pattern", quarn::Utf16ToUtf8(workload.pattern)},
                   {"flags", workload.flags},
                   {"subjects", std::move(subjects)}});
  }
  return all.dump(1) + "\n";
}

}  // namespace quarn_bench
