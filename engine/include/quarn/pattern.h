// The modern API: a compiled pattern that any number of threads may search at once, with
// errors as values, every match of a text, replacement, splitting, and limits per search.
//
// The pattern language and every answer are those of the legacy calls in quarn/quarn.h:
// Pattern(p, flags).search(text) finds exactly the match, groups and errors that
// Quarn(text, p, flags) stores and reports. Positions here are 0-based and spans half-open;
// texts are UTF-16 (std::u16string_view, the engine's native text) or UTF-8, whose matches
// also carry byte offsets. A Text is a subject decoded once for many searches.
//
//   quarn::Pattern date(u"(\\d{4})-(\\d\\d)-(\\d\\d)");
//   if (quarn::SearchResult r = date.search(u"due 2026-12-08")) r.match().group(1);  // u"2026"
//
// Matches, Texts and the results view the caller's subject, which must outlive them; a
// subject given as a temporary std::string or std::u16string is moved into them instead, so
// that nothing ever views a string that is gone.
//
// Errors are quarn::Error values (quarn/errors.h): a search's result carries the error that
// ended it, never mistaken for "no match", and its kind tells a limit from a pattern fault.
//
// Thread safety: Pattern and Text are immutable and may be shared between threads; the
// results and ranges they give belong to the caller.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quarn/analysis.h"
#include "quarn/edges.h"
#include "quarn/errors.h"
#include "quarn/export.h"
#include "quarn/quarn.h"

namespace quarn {

class Program;
struct TextData;
struct Access;
struct Analysis;

// What one search may spend. The defaults are the legacy calls' own limits.
struct Limits {
  // Each atom taken, group marker passed or quantifier rewritten is one level, and a search
  // that would go deeper than this ends with error 20052, kind kDepthLimit ("a*" can take
  // about depth / 2 characters). It may be raised as far as memory allows; the C++ stack
  // does not grow.
  uint32_t depth = 1000;
  // Longer subjects end the search with error 6, kind kSubjectLength. At the default the scan
  // counts in 16 bits, and a failed search of a subject exactly this long overflows as well.
  // It may be raised to UINT32_MAX.
  uint64_t subjectLength = 32766;
  // Steps a search may take before it ends with errStepLimit; 0 for no budget. The count is
  // deterministic: with a budget, the same search always takes the same steps (a subject that
  // the pattern's facts rule out takes none). Without one, the facts are made only once the
  // pattern's searches prove costly (one of a thousand steps, or some of a few hundred each),
  // so steps() of a later search may be fewer; its answer is the same.
  uint64_t steps = 0;
  // Read now and then during the search; once it is true, the search ends with errCancelled.
  const std::atomic<bool>* cancel = nullptr;
};

// A subject prepared once for any number of searches. UTF-8 is decoded here, once, into the
// engine's UTF-16 with a table of byte offsets: a loop of search(text, start) then costs what
// matches() costs, where a std::string_view subject is decoded again by every call. UTF-16 is
// used as it is. Positions given to and by a search of a Text count in its own units: bytes
// of a UTF-8 or Latin-1 text, 16-bit units of a UTF-16 one.
//
// 8-bit text is searched as it is where that is exact: UTF-8 that is all ASCII, and Latin-1
// (Text::Latin1), whose every byte is the UTF-16 unit of the same value. Such a Text makes no
// UTF-16 copy and no offset table; only units() (and Match::group(), which views it) makes
// the copy, the first time it is asked for, and keeps it. Answers are those of the same
// search of the UTF-16 text, unit for unit.
//
// A Text views the caller's bytes or units (a UTF-8 Text that is not ASCII keeps its decoded
// copy, and group8() views the bytes): they must stay unchanged while the Text or a Match
// found in it is used. A temporary string is moved into the Text instead. Memory: a UTF-8
// Text that is not ASCII holds 2 bytes per UTF-16 unit (at most one unit per byte) and 8
// bytes per 64 units of offset table; an ASCII or Latin-1 Text holds nothing more until
// units() is asked for.
//
// Thread safety: immutable to its users; copies are cheap and share what the text holds, and
// any number of threads may search one Text (and ask for its units()) at once: the UTF-16
// copy of an 8-bit text is made once, under a once flag.
class QUARN_API Text {
 public:
  // What the text was made from, and so what its positions count.
  enum class Encoding : uint8_t { kUtf16, kUtf8, kLatin1 };

