// The search: walks the files, hands each subject to the line matcher, and passes what it
// selects to the printer. A fault of a pattern ends the run; anything that depends on one
// subject or one file is noted and the search goes on, as grep does.
#include "search.h"

#include <quarn/utf.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "files.h"
#include "input.h"
#include "line_matcher.h"
#include "messages.h"
#include "output.h"

namespace quarn::cli {

namespace {

constexpr const char* kStandardInput = "(standard input)";

// What the search of one file met that is said once, when the file is done.
struct FileNotes {
  struct Tally {
    int64_t subjects = 0;
    int64_t first = 0;  // the line of the first
  };
  std::array<Tally, 3> limits;  // indexed by Limit
  Tally invalid;                // subjects that are not valid UTF-8
  size_t firstInvalidByte = 0;  // in the first of them
};

PrintSettings PrintSettingsOf(const Options& options) {
  PrintSettings settings;
  settings.lineNumbers = options.lineNumber;
  settings.onlyMatching = options.onlyMatching;
  settings.groups = options.groups;
  settings.color = options.color;
  if (!options.whole) {  // a whole file has no lines around it
    settings.before = options.before;
    settings.after = options.after;
  }
  settings.groupSeparator = options.groupSeparator;
  return settings;
}

class Searcher {
 public:
  Searcher(const Options& options, std::FILE* out, std::FILE* err)
      : options_(options),
        out_(out),
        messages_(out, err),
        printer_(PrintSettingsOf(options), out),
        printsLines_(!options.count && options.fileList == FileList::None && !options.quiet),
        wantsEvery_(printsLines_ &&
                    (options.onlyMatching || options.color || options.groups || options.json)) {}

  int Run() {
    try {
      MatchSettings settings;
      if (!DecodePatterns(settings.patterns)) return 2;
      settings.flags = options_.flags;
      if (options_.wordRegexp) settings.anchoring = Anchoring::Word;
      if (options_.lineRegexp) settings.anchoring = Anchoring::Whole;
      matcher_ = MakeLineMatcher(settings);
      // As grep: when no line can be selected, no file is read, unless -L lists them all.
      if ((options_.maxCount == 0 || (settings.patterns.empty() && !options_.invert)) &&
          options_.fileList != FileList::NotMatching) {
        return 1;
      }
      Walk();
    } catch (const PatternFault& fault) {
      messages_.Say(fault.report);
      messages_.ShowPatternPosition(options_.patterns[fault.pattern], fault.position);
      return 2;
    }
    errno = 0;
    std::fflush(out_);
    if (stopped_) return 0;
    if (std::ferror(out_)) {
      messages_.Say(std::string("write error") +
                    (errno ? std::string(": ") + std::strerror(errno) : ""));
      return 2;
    }
    if (sawError_) return 2;
    return anySelected_ ? 0 : 1;
  }

 private:
  const Options& options_;
  std::FILE* out_;
  Messages messages_;
  Printer printer_;
  const bool printsLines_;  // not only counts, file names or nothing
  const bool wantsEvery_;   // the output shows the matches, not only the lines
  std::unique_ptr<LineMatcher> matcher_;
  Subject subject_;
  bool anySelected_ = false;
  bool sawError_ = false;
  bool stopped_ = false;  // -q has seen a selected line

  bool DecodePatterns(std::vector<std::u16string>& patterns) {
    for (size_t i = 0; i < options_.patterns.size(); ++i) {
      size_t offset = 0;
      std::u16string pattern;
      if (!Utf8ToUtf16(options_.patterns[i], pattern, &offset)) {
        const std::string which =
            options_.patterns.size() == 1 ? "the pattern" : "pattern " + std::to_string(i + 1);
        messages_.Say(which + " is not valid UTF-8 (byte " + std::to_string(offset + 1) + ")");
        return false;
      }
      patterns.push_back(std::move(pattern));
    }
    return true;
  }

