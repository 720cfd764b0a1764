// A loop of searches over one long UTF-8 text, as a C or C++ caller writes it (each search
// starts at the byte where the last match ended), against matches(), which searches the same
// way inside: with the subject given as a std::string_view (the C++ call decodes it again on
// every search, and so does quarn_search) and as a quarn::Text / quarn_text decoded once.
// The time includes decoding. The text is the corpus with a 2-, 3- and 4-byte character in
// every line, repeated up to the size; the pattern finds every "the". The ascii/ variants
// search the corpus alone, which a Text reads byte by byte without a UTF-16 copy.
//
// --smoke runs each benchmark once on the smallest size, for the test that keeps it building.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "quarn/pattern.h"
#include "quarn/quarn_c.h"

namespace {

const char* const kPattern = "\\bthe\\b";

// The corpus, every line with non-ASCII characters added unless ascii.
std::string Corpus(bool ascii) {
  std::ifstream file(QUARN_BENCH_CORPUS, std::ios::binary);
  if (!file) throw std::runtime_error(std::string("cannot read ") + QUARN_BENCH_CORPUS);
  std::ostringstream lines;
  for (std::string line; std::getline(file, line);)
    lines << line << (ascii ? "\n" : " caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\n");
  return lines.str();
}

// Which text a benchmark searches: the range's second argument is 1 for the ASCII corpus.
bool AsciiOf(const benchmark::State& state) {
  return state.range(1) != 0;
}

// The corpus repeated up to size bytes, cut where a line ends.
const std::string& Subject(size_t size, bool ascii) {
  static const std::string corpora[2] = {Corpus(false), Corpus(true)};
  static std::string texts[2];
  const std::string& corpus = corpora[ascii ? 1 : 0];
  std::string& text = texts[ascii ? 1 : 0];
  if (text.size() != size) {
    text.clear();
    while (text.size() < size)
      text += corpus.substr(0, size - text.size());
    text.resize(text.rfind('\n', size - 1) + 1);
  }
  return text;
}

quarn::Limits Unlimited() {
  quarn::Limits limits;
  limits.subjectLength = UINT32_MAX;
  return limits;
}

// The loop of a caller: from where the last match ended (no match here is empty).
template <typename Subject>
size_t Chain(const quarn::Pattern& pattern, const Subject& subject) {
  size_t found = 0;
  for (size_t start = 0;;) {
    const quarn::SearchResult r = pattern.search(subject, start, Unlimited());
    if (!r) return found;
    ++found;
    start = r.match().byteEnd();
  }
}

void LoopOfSearches(benchmark::State& state, bool prepared) {
  const std::string& bytes = Subject(static_cast<size_t>(state.range(0)), AsciiOf(state));
  const quarn::Pattern pattern(kPattern);
  size_t found = 0;
  for (auto _ : state) {
    found = prepared ? Chain(pattern, quarn::Text(bytes, Unlimited()))
                     : Chain(pattern, std::string_view(bytes));
    benchmark::DoNotOptimize(found);
  }
  state.counters["matches"] = static_cast<double>(found);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void EveryMatch(benchmark::State& state, bool prepared) {
  const std::string& bytes = Subject(static_cast<size_t>(state.range(0)), AsciiOf(state));
  const quarn::Pattern pattern(kPattern);
  size_t found = 0;
  for (auto _ : state) {
    found = 0;
    quarn::Matches all = prepared ? pattern.matches(quarn::Text(bytes, Unlimited()), Unlimited())
                                  : pattern.matches(std::string_view(bytes), Unlimited());
    for (const quarn::Match& m : all)
      found += m.byteEnd() > m.byteStart() ? 1 : 0;
    benchmark::DoNotOptimize(found);
  }
  state.counters["matches"] = static_cast<double>(found);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

// The same loop through the C interface.
void CLoopOfSearches(benchmark::State& state, bool prepared) {
  const std::string& bytes = Subject(static_cast<size_t>(state.range(0)), AsciiOf(state));
  quarn_error error;
  quarn_pattern* pattern = quarn_compile(kPattern, QUARN_NUL_TERMINATED, 0, &error);
  const quarn_limits limits = {0, UINT32_MAX, 0, nullptr};
  size_t found = 0;
  for (auto _ : state) {
    found = 0;
    quarn_text* text =
        prepared ? quarn_text_new(bytes.data(), bytes.size(), &limits, &error) : nullptr;
    quarn_span span;
    for (size_t start = 0;; ++found) {
      const int answer =
          prepared
              ? quarn_search_text(pattern, text, start, &limits, &span, 1, &error)
              : quarn_search(pattern, bytes.data(), bytes.size(), start, &limits, &span, 1, &error);
      if (answer != QUARN_MATCH) break;
      start = static_cast<size_t>(span.end);
    }
    quarn_text_free(text);
    benchmark::DoNotOptimize(found);
  }
  quarn_free(pattern);
  state.counters["matches"] = static_cast<double>(found);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void Register(bool smoke) {
  struct Variant {
    const char* name;
    void (*run)(benchmark::State&, bool);
    bool prepared;
    bool ascii;
  };
  const Variant variants[] = {
      {"utf8/loop/string_view", LoopOfSearches, false, false},
      {"utf8/loop/Text", LoopOfSearches, true, false},
      {"utf8/matches/string_view", EveryMatch, false, false},
      {"utf8/matches/Text", EveryMatch, true, false},
      {"utf8/c-loop/quarn_search", CLoopOfSearches, false, false},
      {"utf8/c-loop/quarn_text", CLoopOfSearches, true, false},
      {"ascii/loop/Text", LoopOfSearches, true, true},
      {"ascii/matches/Text", EveryMatch, true, true},
      {"ascii/c-loop/quarn_text", CLoopOfSearches, true, true},
  };
  for (const Variant& v : variants) {
    auto* benchmark = benchmark::RegisterBenchmark(
        v.name, [v](benchmark::State& state) { v.run(state, v.prepared); });
    const int64_t ascii = v.ascii ? 1 : 0;
    benchmark->Unit(benchmark::kMillisecond)->Args({64 << 10, ascii});
    if (smoke) {
      benchmark->Iterations(1);
    } else {
      benchmark->Args({256 << 10, ascii})->Args({1 << 20, ascii});
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool smoke = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--smoke") == 0) {
      smoke = true;
      std::memmove(argv + i, argv + i + 1, sizeof(char*) * (argc - i));
      --argc;
      break;
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  Register(smoke);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
