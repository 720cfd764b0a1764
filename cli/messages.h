// What quarn says on standard error. Every message begins "quarn: ", and standard output is
// flushed first so that the two streams stay in order on a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "line_matcher.h"

namespace quarn::cli {

class Messages {
 public:
  Messages(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

  void Say(std::string_view message);

  // Shows the pattern with a caret under the character at position (an index in UTF-16
  // code units) when the engine can tell where a fault lies; says nothing otherwise.
  void ShowPatternPosition(std::string_view pattern, std::optional<size_t> position);

 private:
  std::FILE* out_;
  std::FILE* err_;
};

// The per-file notice that a limit of the engine ended the search of some subjects early:
// which limit, what it means, and how it can be raised. lines is how many subjects it cut
// short and firstLine the first of them; wholeFiles: each subject was a whole file.
std::string LimitNotice(const std::string& file, Limit limit, int64_t lines, int64_t firstLine,
                        bool wholeFiles);

}  // namespace quarn::cli
