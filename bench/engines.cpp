// The engines. Each searcher compiles its pattern and converts the subjects once, when it is
// prepared, so that Search() does only what a program that reuses a compiled pattern does:
// find the leftmost match and read back its subexpressions. Two searchers stand for programs
// that keep no compiled pattern: Quarn-legacy calls quarn::Quarn, which finds the pattern in
// its cache of recent ones, and PCRE2-compile compiles, matches and frees on every search.
//
// Quarn and PCRE2 take the 16-bit text as it is. RE2, Boost.Regex and std::regex get one
// byte per character (Latin-1), which keeps every position equal to Quarn's, since all the
// workloads stay below U+0100.
#define PCRE2_CODE_UNIT_WIDTH 16

#include "engines.h"

#include <pcre2.h>
#include <re2/re2.h>

#include <boost/regex.hpp>
#include <optional>
#include <regex>
#include <stdexcept>

#include "quarn/pattern.h"
#include "quarn/quarn.h"
#include "quarn/utf.h"

namespace quarn_bench {

namespace {

bool IgnoreCase(const Workload& workload) {
  return (workload.flags & quarn::reIgnoreCase) != 0;
}

class QuarnSearcher final : public Searcher {
 public:
  explicit QuarnSearcher(const Workload& workload)
      : workload_(workload), pattern_(workload.pattern, workload.flags) {}

  void Search(size_t subject, Outcome& outcome) override {
    result_ = pattern_.search(workload_.subjects[subject]);
    outcome.matched = result_.matched();
    outcome.failed = result_.error().has_value();
    outcome.error = outcome.failed ? result_.error()->number : 0;
    outcome.spans.clear();
    if (!outcome.matched) return;
    const quarn::Match& match = result_.match();
    for (int n = 0; n <= match.groupCount(); ++n) {
      const std::optional<quarn::Match::Span>& span = match.span(n);
      outcome.spans.push_back(span ? Span{static_cast<int32_t>(span->start),
                                          static_cast<int32_t>(span->end - span->start)}
                                   : Span{});
    }
  }

  std::string ErrorText() const override {
    return result_.error() ? result_.error()->report() : "";
  }

 private:
  const Workload& workload_;
  const quarn::Pattern pattern_;
  quarn::SearchResult result_;
};

// The legacy calls report errors to a process-wide reporter; this one keeps the last instead
// of printing it.
int32_t legacyErrors = 0;
int32_t lastLegacyError = 0;
std::string lastLegacyErrorText;

void InstallCountingReporter() {
  quarn::SetErrorReporter([](const quarn::EngineError& error, std::u16string_view text) {
    ++legacyErrors;
    lastLegacyError = error.Number;
    lastLegacyErrorText = quarn::Utf16ToUtf8(text);
  });
}

class QuarnLegacySearcher final : public Searcher {
 public:
  explicit QuarnLegacySearcher(const Workload& workload) : workload_(workload) {
    InstallCountingReporter();
  }

  void Search(size_t subject, Outcome& outcome) override {
    const int32_t errorsBefore = legacyErrors;
    outcome.matched = quarn::Quarn(workload_.subjects[subject], workload_.pattern, workload_.flags);
    outcome.failed = legacyErrors != errorsBefore;
    outcome.error = outcome.failed ? lastLegacyError : 0;
    outcome.spans.clear();
    if (!outcome.matched) return;
    int32_t count = 0;
    int32_t unused = 0;
    quarn::QuarnIndex(quarn::reSubexprCount, count, unused);
    outcome.spans.push_back(SpanOf(quarn::reMatch));
    for (int32_t n = 1; n <= count; ++n)
      outcome.spans.push_back(SpanOf(n));
  }

  std::string ErrorText() const override { return lastLegacyErrorText; }

 private:
  static Span SpanOf(int32_t type) {
    int32_t start = 0;
    int32_t length = 0;
    quarn::QuarnIndex(type, start, length);
    return start < 1 ? Span{} : Span{start - 1, length};
  }

  const Workload& workload_;
};

struct FreeCode {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct FreeData {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
using Pcre2Code = std::unique_ptr<pcre2_code, FreeCode>;
using Pcre2Data = std::unique_ptr<pcre2_match_data, FreeData>;

std::string Pcre2Message(int error) {
  PCRE2_UCHAR buffer[256];
  const int length = pcre2_get_error_message(error, buffer, 256);
  return quarn::Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(buffer), length > 0 ? length : 0));
}

Pcre2Code Pcre2Compile(const Workload& workload, std::string* whyNot) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  Pcre2Code code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(workload.pattern.data()),
                               workload.pattern.size(), IgnoreCase(workload) ? PCRE2_CASELESS : 0,
                               &error, &offset, nullptr));
  if (!code && whyNot) *whyNot = "cannot compile the pattern: " + Pcre2Message(error);
  return code;
}

