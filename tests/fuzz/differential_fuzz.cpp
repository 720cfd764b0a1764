// libFuzzer target: arbitrary bytes become one or two engine calls, run through the engine
// and the rewriting reference, and the first call once more as a search with a lowered depth
// limit; any difference in an answer or a report is a crash, and so is a fault that the
// pattern's diagnostics miss or a subject its facts wrongly say cannot match. The first call
// also goes through every entry point of the engine (edges.h), which must all agree. Run it
// with scripts/fuzz. Inputs it finds go into tests/engine/differential_regressions.txt.
//
// Bytes: the first selects the flags of each call (low nibble, high nibble); then come
// pattern, text, pattern, text, separated by 0xFF bytes. Every other byte is one code unit
// (Latin-1), except 0xFE, which stands for U+0178, 0xFC and 0xFB, the high and the low half of
// U+1F600 (alone, a lone surrogate), and a text that begins with 0xFD byte c, which stands for
// 495 + (c % 12) copies of "a" (the depth limit's neighbourhood).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "compare.h"
#include "edges.h"

namespace {

std::u16string Unit(uint8_t byte) {
  switch (byte) {
    case 0xFE:
      return u"\u0178";
    case 0xFC:
      return std::u16string(1, char16_t{0xD83D});
    case 0xFB:
      return std::u16string(1, char16_t{0xDE00});
    default:
      return std::u16string(1, char16_t{byte});
  }
}

void Fail(const std::vector<quarn::reference::Call>& calls, const std::string& what) {
  std::fprintf(stderr, "%s on:\n", what.c_str());
  for (const auto& call : calls)
    std::fprintf(stderr, "%s\n", quarn::reference::RegressionLine(call).c_str());
}

std::vector<quarn::reference::Call> Decode(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  const uint8_t flags = data[0];
  std::vector<std::u16string> fields(1);
  for (size_t i = 1; i < size && fields.size() <= 4; ++i) {
    if (data[i] == 0xFF) {
      fields.emplace_back();
    } else if (data[i] == 0xFD && fields.size() % 2 == 0 && fields.back().empty() && i + 1 < size) {
      fields.back() = std::u16string(495 + data[++i] % 12, u'a');
    } else {
      fields.back() += Unit(data[i]);
    }
  }
  std::vector<quarn::reference::Call> calls;
  for (size_t k = 0; k < fields.size(); k += 2) {
    const std::u16string text = k + 1 < fields.size() ? fields[k + 1] : u"";
    calls.push_back({text, fields[k], k == 0 ? flags & 0x0F : flags >> 4});
  }
  return calls;
}

[[noreturn]] void Differ(const std::vector<quarn::reference::Call>& calls,
                         const quarn::reference::Comparison& c, const std::string& how) {
  Fail(calls, "The engine and the reference differ" + how);
  std::fprintf(stderr, "engine:\n%s\nreference:\n%s\n", c.engine.c_str(), c.reference.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<quarn::reference::Call> calls = Decode(data, size);
  if (calls.empty()) return 0;
  // The first search alone, with a depth limit that small inputs reach, the engine also
  // remembering failures from its first step. Only with valid options, so that the calls
  // below begin by resetting the match state that the reference's search leaves behind.
  if ((calls[0].flags & 6) != 6) {
    const uint32_t depth = 16 + static_cast<uint32_t>(size % 64);
    const quarn::reference::Comparison lowered =
        quarn::reference::CompareSearch(calls[0], depth, 100000);
    if (lowered.verdict == quarn::reference::Verdict::kDifferent) {
      Differ({calls[0]}, lowered, " at depth " + std::to_string(depth));
    }
  }
  const quarn::reference::Comparison c = quarn::reference::Compare(calls, 100000);
  if (c.verdict == quarn::reference::Verdict::kDifferent) Differ(calls, c, "");
  if (c.verdict == quarn::reference::Verdict::kSame) {
    quarn::reference::AnalysisTally tally;
    const std::string disagreement = quarn::reference::CheckAnalyses(calls, c, tally);
    if (!disagreement.empty()) {
      Fail(calls, "The analysis disagrees with the reference");
      std::fprintf(stderr, "%s\n", disagreement.c_str());
      std::abort();
    }
  }
  // Lowered limits that vary with the input.
  const quarn::reference::EdgeLimits edgeLimits{static_cast<uint32_t>(10 + size * 37 % 400),
                                                1 + size * 101 % 3000};
  const quarn::reference::EdgeVerdict edges = quarn::reference::CheckEdges(calls[0], edgeLimits);
  if (edges.failure.empty()) return 0;
  Fail({calls[0]}, "The entry points differ");
  std::fprintf(stderr, "%s\n", edges.failure.c_str());
  std::abort();
}