  // Decodes UTF-8 (ASCII is not decoded, only checked). A text longer than
  // limits.subjectLength UTF-16 units is refused before it is decoded: error() is then the
  // overflow (error 6) that a search with these limits gives. Ill-formed UTF-8 gives
  // errInvalidUtf8 with its byte offset. Make the Text with the limits it will be searched
  // with.
  explicit Text(std::string_view utf8, const Limits& limits = {});
  explicit Text(std::string&& utf8, const Limits& limits = {});
  explicit Text(const char* utf8, const Limits& limits = {})
      : Text(std::string_view(utf8), limits) {}
  explicit Text(std::u16string_view utf16) : units_(utf16) {}
  explicit Text(std::u16string&& utf16);
  explicit Text(const char16_t* utf16) : Text(std::u16string_view(utf16)) {}
  // Latin-1: each byte is one character, U+0000 to U+00FF (Python keeps such a str in one
  // byte per character). Every byte is valid; positions count bytes. Searched as it is.
  static Text Latin1(std::string_view latin1);
  static Text Latin1(std::string&& latin1);
  static Text Latin1(const char* latin1) { return Latin1(std::string_view(latin1)); }

  // Why the text cannot be searched (UTF-8 texts only); every search of it gives this error.
  const std::optional<Error>& error() const;
  Encoding encoding() const { return encoding_; }
  bool isUtf8() const { return encoding_ == Encoding::kUtf8; }
  // Whether searches read the 8-bit units themselves (ASCII UTF-8, Latin-1).
  bool searchesBytes() const { return narrow_; }
  // The text as UTF-16 (empty after an error): for an 8-bit text searched as it is, a copy
  // made the first time it is asked for.
  std::u16string_view units() const { return narrow_ ? Widened() : units_; }
  // The bytes it was made from: UTF-8, or Latin-1; empty for UTF-16.
  std::string_view bytes() const { return bytes_; }
  // The length in the text's own units: bytes of UTF-8 and Latin-1, 16-bit units of UTF-16.
  size_t size() const { return encoding_ == Encoding::kUtf16 ? units_.size() : bytes_.size(); }
  // The UTF-16 position of the character that begins at offset (the text's own units); none
  // when offset lies inside a UTF-8 sequence or past the end, or the text has an error.
  std::optional<size_t> unitAt(size_t offset) const;
  // The offset (the text's own units) of UTF-16 position unit. In a UTF-8 text a position
  // between the halves of a surrogate pair gives the end of its character.
  size_t offsetOf(size_t unit) const;

 private:
  friend struct Access;
  Text() = default;
  std::u16string_view Widened() const;

  std::u16string_view units_;  // what searches read, unless they read bytes_ themselves
  std::string_view bytes_;
  Encoding encoding_ = Encoding::kUtf16;
  bool narrow_ = false;  // searches read bytes_, each byte the UTF-16 unit of its value
  std::shared_ptr<const TextData> data_;  // none for a UTF-16 text that the caller keeps
};

// A match and its groups. Group 0 is the whole match; a group that took no part in the match
// has no span. A group number outside 0 to groupCount() answers as a group that took no part
// (no span, empty text, offsets 0). For a UTF-8 subject, byteStart and byteEnd give the same
// places in bytes.
class QUARN_API Match {
 public:
  struct Span {
    size_t start = 0;
    size_t end = 0;
  };