// Matches text and reads the match and every group back into outcome.
void Pcre2Match(const pcre2_code* code, pcre2_match_data* data, const std::u16string& text,
                Outcome& outcome) {
  const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0,
                             data, nullptr);
  outcome.matched = rc >= 0;
  outcome.failed = rc < 0 && rc != PCRE2_ERROR_NOMATCH;
  outcome.error = outcome.failed ? rc : 0;
  outcome.spans.clear();
  if (!outcome.matched) return;
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
  const uint32_t pairs = pcre2_get_ovector_count(data);
  for (uint32_t n = 0; n < pairs; ++n) {
    const bool set = static_cast<int>(n) < rc && ovector[2 * n] != PCRE2_UNSET;
    outcome.spans.push_back(set ? Span{static_cast<int32_t>(ovector[2 * n]),
                                       static_cast<int32_t>(ovector[2 * n + 1] - ovector[2 * n])}
                                : Span{});
  }
}

class Pcre2Searcher final : public Searcher {
 public:
  Pcre2Searcher(const Workload& workload, bool jit, std::string& whyNot) : workload_(workload) {
    code_ = Pcre2Compile(workload, &whyNot);
    if (!code_) return;
    if (jit && !JitCompile(whyNot)) return;
    data_.reset(pcre2_match_data_create_from_pattern(code_.get(), nullptr));
  }

  void Search(size_t subject, Outcome& outcome) override {
    Pcre2Match(code_.get(), data_.get(), workload_.subjects[subject], outcome);
  }

 private:
  bool JitCompile(std::string& whyNot) {
    uint32_t available = 0;
    pcre2_config(PCRE2_CONFIG_JIT, &available);
    if (!available) {
      whyNot = "this PCRE2 has no JIT";
      return false;
    }
    if (const int error = pcre2_jit_compile(code_.get(), PCRE2_JIT_COMPLETE); error != 0) {
      whyNot = "JIT compilation failed: " + Pcre2Message(error);
      return false;
    }
    return true;
  }

  const Workload& workload_;
  Pcre2Code code_;
  Pcre2Data data_;
};

// A program that keeps no compiled pattern: every search compiles the pattern, makes its
// match data, matches and frees both.
class Pcre2CompilingSearcher final : public Searcher {
 public:
  // Compiles once only to tell whether the pattern compiles at all.
  Pcre2CompilingSearcher(const Workload& workload, std::string& whyNot) : workload_(workload) {
    Pcre2Compile(workload, &whyNot);
  }

  void Search(size_t subject, Outcome& outcome) override {
    const Pcre2Code code = Pcre2Compile(workload_, nullptr);
    const Pcre2Data data(pcre2_match_data_create_from_pattern(code.get(), nullptr));
    Pcre2Match(code.get(), data.get(), workload_.subjects[subject], outcome);
  }

 private:
  const Workload& workload_;
};

// Latin-1 bytes for the engines that work on char; nothing when a character does not fit.
std::optional<std::string> ToLatin1(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (const char16_t c : text) {
    if (c > 0xFF) return std::nullopt;
    bytes += static_cast<char>(c);
  }
  return bytes;
}

// The pattern and subjects of a workload in Latin-1.
struct ByteWorkload {
  std::string pattern;
  std::vector<std::string> subjects;
};

std::optional<ByteWorkload> ToLatin1(const Workload& workload) {
  ByteWorkload bytes;
  std::optional<std::string> pattern = ToLatin1(workload.pattern);
  if (!pattern) return std::nullopt;
  bytes.pattern = std::move(*pattern);
  for (const std::u16string& subject : workload.subjects) {
    std::optional<std::string> converted = ToLatin1(subject);
    if (!converted) return std::nullopt;
    bytes.subjects.push_back(std::move(*converted));
  }
  return bytes;
}

class Re2Searcher final : public Searcher {
 public:
  Re2Searcher(ByteWorkload bytes, bool ignoreCase, std::string& whyNot) : bytes_(std::move(bytes)) {
    RE2::Options options;
    options.set_encoding(RE2::Options::EncodingLatin1);
    options.set_case_sensitive(!ignoreCase);
    options.set_log_errors(false);
    re_ = std::make_unique<RE2>(bytes_.pattern, options);
    if (!re_->ok()) {
      whyNot = "cannot compile the pattern: " + re_->error();
      return;
    }
    submatches_.resize(re_->NumberOfCapturingGroups() + 1);
  }

  void Search(size_t subject, Outcome& outcome) override {
    const re2::StringPiece text(bytes_.subjects[subject]);
    outcome.matched = re_->Match(text, 0, text.size(), RE2::UNANCHORED, submatches_.data(),
                                 static_cast<int>(submatches_.size()));
    outcome.failed = false;
    outcome.spans.clear();
    if (!outcome.matched) return;
    for (const re2::StringPiece& piece : submatches_) {
      outcome.spans.push_back(piece.data() == nullptr
                                  ? Span{}
                                  : Span{static_cast<int32_t>(piece.data() - text.data()),
                                         static_cast<int32_t>(piece.size())});
    }
  }

