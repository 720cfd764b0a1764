// The workloads. Subjects and patterns are plain 16-bit text, as Quarn takes them; engines
// that work on bytes convert them once, before anything is timed.
#include "workloads.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "quarn/quarn.h"

namespace quarn_bench {

namespace {

struct Example {
  const char* name;
  const char* caption;
  std::u16string text;
  std::u16string pattern;
};

// The examples of the demo window, in its order. Entries 1, 3 and 17 leave the texts to us.
std::vector<Example> DemoExamples() {
  return {
      {"01_email", "Email address",
       u"Write to the maintainers at bench.team@example.org for a copy of the results.",
       uR"(([A-Za-z0-9_\.-]+)@([A-Za-z0-9_\.-]+[A-Za-z0-9_][A-Za-z0-9_]))"},
      {"02_dollars", "Dollars", u"Make $50,000.00 fast with this no risk system!",
       uR"(\$\d{1,3}(?:,\d{3})*(?:\.\d{2})?\b)"},
      {"03_ip_address", "IP Address",
       u"The build server answers at 192.168.10.254 on the office network.",
       uR"([1-2]?[0-9]{1,2}\.[1-2]?[0-9]{1,2}\.[1-2]?[0-9]{1,2}\.[1-2]?[0-9]{1,2})"},
      {"04_long_date", "Long date", u"It was 14 Dec 1997 when this program was being worked on",
       uR"(([1-2][0-9]|[1-9]|3[01]) ([A-Z][a-z][a-z]+) ((?:19|20)?[0-9][0-9]))"},
      {"05_float", "VB Floating point number", u"-10.23E-12",
       uR"([+-]?([0-9]*\.[0-9]+|[0-9]+)([EeDd][+-]?[0-9]+)?)"},
      {"06_vb_string", "VB String",
       uR"vb(Print "VB means ""Visual Basic"", right?" & "And another string (doesn't match)")vb",
       uR"("(?:[^"]|"")*(?:"|$))"},
      {"07_vb_const", "VB #const statement", u"#const abc = 100",
       u"^#[Cc][Oo][Nn][Ss][Tt]\\s+([A-Za-z_\u00C7\u00FF]\\w+)\\s*=\\s*(\\S.*)\\s*$"},
      {"08_vb_if", "VB #if statement", u"#If abc Then",
       uR"(^#[Ii][Ff]\s+(\S.*)\s+[Tt][Hh][Ee][Nn]$)"},
      {"09_c_string", "C-style String",
       uR"(puts("Let's have a C-style \"string\" with lots of \\escapes\\");)",
       uR"re("((?:[^"\n\\]|\\.)*?)")re"},
      {"10_greedy", "Greedy matching", u"The food is under the bar in the barn", u"foo.*bar"},
      {"11_stingy", "Stingy / minimal  matching", u"The food is under the bar in the barn",
       u"foo.*?bar"},
      {"12_repeated_words", "Repeated words", u"This is is is issued", uR"(\b(\w+)(?:\s+\1)+\b)"},
      {"13_caps_lock", "cAPS lOCK sYNDROME", u"There is SOMETHING Wrong with mY cAPS lOCK Button!",
       uR"(\b[a-z][A-Z]+(?:[^A-Za-z]+[a-z][A-Z]+)*\b)"},
      {"14_two_initials", "TWo BIg INitials", u"I really ENjoy WRiting LIke THIS",
       uR"(\b[A-Z]{2}[a-z]+(?:[^A-Za-z]+[A-Z]{2}[a-z]+)*\b)"},
      {"15_negative_lookahead", "Lookaheads: Negative assertion",
       u"It took 11 years to buy 11 companies", uR"([0-9]+ (?!years)[a-zA-Z]+)"},
      {"16_positive_lookahead", "Lookaheads: Positive assertion",
       u"A foo without bar isn't enough, we need foobar", uR"(foo(?=bar))"},
      // An invented surname; the pattern takes the whole run of spellings.
      {"17_surname", "Ways to misspell Zelquo",
       u"Zelquo Zellquo Zelkwo Zelquoh Selquo Zelqo Zelquow Zellkwo Zelcuo Xelquo Zelquoe "
       u"Zhelquo Zelkuo",
       uR"(((?:[ZSX]h?el(?:l?(?:qu?|kw?|c)u?o)[hwe]?) ?)+)"},
  };
}

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

void AddDemo(std::vector<Workload>& out) {
  for (Example& example : DemoExamples()) {
    out.push_back({"demo",
                   example.name,
                   example.caption,
                   std::move(example.pattern),
                   0,
                   {std::move(example.text)}});
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

}  // namespace

std::vector<Workload> AllWorkloads(const std::string& corpusPath) {
  const std::string text = ReadFile(corpusPath);
  std::vector<Workload> workloads;
  AddDemo(workloads);
  AddCorpus(workloads, text);
  AddGrowth(workloads, text);
  AddPathological(workloads);
  return workloads;
}

}  // namespace quarn_bench
