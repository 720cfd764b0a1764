// Everything quarn writes to standard output: selected lines and their context, -o matches,
// subexpressions, JSON objects, counts and file names, with grep's prefixes and colours.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sink.h"

namespace quarn::cli {

// A stretch of a record's bytes, [from, to).
struct ByteSpan {
  size_t from = 0;
  size_t to = 0;
};

struct ByteMatch {
  ByteSpan whole;
  std::vector<std::optional<ByteSpan>> groups;  // nullopt: the group was not used in the match
};

// A line, or with --whole a file, as it goes out: its bytes exactly as read.
struct Record {
  std::string_view text;  // without the line terminator; a whole file holds its line breaks
  std::string_view end;   // the terminator as read; empty when the input ended without one
  int64_t number = 0;     // the number of its (first) line
  std::vector<ByteMatch> matches;
};

struct PrintSettings {
  bool lineNumbers = false;
  bool onlyMatching = false;
  bool groups = false;
  bool color = false;
  std::optional<int64_t> before;  // context lines, when asked for (even 0)
  std::optional<int64_t> after;
  std::optional<std::string> groupSeparator = "--";  // nullopt: none
};

// One match in JSON: positions and lengths in UTF-16 code units of the input's
// own text, 1-based.
struct JsonMatch {
  struct Stretch {
    int64_t start = 0;
    int64_t length = 0;
    std::u16string text;
  };
  std::string file;
  int64_t line = 0;
  Stretch match;
  std::u16string before;
  std::u16string after;
  std::vector<std::optional<Stretch>> groups;
};

class Printer {
 public:
  Printer(PrintSettings settings, Sink& sink);

  // The file whose records follow, and whether its name begins each line; its context
  // starts afresh.
  void StartFile(const std::string& name, bool showName);
  // A selected record, after the context kept before it.
  void Selected(const Record& record);
  // A record that is not selected: printed as context after a selected one, or kept as
  // context for the next.
  void Unselected(const Record& record);
  // Whether context after the last selected record is still to be printed.
  bool WantsAfterContext() const { return afterLeft_ > 0; }

  void Json(const JsonMatch& match);
  void Count(int64_t count);  // -c
  void FileName();            // -l and -L

  // Whether a group of lines began in the file since StartFile. A file searched apart from
  // the others starts as if nothing had been printed before it: when something had, the
  // group separator that its first group would have had goes first (GroupSeparator()).
  bool BeganGroup() const { return beganGroup_; }
  void GroupSeparator();

 private:
  struct KeptRecord {
    std::string text;
    std::string end;
    int64_t number = 0;
    std::vector<ByteMatch> matches;
  };

  PrintSettings settings_;
  Sink& sink_;
  std::string name_;
  bool showName_ = false;
  bool context_ = false;  // -A, -B or -C was given
  std::deque<KeptRecord> before_;
  int64_t afterLeft_ = 0;
  std::optional<int64_t> lastLine_;  // the last line printed (or passed over by -o) in this file
  bool printed_ = false;             // whether any group of lines has been printed
  bool beganGroup_ = false;          // whether one began in this file

  void Write(std::string_view bytes);
  void Colored(std::string_view color, std::string_view bytes);
  void Prefix(int64_t number, std::string_view separator);
  void Marked(const Record& record, size_t from, size_t to);
  void Lines(const Record& record, std::string_view separator);
  void OnlyMatches(const Record& record);
  void Groups(const Record& record, const ByteMatch& match);
  void Separate(int64_t number);
  void Context(const Record& record);
};

}  // namespace quarn::cli
