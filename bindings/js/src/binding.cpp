// The engine for JavaScript: the embind classes that the package's index.js wraps (nothing
// else should call them). Texts come in as std::u16string, which embind fills unit by unit from
// the JavaScript string, so lone surrogates pass unchanged; a short subject of a search is
// written by index.js straight into the Answer's subject buffer instead, which saves the copies
// that dominate a short search. Texts that the engine makes (a replacement's result, split
// pieces, error descriptions) go back as views of the wasm heap that index.js copies out at
// once. Every search answers into an Answer: its status, the spans of the match and its
// groups, or the error.
//
// Every object lives in the wasm heap until index.js deletes it. Nothing here throws: memory
// running out becomes error 7, as in the C interface.
//
// Thread safety: a WebAssembly instance runs on one thread. A Compiled pattern is immutable;
// an Answer holds the outcome of the last call that was given it.
#include <emscripten/bind.h>
#include <emscripten/val.h>
#include <malloc.h>

#include <array>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "quarn/pattern.h"

namespace {

using emscripten::typed_memory_view;
using emscripten::val;

// What a call answers; index.js reads the rest from the Answer.
enum Status : int { kNoMatch = 0, kMatched = 1, kError = 2 };

// Where a match may lie: anywhere from the start on (search), beginning at the start (match), or
// from the start to the end of the text (fullMatch).
enum Anchoring : int { kSearch = 0, kMatch = 1, kFullMatch = 2 };

quarn::Limits MakeLimits(double depth, double subjectLength, double steps) {
  // index.js has checked that each is a whole number in range.
  quarn::Limits limits;
  limits.depth = static_cast<uint32_t>(depth);
  limits.subjectLength = static_cast<uint64_t>(subjectLength);
  limits.steps = static_cast<uint64_t>(steps);
  return limits;
}

quarn::Error OutOfMemory() {
  return quarn::Error{.number = quarn::errOutOfMemory,
                      .kind = quarn::ErrorKind::kOutOfMemory,
                      .description = u"Out of memory",
                      .position = std::nullopt};
}

// The outcome of the last search, replacement or split it was given, and the subject buffer
// of the next search.
class Answer {
 public:
  void SetMatch(const quarn::Match& match) {
    for (int n = 0; n <= match.groupCount(); ++n) {
      const auto& span = match.span(n);
      // A JavaScript string is shorter than 2^31 units, so every position fits.
      spans_[2 * n] = span ? static_cast<int32_t>(span->start) : -1;
      spans_[2 * n + 1] = span ? static_cast<int32_t>(span->end) : -1;
    }
  }
  void SetError(const quarn::Error& error) { error_ = error; }
  void SetText(std::u16string text) { text_ = std::move(text); }
  void SetPieces(const std::vector<std::u16string>& pieces) {
    text_.clear();
    pieceEnds_.clear();
    for (const std::u16string& piece : pieces) {
      text_ += piece;
      pieceEnds_.push_back(static_cast<int32_t>(text_.size()));
    }
  }

  // Where the start and end of the match, then of each group, lie in the wasm heap (-1 for a
  // group that took no part); the place stays while the Answer lives.
  uintptr_t SpansAddress() const { return reinterpret_cast<uintptr_t>(spans_.data()); }
  // Makes room for a subject of units units and says where index.js is to write it.
  uintptr_t Reserve(double units) {
    subject_.resize(static_cast<size_t>(units));
    return reinterpret_cast<uintptr_t>(subject_.data());
  }
  std::u16string_view Subject(double units) const {
    return std::u16string_view(subject_.data(), static_cast<size_t>(units));
  }
  int ErrorNumber() const { return error_.number; }
  // The engine's stable name of what went wrong: "pattern-syntax", "depth-limit", ...
  std::string ErrorKind() const { return std::string(quarn::ErrorKindName(error_.kind)); }
  val ErrorDescription() const { return Units(error_.description); }
  int ErrorPosition() const { return error_.position ? static_cast<int>(*error_.position) : -1; }
  // The replacement's result, or the split pieces one after the other.
  val Text() const { return Units(text_); }
  val PieceEnds() const { return val(typed_memory_view(pieceEnds_.size(), pieceEnds_.data())); }

 private:
  // A Uint16Array over the text's units (embind knows no view of char16_t); JavaScript reads it
  // through, never C++.
  static val Units(const std::u16string& text) {
    return val(typed_memory_view(text.size(), reinterpret_cast<const uint16_t*>(text.data())));
  }

  std::array<int32_t, 64> spans_{};  // a pattern has at most 31 groups
  std::vector<char16_t> subject_;
  quarn::Error error_;
  std::u16string text_;
  std::vector<int32_t> pieceEnds_;
};

// Runs body; memory running out ends the call with error 7 in answer.
template <typename Body>
int Guarded(Answer& answer, Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    answer.SetError(OutOfMemory());
    return kError;
  }
}

class Compiled {
 public:
  Compiled(const std::u16string& pattern, int32_t flags) {
    try {
      pattern_.emplace(std::u16string_view(pattern), flags);
    } catch (const std::bad_alloc&) {
      compileError_ = OutOfMemory();
    }
  }

  // kError with the pattern's error in answer, or kMatched when it compiled.
  int Check(Answer& answer) const {
    const std::optional<quarn::Error>& error = compileError_ ? compileError_ : pattern_->error();
    if (!error) return kMatched;
    answer.SetError(*error);
    return kError;
  }
  int GroupCount() const { return pattern_ ? pattern_->groupCount() : 0; }
  // What the engine knows about the pattern, as its JSON document (docs/pattern-analysis.md);
  // empty when memory ran out compiling it.
  std::string ExplainJson() const { return pattern_ ? pattern_->explainJson() : std::string(); }

