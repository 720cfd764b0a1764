// Searches from several threads at once: one compiled pattern shared by eight threads, a
// pattern per thread, one Text searched by eight threads (a Latin-1 one making its UTF-16 form
// for the first group asked for), and the legacy calls hammered from every thread. Each thread must
// get exactly what one thread alone gets. Run under ThreadSanitizer by the tsan preset, this is
// what finds races in the shared pattern graph, which searches extend as they reach new
// pattern texts.
#include <gtest/gtest.h>

#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "quarn/pattern.h"
#include "quarn/quarn.h"
#include "quarn/utf.h"

namespace {

struct Job {
  std::u16string pattern;
  std::u16string text;
};

// Patterns that reach many texts of the graph, with subjects that make them backtrack.
const std::vector<Job>& Jobs() {
  static const std::vector<Job> jobs = {
      {u"([A-Za-z0-9_\\.-]+)@([A-Za-z0-9_\\.-]+[A-Za-z0-9_][A-Za-z0-9_])",
       u"Mail help.desk@example.org today"},
      {u"\\$\\d{1,3}(?:,\\d{3})*(?:\\.\\d{2})?\\b", u"Make $50,000.00 fast"},
      {u"\\b(\\w+)(?:\\s+\\1)+\\b", u"This is is is issued"},
      {u"(a|aa)+[bc]", std::u16string(60, u'a')},  // [bc]: no literal lets it be skipped
      {u"(?:x{2,5}y)+z", u"xxyxxxxxyxxyxxxy"},
      {u"[0-9]+ (?!years)[a-zA-Z]+", u"It took 11 years to buy 11 companies"},
      {u"(\\d+)(?:\\.(\\d+))?", u"version 10.4 and 3"},
      {u"a*", std::u16string(600, u'a')},
      {u"(a|a)*\\1b", std::u16string(60, u'a')},
      {u"(?:(?:(?:(a)|b)c?)+(?=(a)))+\\2", u"abababaaab"},
  };
  return jobs;
}

// What a search answered, in a form that compares simply.
std::vector<int64_t> Answer(const quarn::SearchResult& r) {
  if (r.error()) return {-2, r.error()->number};
  if (!r) return {-1};
  std::vector<int64_t> spans;
  for (int n = 0; n <= r.match().groupCount(); ++n) {
    const auto& s = r.match().span(n);
    spans.push_back(s ? static_cast<int64_t>(s->start) : -1);
    spans.push_back(s ? static_cast<int64_t>(s->end) : -1);
  }
  return spans;
}

// Runs body(thread) on eight threads that all start at once.
template <typename Body>
void OnEightThreads(Body body) {
  constexpr int kThreads = 8;
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      body(t);
    });
  }
  for (std::thread& thread : threads)
    thread.join();
}

std::vector<std::vector<int64_t>> SingleThreaded() {
  std::vector<std::vector<int64_t>> answers;
  for (const Job& job : Jobs())
    answers.push_back(Answer(quarn::Pattern(job.pattern).search(job.text)));
  return answers;
}

TEST(Threads, OneFreshPatternSharedByEightThreads) {
  const auto expected = SingleThreaded();
  // Fresh patterns, so that the threads extend each pattern's graph at the same time.
  std::vector<quarn::Pattern> patterns;
  for (const Job& job : Jobs())
    patterns.emplace_back(job.pattern);
  std::vector<std::vector<std::vector<int64_t>>> got(8);
  OnEightThreads([&](int t) {
    for (int round = 0; round < 20; ++round) {
      for (size_t i = 0; i < Jobs().size(); ++i) {
        const size_t k = (i + static_cast<size_t>(t)) % Jobs().size();
        if (round == 0) got[t].resize(Jobs().size());
        got[t][k] = Answer(patterns[k].search(Jobs()[k].text));
      }
    }
  });
  for (const auto& answers : got)
    EXPECT_EQ(answers, expected);
}