  // Provided rather than defaulted: a defaulted one would zero every span in place first,
  // each time a search makes a match.
  Match() {}  // NOLINT(modernize-use-equals-default)

  size_t start() const { return SpanAt(0)->start; }
  size_t end() const { return SpanAt(0)->end; }
  int groupCount() const { return static_cast<int>(count_) - 1; }
  bool matched(int group) const { return span(group).has_value(); }
  const std::optional<Span>& span(int group) const;
  // The group's text (empty when it took no part), viewing the searched subject (of an 8-bit
  // Text, its units(), made on the first call).
  std::u16string_view group(int n = 0) const;
  // The group whose closing parenthesis the match passed last (0 when none took part).
  int lastIndex() const { return lastIndex_; }
  // replacement with "$0" to "$9" standing for the match and its groups (empty when a group
  // took no part) and "$$" for "$"; any other "$" is itself. Pattern::replace puts this.
  std::u16string expand(std::u16string_view replacement) const;
  // Where matches() searches on after this match, in the text's own units (what
  // Pattern::search(text, start) takes): the end, or one character later after an empty match,
  // never between the halves of a surrogate pair.
  size_t next() const;

  // UTF-8 subjects only: the same places in bytes.
  size_t byteStart(int group = 0) const;
  size_t byteEnd(int group = 0) const;
  // The group's text in UTF-8 (UTF-8 subjects only), viewing the searched bytes.
  std::string_view group8(int n = 0) const;

 private:
  friend struct Access;
  // The spans of the match and its groups, in place when they are few: a match of such a
  // pattern is made and copied without allocating.
  static constexpr size_t kInPlace = 4;
  const std::optional<Span>& SpanAt(size_t i) const {
    return count_ <= kInPlace ? near_[i] : far_[i];
  }
  std::optional<Span>& SpanAt(size_t i) { return count_ <= kInPlace ? near_[i] : far_[i]; }

  Text text_{std::u16string_view()};
  std::array<std::optional<Span>, kInPlace> near_;
  std::vector<std::optional<Span>> far_;  // all of them, when there are more
  size_t count_ = 0;
  int lastIndex_ = 0;
};

// A match, no match, or the error that ended the search (never mistaken for no match).
class QUARN_API SearchResult {
 public:
  SearchResult() {}  // NOLINT(modernize-use-equals-default): as Match(), nothing zeroed first
  bool matched() const { return match_.has_value(); }
  explicit operator bool() const { return matched(); }
  const Match& match() const { return *match_; }
  const std::optional<Error>& error() const { return error_; }
  // The greatest depth a step of the search reached, and the steps it took.
  uint32_t depth() const { return depth_; }
  uint64_t steps() const { return steps_; }

 private:
  friend struct Access;
  std::optional<Match> match_;
  std::optional<Error> error_;
  uint32_t depth_ = 0;
  uint64_t steps_ = 0;
};

// Every non-overlapping match of a text, leftmost first: after a match the next search starts
// where it ended, and after an empty match one character later (a surrogate pair counts as
// one). In a UTF-8 text no offset lies between the halves of a pair, so a match ending there
// goes on after the pair: the matches are those of a chain of search(text, byteEnd) calls.
// Searches run as the iteration goes; one that ends in an error ends the iteration, and
// error() then tells which. Limits apply to each search.
class QUARN_API Matches {
 public:
  class iterator {
   public:
    using value_type = Match;
    using difference_type = std::ptrdiff_t;
    const Match& operator*() const { return owner_->current_->match(); }
    const Match* operator->() const { return &owner_->current_->match(); }
    iterator& operator++() {
      owner_->Advance();
      return *this;
    }
    bool operator==(const iterator& other) const { return Done() == other.Done(); }

   private:
    friend class Matches;
    explicit iterator(Matches* owner) : owner_(owner) {}
    bool Done() const { return owner_ == nullptr || !owner_->current_; }
    Matches* owner_;
  };

