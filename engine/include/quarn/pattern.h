// The modern API: a compiled pattern that any number of threads may search at once, with
// errors as values, every match of a text, replacement, splitting, and limits per search.
//
// The pattern language and every answer are those of the legacy calls in quarn/quarn.h:
// Pattern(p, flags).search(text) finds exactly the match, groups and errors that
// Quarn(text, p, flags) stores and reports. Positions here are 0-based and spans half-open;
// texts are UTF-16 (std::u16string_view, the engine's native text) or UTF-8, whose matches
// also carry byte offsets.
//
//   quarn::Pattern date(u"(\\d{4})-(\\d\\d)-(\\d\\d)");
//   if (quarn::SearchResult r = date.search(u"due 2026-12-08")) r.match().group(1);  // u"2026"
//
// Thread safety: Pattern is immutable and may be shared between threads; the results and
// ranges it returns belong to the caller.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarn/export.h"
#include "quarn/quarn.h"

namespace quarn {

class Program;
struct Utf8Subject;
struct Access;

// Errors of the limits that a search may be given; the legacy calls never set them.
inline constexpr int32_t errStepLimit = 20056;  // the search used up its step budget
inline constexpr int32_t errCancelled = 20057;  // the cancel flag was raised

// What one search may spend. The defaults are the legacy calls' own limits.
struct Limits {
  // Each atom taken, group marker passed or quantifier rewritten is one level, and a search
  // that would go deeper than this ends with error 20052 ("a*" can take about depth / 2
  // characters). It may be raised as far as memory allows; the C++ stack does not grow.
  uint32_t depth = 1000;
  // Longer subjects end the search with an overflow (error 6). At the default the start scan
  // counts in 16 bits, and a failed search of a subject exactly this long overflows as well.
  // It may be raised to UINT32_MAX.
  uint64_t subjectLength = 32766;
  // Steps a search may take before it ends with errStepLimit; 0 for no budget. The count is
  // deterministic: the same search always takes the same steps.
  uint64_t steps = 0;
  // Read now and then during the search; once it is true, the search ends with errCancelled.
  const std::atomic<bool>* cancel = nullptr;
};

struct QUARN_API Error {
  int32_t number = 0;
  std::u16string description;  // "Error in Quarn." + procedure + ": " + text, as reported
  // Where in the pattern (0-based, UTF-16 units) the faulty construct stands, when the engine
  // can tell.
  std::optional<size_t> position;

  // The legacy report: "Error #" + number + ": " + description, in UTF-8.
  std::string report() const;
  std::string message() const;  // the description in UTF-8
};

// A match and its groups. Group 0 is the whole match; a group that took no part in the match
// has no span. For a UTF-8 subject, byteStart and byteEnd give the same places in bytes.
class QUARN_API Match {
 public:
  struct Span {
    size_t start = 0;
    size_t end = 0;
  };

  size_t start() const { return spans_[0]->start; }
  size_t end() const { return spans_[0]->end; }
  int groupCount() const { return static_cast<int>(spans_.size()) - 1; }
  bool matched(int group) const { return spans_[group].has_value(); }
  const std::optional<Span>& span(int group) const { return spans_[group]; }
  // The group's text (empty when it took no part), viewing the searched subject.
  std::u16string_view group(int n = 0) const;
  // The group whose closing parenthesis the match passed last (0 when none took part).
  int lastIndex() const { return lastIndex_; }
  // replacement with "$0" to "$9" standing for the match and its groups (empty when a group
  // took no part) and "$$" for "$"; any other "$" is itself. Pattern::replace puts this.
  std::u16string expand(std::u16string_view replacement) const;

  // UTF-8 subjects only: the same places in bytes.
  size_t byteStart(int group = 0) const;
  size_t byteEnd(int group = 0) const;
  // The group's text in UTF-8 (UTF-8 subjects only).
  std::string_view group8(int n = 0) const;

 private:
  friend struct Access;
  std::u16string_view subject_;
  std::shared_ptr<const Utf8Subject> utf8_;
  std::vector<std::optional<Span>> spans_;
  int lastIndex_ = 0;
};

// A match, no match, or the error that ended the search (never mistaken for no match).
class QUARN_API SearchResult {
 public:
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
// one). Searches run as the iteration goes; one that ends in an error ends the iteration, and
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
  std::u16string_view subject_;
  std::shared_ptr<const Utf8Subject> utf8_;
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
  // searching it gives that error.
  explicit Pattern(std::u16string_view pattern, int32_t flags = 0);
  explicit Pattern(std::string_view utf8Pattern, int32_t flags = 0);
  explicit Pattern(const char16_t* pattern, int32_t flags = 0)
      : Pattern(std::u16string_view(pattern), flags) {}
  explicit Pattern(const char* utf8Pattern, int32_t flags = 0)
      : Pattern(std::string_view(utf8Pattern), flags) {}

  const std::optional<Error>& error() const { return error_; }
  bool ok() const { return !error_; }
  std::u16string_view pattern() const;
  int32_t flags() const;
  int groupCount() const;

  // The leftmost match that starts at or after start. Anchors and word boundaries see the
  // whole text, so "^" does not match at start unless start is a line's beginning.
  SearchResult search(std::u16string_view text, size_t start = 0, const Limits& limits = {}) const;
  // The same for UTF-8; start is a byte offset on a character boundary. Invalid UTF-8 is an
  // error (number 20055).
  SearchResult search(std::string_view utf8Text, size_t startByte = 0,
                      const Limits& limits = {}) const;

  // The match that begins at start, at no later position.
  SearchResult match(std::u16string_view text, size_t start = 0, const Limits& limits = {}) const;
  // The match that begins at start and ends at the end of text: where the first path found
  // ends elsewhere, the pattern's other paths are tried, as a search tries them on failure.
  SearchResult fullMatch(std::u16string_view text, size_t start = 0,
                         const Limits& limits = {}) const;

  Matches matches(std::u16string_view text, const Limits& limits = {}) const;
  Matches matches(std::string_view utf8Text, const Limits& limits = {}) const;
  // The matches from start on (anchors still see the whole text).
  Matches matches(std::u16string_view text, size_t start, const Limits& limits) const;

  // Replaces every match (at most maxCount, 0 for all) with replacement, in which "$0" to
  // "$9" stand for the match and its groups (empty when a group took no part) and "$$" for
  // "$"; any other "$" is itself.
  Replaced replace(std::u16string_view text, std::u16string_view replacement, size_t maxCount = 0,
                   const Limits& limits = {}) const;
  // The pieces of text between the matches (at most maxSplit matches, 0 for all).
  Split split(std::u16string_view text, size_t maxSplit = 0, const Limits& limits = {}) const;

 private:
  std::shared_ptr<const Program> program_;
  std::optional<Error> error_;
};

}  // namespace quarn