// The first thread to need a fresh pattern's analysis (a search of a short subject, or a
// question about the pattern) makes it; the others wait for it and read the same.
TEST(Threads, TheAnalysisIsMadeOnceWhileThreadsAskAndSearch) {
  std::vector<std::string> expected;
  std::vector<quarn::Pattern> patterns;
  for (const Job& job : Jobs()) {
    expected.push_back(quarn::Pattern(job.pattern).explainJson());
    patterns.emplace_back(job.pattern);
  }
  std::vector<std::vector<std::string>> got(8, std::vector<std::string>(Jobs().size()));
  OnEightThreads([&](int t) {
    for (size_t i = 0; i < Jobs().size(); ++i) {
      const size_t k = (i + static_cast<size_t>(t)) % Jobs().size();
      if (t % 2 == 1) patterns[k].search(Jobs()[k].text);
      got[t][k] = patterns[k].explainJson();
    }
  });
  for (const auto& answers : got)
    EXPECT_EQ(answers, expected);
}

TEST(Threads, APatternPerThread) {
  const auto expected = SingleThreaded();
  std::vector<std::vector<std::vector<int64_t>>> got(8);
  OnEightThreads([&](int t) {
    for (const Job& job : Jobs())
      got[t].push_back(Answer(quarn::Pattern(job.pattern).search(job.text)));
  });
  for (const auto& answers : got)
    EXPECT_EQ(answers, expected);
}

// One UTF-8 Text searched by eight threads at once, each from its own start bytes, and the
// matches read after the threads that made them have gone.
TEST(Threads, OneTextSearchedByEightThreads) {
  std::string bytes;
  for (int i = 0; i < 200; ++i)
    bytes += "caf\xC3\xA9 \xF0\x9F\x98\x80 " + std::to_string(i) + "\n";
  quarn::Limits limits;
  limits.subjectLength = 1 << 20;
  const quarn::Text text(bytes, limits);
  const quarn::Pattern number("\\d+");
  std::vector<std::string> expected;
  for (const quarn::Match& m : number.matches(text, limits))
    expected.emplace_back(m.group8());
  std::vector<std::vector<quarn::Match>> got(8);
  OnEightThreads([&](int t) {
    const quarn::Text copy = text;  // copies share the decoded text
    for (size_t start = 0;;) {
      const quarn::SearchResult r = number.search(t % 2 == 0 ? text : copy, start, limits);
      if (!r) break;
      got[t].push_back(r.match());
      start = r.match().byteEnd();
    }
  });
  for (const std::vector<quarn::Match>& matches : got) {
    std::vector<std::string> found;
    for (const quarn::Match& m : matches)
      found.emplace_back(m.group8());
    EXPECT_EQ(found, expected);
  }
}

// A Latin-1 Text searched by eight threads, each asking for the groups' text at once: the
// UTF-16 form that groups view is made by one of them, and all see the same.
TEST(Threads, OneLatin1TextWidenedOnceForEightThreads) {
  std::string bytes;
  for (int i = 0; i < 200; ++i)
    bytes += "caf\xE9 " + std::to_string(i) + "\n";
  const quarn::Text text = quarn::Text::Latin1(bytes);
  const quarn::Pattern number("\\d+");
  std::vector<std::u16string> expected;
  for (const quarn::Match& m : number.matches(quarn::Text(quarn::Latin1ToUtf16(bytes))))
    expected.emplace_back(m.group());
  std::vector<std::vector<std::u16string>> got(8);
  std::vector<const char16_t*> units(8);
  OnEightThreads([&](int t) {
    for (const quarn::Match& m : number.matches(text))
      got[t].emplace_back(m.group());
    units[t] = text.units().data();
  });
  for (int t = 0; t < 8; ++t) {
    EXPECT_EQ(got[t], expected) << t;
    EXPECT_EQ(units[t], units[0]) << t;
  }
}

TEST(Threads, LegacyCallsFromEveryThreadNeverCorruptTheState) {
  std::vector<int> wrong(8, 0);
  OnEightThreads([&](int t) {
    for (int round = 0; round < 200; ++round) {
      const Job& job = Jobs()[static_cast<size_t>(round + t) % 3];
      // Each call answers for its own search, whatever the other threads store meanwhile.
      if (!quarn::Quarn(job.text, job.pattern, 0)) ++wrong[t];
      int32_t start = 0;
      int32_t length = 0;
      quarn::QuarnIndex(quarn::reMatch, start, length);
    }
  });
  EXPECT_EQ(wrong, std::vector<int>(8, 0));
}

}  // namespace