  void FileError(const std::string& name, int error) {
    sawError_ = true;
    if (!options_.noMessages) messages_.Say(name + ": " + std::strerror(error));
  }

  void Walk() {
    // As grep: names are shown for several operands, or for the files of a directory that a
    // single operand names.
    const bool severalOperands = options_.files.size() > 1;
    FileWalker walker(
        options_.walk,
        [&](const std::string& name, bool inDirectory) {
          const bool showName =
              options_.fileNames == FileNames::With ||
              (options_.fileNames == FileNames::Default && (severalOperands || inDirectory));
          return SearchFile(name, showName);
        },
        [&](const std::string& name, int error) { FileError(name, error); },
        [&](const std::string& name, const std::string& warning) {
          if (!options_.noMessages) messages_.Say(name + ": warning: " + warning);
        });
    if (options_.files.empty()) {
      walker.Walk(options_.walk.recursive ? "" : "-");
      return;
    }
    for (const std::string& file : options_.files) {
      if (!walker.Walk(file)) return;
    }
  }

  // Returns false when the whole search is over (-q).
  bool SearchFile(const std::string& path, bool showName) {
    const std::string name = path == "-" ? kStandardInput : path;
    InputFile input(path);
    if (!input.IsOpen()) {
      FileError(name, input.Error());
      return true;
    }
    printer_.StartFile(name, showName);
    FileNotes notes;
    int64_t selected = 0;
    if (options_.maxCount != 0) {  // -L -m 0 lists every file
      selected = options_.whole ? SearchWhole(input, name, notes) : SearchLines(input, name, notes);
    }
    if (stopped_) return false;
    if (input.Error() != 0) FileError(name, input.Error());
    if (input.SawNul() && !options_.text) notes.invalid = {};  // binary data is not text anyway
    if (options_.fileList == FileList::Matching && selected > 0) printer_.FileName();
    if (options_.fileList == FileList::NotMatching && selected == 0) printer_.FileName();
    if (options_.count && options_.fileList == FileList::None) printer_.Count(selected);
    SayNotes(name, notes);
    return true;
  }

  void Note(FileNotes::Tally& tally, int64_t line) {
    if (tally.subjects++ == 0) tally.first = line;
  }

  // Notes what the matcher met; returns whether the subject can be selected or passed over
  // (not when a limit cut its search short before any match).
  bool Searched(const LineMatches& found, FileNotes& notes, int64_t line) {
    if (subject_.InvalidBytes() > 0) {
      if (notes.invalid.subjects == 0) notes.firstInvalidByte = subject_.FirstInvalid();
      Note(notes.invalid, line);
    }
    if (!found.limit) return true;
    Note(notes.limits[static_cast<size_t>(*found.limit)], line);
    return !found.matches.empty();
  }

  std::vector<ByteMatch> InBytes(const std::vector<Match>& matches) const {
    std::vector<ByteMatch> bytes;
    const auto inBytes = [&](Span span) {
      return ByteSpan{subject_.ByteOf(span.from), subject_.ByteOf(span.to)};
    };
    for (const Match& match : matches) {
      ByteMatch& byteMatch = bytes.emplace_back();
      byteMatch.whole = inBytes(match.whole);
      for (const std::optional<Span>& group : match.groups)
        byteMatch.groups.push_back(group ? std::optional(inBytes(*group)) : std::nullopt);
    }
    return bytes;
  }

  // line: the number of the subject's first line.
  JsonMatch Json(const std::string& name, int64_t line, const Match& match) const {
    const auto stretch = [this](Span span) {
      const size_t from = subject_.Original(span.from);
      return JsonMatch::Stretch{static_cast<int64_t>(from) + 1,
                                static_cast<int64_t>(subject_.Original(span.to) - from),
                                subject_.Slice(span.from, span.to)};
    };
    JsonMatch json;
    json.file = name;
    const std::string_view before = subject_.bytes().substr(0, subject_.ByteOf(match.whole.from));
    json.line = line + std::count(before.begin(), before.end(), '\n');
    json.match = stretch(match.whole);
    json.before = subject_.Slice(0, match.whole.from);
    json.after = subject_.Slice(match.whole.to, subject_.text().size());
    for (const std::optional<Span>& group : match.groups)
      json.groups.push_back(group ? std::optional(stretch(*group)) : std::nullopt);
    return json;
  }