  iterator begin();
  iterator end() { return iterator(nullptr); }
  const std::optional<Error>& error() const { return error_; }
  // The greatest depth that a step of the searches so far reached.
  uint32_t depth() const { return depth_; }

 private:
  friend class Pattern;
  void Advance();

  std::shared_ptr<const Program> program_;
  Text text_{std::u16string_view()};
  Limits limits_;
  size_t next_ = 0;
  bool started_ = false;
  std::optional<SearchResult> current_;
  std::optional<Error> error_;
  uint32_t depth_ = 0;
};

// What replace() and split() give: their text or pieces, how many matches they used, and the
// error that stopped them (the text is then what was made up to that match).
struct Replaced {
  std::u16string text;
  size_t count = 0;
  std::optional<Error> error;
};
struct Split {
  std::vector<std::u16string> pieces;
  std::optional<Error> error;
};

class QUARN_API Pattern {
 public:
  // Compiles pattern with the option flags of quarn/quarn.h (reIgnoreCase, reSingleLine,
  // reMultiline). A pattern that does not compile gives a Pattern whose error() says why;
  // searching it gives that error. With edges other than kAnywhere, every search, match and
  // iteration finds only matches on a whole line or a whole word (quarn/edges.h); groups,
  // errors and diagnostics stay those of the pattern as given.
  explicit Pattern(std::u16string_view pattern, int32_t flags = 0, Edges edges = Edges::kAnywhere);
  explicit Pattern(std::string_view utf8Pattern, int32_t flags = 0, Edges edges = Edges::kAnywhere);
  explicit Pattern(const char16_t* pattern, int32_t flags = 0, Edges edges = Edges::kAnywhere)
      : Pattern(std::u16string_view(pattern), flags, edges) {}
  explicit Pattern(const char* utf8Pattern, int32_t flags = 0, Edges edges = Edges::kAnywhere)
      : Pattern(std::string_view(utf8Pattern), flags, edges) {}

  const std::optional<Error>& error() const { return error_; }
  bool ok() const { return !error_; }
  std::u16string_view pattern() const;
  int32_t flags() const;
  Edges edges() const;
  int groupCount() const;

  // The leftmost match that starts at or after start (in the text's own units). Anchors and
  // word boundaries see the whole text, so "^" does not match at start unless start is a
  // line's beginning. A start past the end, or inside a UTF-8 sequence, is an error
  // (errArgument); a UTF-16 start may fall between the halves of a surrogate pair. Errors
  // come in this order: the pattern's, the text's, the start's, the search's.
  SearchResult search(const Text& text, size_t start = 0, const Limits& limits = {}) const;
  SearchResult search(std::u16string_view text, size_t start = 0, const Limits& limits = {}) const;
  // The same for UTF-8, decoded on every call (a Text decodes once); startByte is a byte
  // offset where a character begins. Invalid UTF-8 is an error (errInvalidUtf8).
  SearchResult search(std::string_view utf8Text, size_t startByte = 0,
                      const Limits& limits = {}) const;
  // A temporary subject is moved into the result, which its match views.
  SearchResult search(std::u16string&& text, size_t start = 0, const Limits& limits = {}) const;
  SearchResult search(std::string&& utf8Text, size_t startByte = 0,
                      const Limits& limits = {}) const;
  SearchResult search(const char16_t* text, size_t start = 0, const Limits& limits = {}) const {
    return search(std::u16string_view(text), start, limits);
  }
  SearchResult search(const char* utf8Text, size_t startByte = 0, const Limits& limits = {}) const {
    return search(std::string_view(utf8Text), startByte, limits);
  }

