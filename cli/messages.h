// What quarn says on standard error. Every message begins "quarn: ", and goes through the
// sink, so that it stays in order with standard output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "line_matcher.h"
#include "search_limits.h"
#include "sink.h"

namespace quarn::cli {

class Messages {
 public:
  explicit Messages(Sink& sink) : sink_(sink) {}

  void Say(std::string_view message);

  // Shows the pattern with a caret under the character at position (an index in UTF-16
  // code units) when the engine can tell where a fault lies; says nothing otherwise. The
  // caret counts terminal columns: a wide character takes two, a combining mark none, and a
  // tab is repeated so that it reaches the same tab stop.
  void ShowPatternPosition(std::string_view pattern, std::optional<size_t> position);

 private:
  Sink& sink_;
};

// The per-file notice that a limit of the engine ended the search of some subjects early:
// which limit, what it means at the limits in force, and how it can be raised. lines is how
// many subjects it cut short and firstLine the first of them; wholeFiles: each subject was a
// whole file.
std::string LimitNotice(const std::string& file, Limit limit, int64_t lines, int64_t firstLine,
                        bool wholeFiles, const SearchLimits& limits);

}  // namespace quarn::cli