  // A selected subject: whether its file goes on being read.
  bool Select(InputFile& input, const std::string& name, const Record& record,
              const LineMatches& found) {
    anySelected_ = true;
    if (options_.quiet) {
      stopped_ = true;
      return false;
    }
    if (!printsLines_) return options_.count;  // -l and -L know enough
    if (input.SawNul() && !options_.text) {
      messages_.Say(name + ": binary file matches");
      return false;
    }
    if (options_.json) {
      printer_.Json(Json(name, record.number, found.matches.front()));
    } else {
      printer_.Selected(record);
    }
    return true;
  }

  int64_t SearchLines(InputFile& input, const std::string& name, FileNotes& notes) {
    int64_t selected = 0;
    bool ending = false;  // -m is reached: only the context after the last selected line is left
    Line line;
    for (int64_t number = 1; input.NextLine(line); ++number) {
      if (ending && !printer_.WantsAfterContext()) break;
      subject_.Decode(line.text, options_.latin1, false);
      const LineMatches found = matcher_->Find(subject_.text(), wantsEvery_);
      const bool decided = Searched(found, notes, number);
      Record record;
      if (printsLines_) record = {line.text, line.end, number, InBytes(found.matches)};
      if (ending || !decided || found.matches.empty() != options_.invert) {
        if (printsLines_) printer_.Unselected(record);
        continue;
      }
      ++selected;
      if (!Select(input, name, record, found)) break;
      if (options_.maxCount && selected >= *options_.maxCount) {
        if (!printsLines_) break;
        ending = true;
      }
    }
    return selected;
  }

  int64_t SearchWhole(InputFile& input, const std::string& name, FileNotes& notes) {
    const std::string_view bytes = input.ReadAll();
    if (input.Error() != 0) return 0;
    subject_.Decode(bytes, options_.latin1, options_.crlf);
    const LineMatches found = matcher_->Find(subject_.text(), wantsEvery_);
    if (!Searched(found, notes, 1)) return 0;
    if (found.matches.empty() != options_.invert) return 0;
    Select(input, name, {bytes, {}, 1, InBytes(found.matches)}, found);
    return 1;
  }

  void SayNotes(const std::string& name, const FileNotes& notes) {
    if (notes.invalid.subjects > 0) {
      std::string where;
      const std::string byte = "byte " + std::to_string(notes.firstInvalidByte + 1);
      if (options_.whole) {
        const std::string_view before = subject_.bytes().substr(0, notes.firstInvalidByte);
        where = "not valid UTF-8 from " + byte + " (line " +
                std::to_string(1 + std::count(before.begin(), before.end(), '\n')) + ")";
      } else if (notes.invalid.subjects == 1) {
        where =
            "line " + std::to_string(notes.invalid.first) + " is not valid UTF-8 (" + byte + ")";
      } else {
        where = std::to_string(notes.invalid.subjects) +
                " lines are not valid UTF-8 (the first: line " +
                std::to_string(notes.invalid.first) + ", " + byte + ")";
      }
      messages_.Say(name + ": " + where +
                    "; each such byte was searched as a character of its own (see --latin1)");
    }
    for (size_t limit = 0; limit < notes.limits.size(); ++limit) {
      const FileNotes::Tally& tally = notes.limits[limit];
      if (tally.subjects == 0) continue;
      sawError_ = true;
      messages_.Say(LimitNotice(name, static_cast<Limit>(limit), tally.subjects, tally.first,
                                options_.whole));
    }
  }
};

}  // namespace

int RunSearch(const Options& options, std::FILE* out, std::FILE* err) {
  return Searcher(options, out, err).Run();
}

}  // namespace quarn::cli
