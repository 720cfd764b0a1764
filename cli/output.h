// Everything quarn writes to standard output: selected lines and their context, -o matches,
// subexpressions, replacements, counts and file names, with grep's prefixes and colours; or,
// with --json, ripgrep's JSON Lines (begin, match, context, end and summary records). Each
// record is written in time linear in its size and its matches.
#pragma once

#include <chrono>
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
  uint64_t offset = 0;    // the byte offset of text in its file
  std::vector<ByteMatch> matches;
  std::vector<std::string> replacements;  // --replace: each match's, UTF-8
};

struct PrintSettings {
  bool lineNumbers = false;
  bool onlyMatching = false;
  bool groups = false;
  bool color = false;
  bool byteOffset = false;     // -b: the offset of each line (with -o, of each match)
  bool column = false;         // --column: the column of the first match (with -o, of each)
  bool nullAfterName = false;  // -Z: a NUL byte after a file name instead of ":" or LF
  bool replace = false;        // --replace: matches are printed as their replacements
  bool json = false;
  char terminator = '\n';         // -z: output lines end with NUL
  std::optional<int64_t> before;  // context lines, when asked for (even 0)
  std::optional<int64_t> after;
  std::optional<std::string> groupSeparator = "--";  // nullopt: none
};

// What the search of a file, or of the whole run, came to.
struct SearchStats {
  int64_t matches = 0;
  int64_t matchedLines = 0;
  int64_t searches = 0;           // files searched
  int64_t searchesWithMatch = 0;  // files in which a line was selected
  uint64_t bytesSearched = 0;
  uint64_t bytesPrinted = 0;
  std::chrono::nanoseconds elapsed{0};  // the time spent searching

  void Add(const SearchStats& file);
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
  // The end of the file: with --json, its end record when anything of it was printed.
  void EndFile(const SearchStats& stats, std::optional<uint64_t> binaryOffset);

  void Count(int64_t count);  // -c
  void FileName();            // -l and -L
  // The bytes written to standard output since StartFile.
  uint64_t BytesPrinted() const { return printed_; }

  // After every file: --json's summary record, or --stats in words.
  void Summary(const SearchStats& stats, std::chrono::nanoseconds total);

 private:
  struct KeptRecord {
    std::string text;
    std::string end;
    int64_t number = 0;
    uint64_t offset = 0;
    std::vector<ByteMatch> matches;
    std::vector<std::string> replacements;
  };

  PrintSettings settings_;
  Sink& sink_;
  std::string name_;
  bool showName_ = false;
  bool context_ = false;  // -A, -B or -C was given
  std::deque<KeptRecord> before_;
  int64_t afterLeft_ = 0;
  std::optional<int64_t> lastLine_;  // the last line printed (or passed over by -o) in this file
  bool begun_ = false;               // --json: the file's begin record is written
  uint64_t printed_ = 0;

  void Write(std::string_view bytes);
  void Colored(std::string_view color, std::string_view bytes);
  void Separator(std::string_view separator);
  void Prefix(int64_t number, std::optional<size_t> column, uint64_t offset,
              std::string_view separator);
  void Marked(const Record& record, size_t from, size_t to, size_t& next);
  void Lines(const Record& record, bool selected);
  void ReplacedLine(const Record& record);
  void OnlyMatches(const Record& record);
  void Groups(const Record& record, const ByteMatch& match);
  void Separate(int64_t number);
  void Context(const Record& record);
  void Begin();  // --json: the file's begin record, once
  void Json(const Record& record, bool match);
  void EndLine();
};

}  // namespace quarn::cli