 private:
  ByteWorkload bytes_;
  std::unique_ptr<RE2> re_;
  std::vector<re2::StringPiece> submatches_;
};

// The subexpressions of a Boost or std match_results, which share their interface.
template <typename Results>
void ReadSpans(const Results& results, Outcome& outcome) {
  for (size_t n = 0; n < results.size(); ++n) {
    outcome.spans.push_back(results[n].matched ? Span{static_cast<int32_t>(results.position(n)),
                                                      static_cast<int32_t>(results.length(n))}
                                               : Span{});
  }
}

class BoostSearcher final : public Searcher {
 public:
  BoostSearcher(ByteWorkload bytes, bool ignoreCase, std::string& whyNot)
      : bytes_(std::move(bytes)) {
    // Perl's defaults: "^" and "$" only at the ends, "." not at a line break.
    auto options = boost::regex::perl | boost::regex::no_mod_m | boost::regex::no_mod_s;
    if (ignoreCase) options |= boost::regex::icase;
    try {
      re_.assign(bytes_.pattern, options);
    } catch (const boost::regex_error& error) {
      whyNot = std::string("cannot compile the pattern: ") + error.what();
    }
  }

  void Search(size_t subject, Outcome& outcome) override {
    const std::string& text = bytes_.subjects[subject];
    outcome.spans.clear();
    try {
      outcome.matched = boost::regex_search(text, results_, re_);
      outcome.failed = false;
    } catch (const std::runtime_error&) {
      // Boost gives up on searches it judges too complex.
      outcome.matched = false;
      outcome.failed = true;
    }
    if (outcome.matched) ReadSpans(results_, outcome);
  }

 private:
  ByteWorkload bytes_;
  boost::regex re_;
  boost::smatch results_;
};

class StdSearcher final : public Searcher {
 public:
  StdSearcher(ByteWorkload bytes, bool ignoreCase, std::string& whyNot) : bytes_(std::move(bytes)) {
    auto options = std::regex::ECMAScript;
    if (ignoreCase) options |= std::regex::icase;
    try {
      re_.assign(bytes_.pattern, options);
    } catch (const std::regex_error& error) {
      whyNot = std::string("cannot compile the pattern: ") + error.what();
    }
  }

  void Search(size_t subject, Outcome& outcome) override {
    const std::string& text = bytes_.subjects[subject];
    outcome.spans.clear();
    try {
      outcome.matched = std::regex_search(text, results_, re_);
      outcome.failed = false;
    } catch (const std::regex_error&) {
      outcome.matched = false;
      outcome.failed = true;
    }
    if (outcome.matched) ReadSpans(results_, outcome);
  }

 private:
  ByteWorkload bytes_;
  std::regex re_;
  std::smatch results_;
};

// A factory that gives nothing (and says why) when the preparation left an explanation.
template <typename Make>
SearcherFactory Checked(Make make) {
  return [make](const Workload& workload, std::string& whyNot) -> std::unique_ptr<Searcher> {
    whyNot.clear();
    std::unique_ptr<Searcher> searcher = make(workload, whyNot);
    if (!whyNot.empty()) return nullptr;
    return searcher;
  };
}

template <typename ByteSearcher>
SearcherFactory ByteEngine() {
  return Checked([](const Workload& workload, std::string& whyNot) -> std::unique_ptr<Searcher> {
    std::optional<ByteWorkload> bytes = ToLatin1(workload);
    if (!bytes) {
      whyNot = "a text does not fit in Latin-1";
      return nullptr;
    }
    return std::make_unique<ByteSearcher>(std::move(*bytes), IgnoreCase(workload), whyNot);
  });
}

SearcherFactory Pcre2(bool jit) {
  return Checked([jit](const Workload& workload, std::string& whyNot) {
    return std::make_unique<Pcre2Searcher>(workload, jit, whyNot);
  });
}

}  // namespace

std::unique_ptr<Searcher> PrepareQuarn(const Workload& workload) {
  return std::make_unique<QuarnSearcher>(workload);
}

std::vector<Engine> AllEngines() {
  return {
      {kQuarn, [](const Workload& workload, std::string&) { return PrepareQuarn(workload); }},
      {kQuarnLegacy, [](const Workload& workload,
                        std::string&) { return std::make_unique<QuarnLegacySearcher>(workload); }},
      {kPcre2, Pcre2(false)},
      {kPcre2Compile, Checked([](const Workload& workload, std::string& whyNot) {
         return std::make_unique<Pcre2CompilingSearcher>(workload, whyNot);
       })},
      {kPcre2Jit, Pcre2(true)},
      {"RE2", ByteEngine<Re2Searcher>()},
      {"Boost", ByteEngine<BoostSearcher>()},
      {"std::regex", ByteEngine<StdSearcher>()},
  };
}

}  // namespace quarn_bench
