// The time that the analysis of a pattern takes (quarn/analysis.h): compiling the pattern and
// asking for its diagnostics, which makes the whole analysis (tree, diagnostics, facts). The
// patterns are the demo examples, bad input (a million characters, ten thousand nested
// groups, ill-formed UTF-8), and long ones whose reading grows with their length, each at two
// lengths so that the growth shows: the analysis should grow linearly with the pattern, or
// answer with an error value at once.
//
//   quarn_bench_analysis [Google Benchmark flags]   e.g. --benchmark_filter=bad
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "examples.h"
#include "quarn/pattern.h"
#include "quarn/utf.h"

namespace {

std::u16string Times(std::u16string_view piece, size_t n) {
  std::u16string text;
  for (size_t i = 0; i < n; ++i)
    text += piece;
  return text;
}

std::u16string Nested(std::u16string_view open, size_t depth) {
  return Times(open, depth) + u"a" + Times(u")", depth);
}

// Words of four letters, "wabx|wbbx|...", as a word list given to grep -f becomes.
std::u16string Words(size_t n) {
  std::u16string words;
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) words += u'|';
    words += u'w';
    words += static_cast<char16_t>(u'a' + i % 26);
    words += static_cast<char16_t>(u'a' + (i / 26) % 26);
    words += u'x';
  }
  return words;
}

std::u16string Literal(size_t n) {
  std::u16string text(n, u'a');
  for (size_t i = 0; i < n; ++i)
    text[i] = static_cast<char16_t>(u'a' + i % 26);
  return text;
}

void Analyze(benchmark::State& state, std::u16string pattern) {
  size_t diagnostics = 0;
  for (auto _ : state) {
    const quarn::Pattern compiled(pattern);
    diagnostics = compiled.diagnostics().size();
    benchmark::DoNotOptimize(diagnostics);
  }
  state.counters["chars"] = static_cast<double>(pattern.size());
  state.counters["diagnostics"] = static_cast<double>(diagnostics);
}

void AnalyzeUtf8(benchmark::State& state, std::string pattern) {
  for (auto _ : state) {
    const quarn::Pattern compiled{std::string_view(pattern)};
    benchmark::DoNotOptimize(compiled.diagnostics().size());
  }
  state.counters["bytes"] = static_cast<double>(pattern.size());
}

// family + "/" + name, appended piece by piece: GCC 12 at -O3 takes "x" + text for an
// overlapping copy.
std::string Name(std::string family, const std::string& name) {
  family += '/';
  family += name;
  return family;
}

void Register() {
  for (size_t i = 1; i < quarn::demo::kExamples.size(); ++i) {
    const quarn::demo::Example& example = quarn::demo::kExamples[i];
    benchmark::RegisterBenchmark(Name("demo", quarn::Utf16ToUtf8(example.caption)).c_str(), Analyze,
                                 std::u16string(example.pattern));
  }
  benchmark::RegisterBenchmark("bad/million_characters", Analyze, std::u16string(1'000'000, u'x'));
  benchmark::RegisterBenchmark("bad/10000_nested_groups", Analyze, Nested(u"(", 10'000));
  benchmark::RegisterBenchmark("bad/10000_nested_plain_groups", Analyze, Nested(u"(?:", 10'000));
  benchmark::RegisterBenchmark("bad/invalid_utf8", AnalyzeUtf8,
                               std::string(500'000, 'a') + "\xFF" + std::string(500'000, 'a'));
  for (const size_t n : {size_t{4000}, size_t{8000}}) {
    const std::string count = std::to_string(n);
    benchmark::RegisterBenchmark(Name("long/nested_plain_groups", count).c_str(), Analyze,
                                 Nested(u"(?:", n));
    benchmark::RegisterBenchmark(Name("long/literal", count).c_str(), Analyze, Literal(n * 3));
    benchmark::RegisterBenchmark(Name("long/words", count).c_str(), Analyze, Words(n / 2));
    benchmark::RegisterBenchmark(Name("long/optional_copies", count).c_str(), Analyze,
                                 u"a{0," + std::u16string(count.begin(), count.end()) + u"}b");
  }
}

}  // namespace

int main(int argc, char** argv) {
  Register();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