  Matches matches(const Text& text, const Limits& limits = {}) const;
  Matches matches(std::u16string_view text, const Limits& limits = {}) const {
    return matches(Text(text), limits);
  }
  Matches matches(std::string_view utf8Text, const Limits& limits = {}) const;
  Matches matches(std::u16string&& text, const Limits& limits = {}) const {
    return matches(Text(std::move(text)), limits);
  }
  Matches matches(std::string&& utf8Text, const Limits& limits = {}) const;
  Matches matches(const char16_t* text, const Limits& limits = {}) const {
    return matches(std::u16string_view(text), limits);
  }
  Matches matches(const char* utf8Text, const Limits& limits = {}) const {
    return matches(std::string_view(utf8Text), limits);
  }

  // The match that begins at start (the text's own units), at no later position.
  SearchResult match(const Text& text, size_t start = 0, const Limits& limits = {}) const;
  SearchResult match(std::u16string_view text, size_t start = 0, const Limits& limits = {}) const {
    return match(Text(text), start, limits);
  }
  SearchResult match(const char16_t* text, size_t start = 0, const Limits& limits = {}) const {
    return match(std::u16string_view(text), start, limits);
  }
  // The match would view a temporary.
  SearchResult match(std::u16string&& text, size_t start = 0,
                     const Limits& limits = {}) const = delete;
  // The match that begins at start and ends at the end of text: where the first path found
  // ends elsewhere, the pattern's other paths are tried, as a search tries them on failure.
  SearchResult fullMatch(const Text& text, size_t start = 0, const Limits& limits = {}) const;
  SearchResult fullMatch(std::u16string_view text, size_t start = 0,
                         const Limits& limits = {}) const {
    return fullMatch(Text(text), start, limits);
  }
  SearchResult fullMatch(const char16_t* text, size_t start = 0, const Limits& limits = {}) const {
    return fullMatch(std::u16string_view(text), start, limits);
  }
  SearchResult fullMatch(std::u16string&& text, size_t start = 0,
                         const Limits& limits = {}) const = delete;
  // The matches from start on (the text's own units; anchors still see the whole text). A
  // start that search() refuses ends the iteration with the same error.
  Matches matches(const Text& text, size_t start, const Limits& limits) const;

  // Replaces every match (at most maxCount, 0 for all) with replacement, in which "$0" to
  // "$9" stand for the match and its groups (empty when a group took no part) and "$$" for
  // "$"; any other "$" is itself. The result is UTF-16 for a Text of either kind.
  Replaced replace(const Text& text, std::u16string_view replacement, size_t maxCount = 0,
                   const Limits& limits = {}) const;
  Replaced replace(std::u16string_view text, std::u16string_view replacement, size_t maxCount = 0,
                   const Limits& limits = {}) const {
    return replace(Text(text), replacement, maxCount, limits);
  }
  // The pieces of text between the matches (at most maxSplit matches, 0 for all), in UTF-16.
  Split split(const Text& text, size_t maxSplit = 0, const Limits& limits = {}) const;
  Split split(std::u16string_view text, size_t maxSplit = 0, const Limits& limits = {}) const {
    return split(Text(text), maxSplit, limits);
  }

  // What the engine knows about the pattern before any search (quarn/analysis.h): every fault
  // a search could meet and the warnings, how the engine reads the pattern, and what every
  // match satisfies. Made once, when first asked for, and shared by the copies of a Pattern.
  // A pattern with an error() lists that error, and its facts claim nothing. With edges, the
  // diagnostics and the explanation are those of the pattern as given, and the facts those of
  // the searches with edges.
  const std::vector<Diagnostic>& diagnostics() const;
  const Explanation& explain() const;
  const PatternFacts& facts() const;
  // All three as one JSON document (UTF-8), described in docs/pattern-analysis.md.
  std::string explainJson() const;

 private:
  const Analysis& analysis() const;

  std::shared_ptr<const Program> program_;  // what searches run; enclosed for edges
  // With edges: the pattern as given, which the diagnostics and the explanation tell of.
  std::shared_ptr<const Program> given_;
  std::optional<Error> error_;
  // The analysis of a pattern refused before it is read (options, UTF-8).
  std::shared_ptr<const Analysis> refused_;
};

}  // namespace quarn