  int Search(const std::u16string& text, int anchoring, double start, double depth,
             double subjectLength, double steps, Answer& answer) const {
    return SearchIn(text, anchoring, start, depth, subjectLength, steps, answer);
  }
  // The same for the subject of units units that index.js has written into answer.
  int SearchWritten(double units, int anchoring, double start, double depth, double subjectLength,
                    double steps, Answer& answer) const {
    return SearchIn(answer.Subject(units), anchoring, start, depth, subjectLength, steps, answer);
  }

  int Replace(const std::u16string& text, const std::u16string& replacement, double maxCount,
              double depth, double subjectLength, double steps, Answer& answer) const {
    if (!pattern_) return Check(answer);
    return Guarded(answer, [&] {
      quarn::Replaced replaced = pattern_->replace(text, replacement, static_cast<size_t>(maxCount),
                                                   MakeLimits(depth, subjectLength, steps));
      if (replaced.error) {
        answer.SetError(*replaced.error);
        return kError;
      }
      answer.SetText(std::move(replaced.text));
      return kMatched;
    });
  }

  int Split(const std::u16string& text, double maxSplit, double depth, double subjectLength,
            double steps, Answer& answer) const {
    if (!pattern_) return Check(answer);
    return Guarded(answer, [&] {
      const quarn::Split split = pattern_->split(text, static_cast<size_t>(maxSplit),
                                                 MakeLimits(depth, subjectLength, steps));
      if (split.error) {
        answer.SetError(*split.error);
        return kError;
      }
      answer.SetPieces(split.pieces);
      return kMatched;
    });
  }

  // The pattern, or nothing when memory ran out compiling it.
  const quarn::Pattern* Get() const { return pattern_ ? &*pattern_ : nullptr; }

 private:
  quarn::SearchResult Find(std::u16string_view text, int anchoring, size_t start,
                           const quarn::Limits& limits) const {
    switch (anchoring) {
      case kMatch:
        return pattern_->match(text, start, limits);
      case kFullMatch:
        return pattern_->fullMatch(text, start, limits);
      default:
        return pattern_->search(text, start, limits);
    }
  }

  int SearchIn(std::u16string_view text, int anchoring, double start, double depth,
               double subjectLength, double steps, Answer& answer) const {
    if (!pattern_) return Check(answer);
    return Guarded(answer, [&] {
      const quarn::SearchResult result = Find(text, anchoring, static_cast<size_t>(start),
                                              MakeLimits(depth, subjectLength, steps));
      if (result.error()) {
        answer.SetError(*result.error());
        return kError;
      }
      if (!result) return kNoMatch;
      answer.SetMatch(result.match());
      return kMatched;
    });
  }

  std::optional<quarn::Pattern> pattern_;
  std::optional<quarn::Error> compileError_;
};

// Every match of a subject, one at a time, as the engine's Matches finds them.
class Iteration {
 public:
  // The matches from start on; they own the subject for as long as the iteration lives.
  Iteration(const Compiled& pattern, std::u16string subject, double start, double depth,
            double subjectLength, double steps) {
    if (pattern.Get()) {
      matches_ = pattern.Get()->matches(quarn::Text(std::move(subject)), static_cast<size_t>(start),
                                        MakeLimits(depth, subjectLength, steps));
    }
  }

  // kMatched with the next match in answer, kNoMatch when there is none, or kError.
  int Next(Answer& answer) {
    if (!matches_) {  // memory ran out compiling the pattern
      answer.SetError(OutOfMemory());
      return kError;
    }
    return Guarded(answer, [&] {
      if (!current_) {
        current_ = matches_->begin();
      } else if (*current_ != matches_->end()) {
        ++*current_;
      }
      if (*current_ != matches_->end()) {
        answer.SetMatch(**current_);
        return kMatched;
      }
      if (matches_->error()) {
        answer.SetError(*matches_->error());
        return kError;
      }
      return kNoMatch;
    });
  }

 private:
  std::optional<quarn::Matches> matches_;
  std::optional<quarn::Matches::iterator> current_;
};

// Bytes of the wasm heap in use, for the package's leak test and for callers that watch it.
double HeapInUse() {
  return static_cast<double>(mallinfo().uordblks);
}

}  // namespace

EMSCRIPTEN_BINDINGS(quarn) {
  using emscripten::class_;
  emscripten::constant("version", std::string(QUARN_VERSION));
  emscripten::function("heapInUse", &HeapInUse);

  class_<Answer>("Answer")
      .constructor<>()
      .function("spansAddress", &Answer::SpansAddress)
      .function("reserve", &Answer::Reserve)
      .function("errorNumber", &Answer::ErrorNumber)
      .function("errorKind", &Answer::ErrorKind)
      .function("errorDescription", &Answer::ErrorDescription)
      .function("errorPosition", &Answer::ErrorPosition)
      .function("text", &Answer::Text)
      .function("pieceEnds", &Answer::PieceEnds);

  class_<Compiled>("Compiled")
      .constructor<const std::u16string&, int32_t>()
      .function("check", &Compiled::Check)
      .function("groupCount", &Compiled::GroupCount)
      .function("explainJson", &Compiled::ExplainJson)
      .function("search", &Compiled::Search)
      .function("searchWritten", &Compiled::SearchWritten)
      .function("replace", &Compiled::Replace)
      .function("split", &Compiled::Split);
  class_<Iteration>("Iteration")
      .constructor<const Compiled&, std::u16string, double, double, double, double>()
      .function("next", &Iteration::Next);
}
