// The engines. Each searcher compiles its pattern and converts the subjects once, when it is
// prepared, so that Search() does only what a program that reuses a compiled pattern does:
// find the leftmost match and read back its subexpressions. Quarn has no compiled form; its
// every search starts from the pattern text.
//
// PCRE2 takes the 16-bit text as it is. RE2, Boost.Regex and std::regex get one byte per
// character (Latin-1), which keeps every position equal to Quarn's, since all the workloads
// stay below U+0100.
#define PCRE2_CODE_UNIT_WIDTH 16

#include "engines.h"

#include <pcre2.h>
#include <re2/re2.h>

#include <boost/regex.hpp>
#include <optional>
#include <regex>
#include <stdexcept>

#include "quarn/quarn.h"
#include "quarn/utf.h"

namespace quarn_bench {

namespace {

uint64_t quarnErrors = 0;
std::string lastQuarnError;

void InstallCountingReporter() {
  quarn::SetErrorReporter([](const quarn::EngineError&, std::u16string_view text) {
    ++quarnErrors;
    lastQuarnError = quarn::Utf16ToUtf8(text);
  });
}

bool IgnoreCase(const Workload& workload) {
  return (workload.flags & quarn::reIgnoreCase) != 0;
}

class QuarnSearcher final : public Searcher {
 public:
  explicit QuarnSearcher(const Workload& workload) : workload_(workload) {
    InstallCountingReporter();
  }

  void Search(size_t subject, Outcome& outcome) override {
    const uint64_t errorsBefore = quarnErrors;
    outcome.matched = quarn::Quarn(workload_.subjects[subject], workload_.pattern, workload_.flags);
    outcome.failed = quarnErrors != errorsBefore;
    outcome.spans.clear();
    if (!outcome.matched) return;
    int32_t count = 0;
    int32_t unused = 0;
    quarn::QuarnIndex(quarn::reSubexprCount, count, unused);
    outcome.spans.push_back(SpanOf(quarn::reMatch));
    for (int32_t n = 1; n <= count; ++n)
      outcome.spans.push_back(SpanOf(n));
  }

 private:
  static Span SpanOf(int32_t type) {
    int32_t start = 0;
    int32_t length = 0;
    quarn::QuarnIndex(type, start, length);
    return start < 1 ? Span{} : Span{start - 1, length};
  }

  const Workload& workload_;
};

class Pcre2Searcher final : public Searcher {
 public:
  Pcre2Searcher(const Workload& workload, bool jit, std::string& whyNot) : workload_(workload) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    const uint32_t options = IgnoreCase(workload) ? PCRE2_CASELESS : 0;
    code_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(workload.pattern.data()),
                              workload.pattern.size(), options, &error, &offset, nullptr));
    if (!code_) {
      whyNot = "cannot compile the pattern: " + Message(error);
      return;
    }
    if (jit && !JitCompile(whyNot)) return;
    pcre2_pattern_info(code_.get(), PCRE2_INFO_CAPTURECOUNT, &groups_);
    data_.reset(pcre2_match_data_create_from_pattern(code_.get(), nullptr));
  }

  void Search(size_t subject, Outcome& outcome) override {
    const std::u16string& text = workload_.subjects[subject];
    const int rc = pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                               0, 0, data_.get(), nullptr);
    outcome.matched = rc >= 0;
    outcome.failed = rc < 0 && rc != PCRE2_ERROR_NOMATCH;
    outcome.spans.clear();
    if (!outcome.matched) return;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data_.get());
    for (uint32_t n = 0; n <= groups_; ++n) {
      const bool set = static_cast<int>(n) < rc && ovector[2 * n] != PCRE2_UNSET;
      outcome.spans.push_back(set ? Span{static_cast<int32_t>(ovector[2 * n]),
                                         static_cast<int32_t>(ovector[2 * n + 1] - ovector[2 * n])}
                                  : Span{});
    }
  }

 private:
  static std::string Message(int error) {
    PCRE2_UCHAR buffer[256];
    const int length = pcre2_get_error_message(error, buffer, 256);
    return quarn::Utf16ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(buffer), length > 0 ? length : 0));
  }

  bool JitCompile(std::string& whyNot) {
    uint32_t available = 0;
    pcre2_config(PCRE2_CONFIG_JIT, &available);
    if (!available) {
      whyNot = "this PCRE2 has no JIT";
      return false;
    }
    if (const int error = pcre2_jit_compile(code_.get(), PCRE2_JIT_COMPLETE); error != 0) {
      whyNot = "JIT compilation failed: " + Message(error);
      return false;
    }
    return true;
  }

  struct FreeCode {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
  };
  struct FreeData {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
  };

  const Workload& workload_;
  std::unique_ptr<pcre2_code, FreeCode> code_;
  std::unique_ptr<pcre2_match_data, FreeData> data_;
  uint32_t groups_ = 0;
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

std::string LastQuarnError() {
  return lastQuarnError;
}

std::vector<Engine> AllEngines() {
  return {
      {"Quarn", [](const Workload& workload, std::string&) { return PrepareQuarn(workload); }},
      {"PCRE2", Pcre2(false)},
      {"PCRE2-JIT", Pcre2(true)},
      {"RE2", ByteEngine<Re2Searcher>()},
      {"Boost", ByteEngine<BoostSearcher>()},
      {"std::regex", ByteEngine<StdSearcher>()},
  };
}

}  // namespace quarn_bench
