// The search: walks the files, reads each into lines, hands each subject to the line matcher,
// and passes what it selects to the printer. Where nothing is printed for a line the filter
// rules out, runs of such lines are passed over in the read buffer, counted but not split.
// A fault of a pattern that the engine diagnoses ends the run before any file is read;
// anything met on one subject or in one file (a limit, or a fault of a pattern too large to
// diagnose whole) is noted and the search goes on, as grep does with a file it cannot read.
// With -j, files are searched on worker threads into kept sinks; the file whose turn it is
// streams straight to the output, and the others keep a bounded part of theirs until their
// turn.
#include "search.h"

#include <quarn/utf.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "files.h"
#include "input.h"
#include "line_matcher.h"
#include "messages.h"
#include "output.h"
#include "pattern_report.h"
#include "prefilter.h"
#include "search_limits.h"
#include "sink.h"

namespace quarn::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kStandardInput = "(standard input)";

// What the search of one file met that is said once, when the file is done.
struct FileNotes {
  struct Tally {
    int64_t subjects = 0;
    int64_t first = 0;  // the line of the first
  };
  std::array<Tally, 5> limits;  // indexed by Limit
  Tally invalid;                // subjects that are not valid UTF-8
  size_t firstInvalidByte = 0;  // in the first of them
  Tally faults;                 // subjects whose search met a fault of a pattern
  std::optional<PatternNote> firstFault;
  int64_t undecided = 0;  // subjects a limit or a fault cut short before any match
};

// How the search of a file ended for the whole run.
enum class Ending {
  Next,   // go on with the next file
  Quiet,  // -q saw a selected line: exit with 0 at once
};

struct FileOutcome {
  bool selected = false;  // a line was selected
  bool error = false;     // an error was reported
  Ending ending = Ending::Next;
  SearchStats stats;
};

// A piece of a large file searched on its own (see SplitIntoPieces), and what its search
// found that is said once for the whole file, when its last piece is done.
struct Piece {
  InputFile::Range range;
  int64_t firstLine = 1;  // the number of its first line
};
struct PieceFound {
  int64_t firstLine = 1;  // the number its lines were counted from
  int64_t selected = 0;
  int64_t lines = 0;  // the lines it read
  uint64_t bytes = 0;
  FileNotes notes;
};

PrintSettings PrintSettingsOf(const Options& options) {
  PrintSettings settings;
  settings.lineNumbers = options.lineNumber;
  settings.onlyMatching = options.onlyMatching;
  settings.groups = options.groups;
  settings.color = options.color && !options.json;
  settings.byteOffset = options.byteOffset;
  settings.column = options.column;
  settings.nullAfterName = options.nullAfterName;
  settings.replace = options.replace.has_value();
  settings.json = options.json;
  if (options.nullData) settings.terminator = '\0';
  if (!options.whole) {  // a whole file has no lines around it
    settings.before = options.before;
    settings.after = options.after;
  }
  settings.groupSeparator = options.groupSeparator;
  return settings;
}

// What every thread of a run reads and none changes.
struct Shared {
  const Options& options;
  const LineMatcher& matcher;
  const Prefilter* prefilter;  // lines it passes over are not searched; null when none
  SearchLimits limits;
  bool printsLines;  // not only counts, file names or nothing
  bool wantsEvery;   // the output shows the matches, not only the lines
  const std::atomic<bool>* cancel;
};

// The search of one file after another on one thread, with the scratch it reuses.
class FileSearch {
 public:
  explicit FileSearch(const Shared& run) : run_(run), options_(run.options) {}

  FileOutcome Search(const std::string& path, bool showName, Printer& printer, Messages& messages) {
    const Clock::time_point start = Clock::now();
    Begin(printer, messages);
    const std::string name = NameOf(path);
    InputFile input(path, buffer_, Terminator());
    if (!input.IsOpen()) {
      FileError(name, input.Error());
      return outcome_;
    }
    printer.StartFile(name, showName);
    FileNotes notes;
    int64_t selected = 0;
    if (options_.maxCount != 0) {  // -L -m 0 lists every file
      selected = options_.whole ? SearchWhole(input, name, notes)
                                : SearchLines(input, name, notes, 1).selected;
    }
    if (outcome_.ending != Ending::Next || Cancelled()) return outcome_;
    if (input.Error() != 0) FileError(name, input.Error());
    if (Binary(input)) notes.invalid = {};  // binary data is not text anyway
    Conclude(name, selected, notes, input.BytesRead(),
             Binary(input) ? std::optional(input.FirstNul()) : std::nullopt, start);
    return outcome_;
  }

  // The lines of one piece of a file, printed as they would be in a search of the whole file;
  // what is said of the whole file is left to EndPieces.
  FileOutcome SearchPiece(const std::string& path, bool showName, const Piece& piece,
                          Printer& printer, Messages& messages, PieceFound& found) {
    Begin(printer, messages);
    const std::string name = NameOf(path);
    InputFile input(path, buffer_, Terminator(), piece.range);
    if (!input.IsOpen()) {
      FileError(name, input.Error());
      return outcome_;
    }
    printer.StartFile(name, showName);
    found.firstLine = piece.firstLine;
    const Lines lines = SearchLines(input, name, found.notes, piece.firstLine);
    found.selected = lines.selected;
    found.lines = lines.read;
    found.bytes = input.BytesRead();
    if (input.Error() != 0) FileError(name, input.Error());
    return outcome_;
  }

  // The end of a file searched in pieces, from what each found, in order: what a search of the
  // whole file says at its end. Under -l and -L that search would have stopped at the first
  // selected line, so the pieces after it are not heard.
  FileOutcome EndPieces(const std::string& path, bool showName,
                        const std::vector<const PieceFound*>& found, Printer& printer,
                        Messages& messages) {
    Begin(printer, messages);
    const std::string name = NameOf(path);
    printer.StartFile(name, showName);
    FileNotes notes;
    int64_t selected = 0, before = 0;
    uint64_t bytes = 0;
    for (const PieceFound* piece : found) {
      // Its lines were numbered from its first line; they follow the lines read before.
      Merge(notes, piece->notes, before - (piece->firstLine - 1));
      selected += piece->selected;
      before += piece->lines;
      bytes += piece->bytes;
      if (selected > 0 && options_.fileList != FileList::None) break;
    }
    Conclude(name, selected, notes, bytes, std::nullopt, Clock::now());
    return outcome_;
  }

 private:
  const Shared& run_;
  const Options& options_;
  Printer* printer_ = nullptr;
  Messages* messages_ = nullptr;
  FileOutcome outcome_;
  ByteBuffer buffer_;  // the input's, for one file after another
  Subject subject_;
  LineMatches found_;
  Record record_;

  void Begin(Printer& printer, Messages& messages) {
    printer_ = &printer;
    messages_ = &messages;
    outcome_ = {};
  }
  static std::string NameOf(const std::string& path) { return path == "-" ? kStandardInput : path; }
  char Terminator() const { return options_.nullData ? '\0' : '\n'; }

  // What is said at the end of a file: its name or count, its notes, and its statistics.
  void Conclude(const std::string& name, int64_t selected, const FileNotes& notes, uint64_t bytes,
                std::optional<uint64_t> binaryOffset, Clock::time_point start) {
    // A line that a limit cut short may hold a match: -L lists only files known to have none.
    if (options_.fileList == FileList::Matching && selected > 0) printer_->FileName();
    if (options_.fileList == FileList::NotMatching && selected == 0 && notes.undecided == 0) {
      printer_->FileName();
    }
    if (options_.count && options_.fileList == FileList::None) printer_->Count(selected);
    SayNotes(name, notes);
    SearchStats& stats = outcome_.stats;
    stats.searches = 1;
    stats.searchesWithMatch = selected > 0 ? 1 : 0;
    stats.matchedLines = selected;
    stats.bytesSearched = bytes;
    stats.elapsed = Clock::now() - start;
    printer_->EndFile(stats, binaryOffset);
    stats.bytesPrinted = printer_->BytesPrinted();
  }

  // Adds the notes of a piece whose line numbers are shift short of the file's.
  static void Merge(FileNotes& into, const FileNotes& piece, int64_t shift) {
    const auto add = [&](FileNotes::Tally& tally, const FileNotes::Tally& more) {
      if (more.subjects == 0) return;
      if (tally.subjects == 0) tally.first = more.first + shift;
      tally.subjects += more.subjects;
    };
    for (size_t i = 0; i < into.limits.size(); ++i)
      add(into.limits[i], piece.limits[i]);
    if (into.invalid.subjects == 0) into.firstInvalidByte = piece.firstInvalidByte;
    add(into.invalid, piece.invalid);
    add(into.faults, piece.faults);
    if (!into.firstFault) into.firstFault = piece.firstFault;
    into.undecided += piece.undecided;
  }

  bool Cancelled() const { return run_.cancel && run_.cancel->load(std::memory_order_relaxed); }
  // A NUL byte marks a binary file, unless NUL ends lines (-z) or -a says it is text.
  bool Binary(const InputFile& input) const {
    return input.SawNul() && !options_.text && !options_.nullData;
  }

  void FileError(const std::string& name, int error) {
    outcome_.error = true;
    if (!options_.noMessages) messages_->Say(name + ": " + std::strerror(error));
  }

  void Note(FileNotes::Tally& tally, int64_t line) {
    if (tally.subjects++ == 0) tally.first = line;
  }

  // Notes what the matcher met; returns whether the subject can be selected or passed over
  // (not when a limit cut its search short before any match).
  bool Searched(FileNotes& notes, int64_t line, bool decoded = true) {
    if (decoded && subject_.InvalidBytes() > 0) {
      if (notes.invalid.subjects == 0) notes.firstInvalidByte = subject_.FirstInvalid();
      Note(notes.invalid, line);
    }
    if (found_.fault) {
      if (!notes.firstFault) notes.firstFault = found_.fault;
      Note(notes.faults, line);
    }
    if (found_.limit) Note(notes.limits[static_cast<size_t>(*found_.limit)], line);
    if ((!found_.limit && !found_.fault) || !found_.matches.empty()) return true;
    ++notes.undecided;
    return false;
  }

  // The matches in bytes, with their replacements, into record_ (whose storage is reused).
  void InBytes() {
    std::vector<ByteMatch>& bytes = record_.matches;
    bytes.resize(found_.matches.size());
    const auto inBytes = [&](Span span) {
      return ByteSpan{subject_.ByteOf(span.from), subject_.ByteOf(span.to)};
    };
    for (size_t i = 0; i < found_.matches.size(); ++i) {
      const Match& match = found_.matches[i];
      bytes[i].whole = inBytes(match.whole);
      bytes[i].groups.clear();
      for (const std::optional<Span>& group : match.groups)
        bytes[i].groups.push_back(group ? std::optional(inBytes(*group)) : std::nullopt);
    }
    record_.replacements.resize(found_.replacements.size());
    for (size_t i = 0; i < found_.replacements.size(); ++i)
      record_.replacements[i] = Utf16ToUtf8(found_.replacements[i]);
  }

  // A selected subject: whether its file goes on being read.
  bool Select(InputFile& input, const std::string& name) {
    outcome_.selected = true;
    outcome_.stats.matches += options_.invert ? 0 : static_cast<int64_t>(found_.matches.size());
    if (options_.quiet) {
      outcome_.ending = Ending::Quiet;
      return false;
    }
    if (!run_.printsLines) return options_.count || options_.stats;  // -l and -L know enough
    if (Binary(input)) {
      messages_->Say(name + ": binary file matches");
      return false;
    }
    printer_->Selected(record_);
    return true;
  }

  // Passes over the lines ahead that the filter passes over, when nothing would be printed
  // for them, counting them into number. Where counting, the lines it knows to be selected
  // are passed over too, and counted into selected. What is passed over is never looked at
  // again: a line that is not read to its end yet is left to NextLine. Returns where the
  // filter saw the anchor of a stretch in the next line (see Prefilter::Skip), or npos.
  size_t SkipAhead(InputFile& input, int64_t& number, bool counting, int64_t& selected) {
    for (;;) {
      if (input.Ahead().empty() && !input.ReadMore()) return std::string_view::npos;
      const Prefilter::Skip skip = run_.prefilter->Skippable(input.Ahead(), counting);
      number += static_cast<int64_t>(skip.lines);
      if (skip.selected > 0) {
        selected += static_cast<int64_t>(skip.selected);
        outcome_.selected = true;
      }
      input.Skip(skip.bytes, skip.nulFree);
      if (skip.stopped) return skip.anchor;
      if (skip.bytes == 0) return std::string_view::npos;
    }
  }

  struct Examined {
    bool decoded = false;
    bool matched = false;  // by found_'s matches, or by its bytes alone
  };

  // The matcher's answer for a line, into found_. A line too long to hold or to search is cut
  // short by its limit without being decoded. Where invalidNoted, a line that is not UTF-8 is
  // decoded, so that it is noted. Where only the selection counts, a line that the filter
  // knows to match is not searched: found_ then has no matches. anchor is SkipAhead's.
  Examined Examine(const Line& line, bool invalidNoted, size_t anchor) {
    found_.matches.clear();
    found_.replacements.clear();
    found_.limit.reset();
    found_.fault.reset();
    if (line.tooLong) {
      found_.limit = Limit::Size;
      return {};
    }
    // No UTF-16 unit stands for more than three bytes of UTF-8 (one of Latin-1).
    const uint64_t perCharacter = options_.latin1 ? 1 : 3;
    if (line.text.size() / perCharacter > run_.limits.engine.subjectLength) {
      found_.limit = Limit::Length;
      return {};
    }
    if (run_.prefilter) {
      switch (run_.prefilter->Judge(line.text, invalidNoted, anchor)) {
        case Prefilter::Verdict::kNo:
          return {};
        case Prefilter::Verdict::kYes:
          if (!run_.wantsEvery) return {false, true};
          break;
        case Prefilter::Verdict::kMaybe:
          break;
      }
    }
    subject_.Decode(line.text, options_.latin1, false);
    run_.matcher.Find(subject_.text(), run_.wantsEvery, found_);
    return {true, !found_.matches.empty()};
  }

  struct Lines {
    int64_t selected = 0;
    int64_t read = 0;  // when the search went on to the end
  };

  // The lines of input, the first numbered first.
  Lines SearchLines(InputFile& input, const std::string& name, FileNotes& notes, int64_t first) {
    int64_t selected = 0;
    bool ending = false;  // -m is reached: only the context after the last selected line is left
    // Lines that are not selected print nothing unless they are context or -v selects them.
    const bool skips = run_.prefilter && !options_.invert && !options_.before && !options_.after;
    // Where only the count of selected lines is shown, selecting one has no other effect.
    const bool counting = !run_.printsLines && !run_.wantsEvery && options_.count &&
                          options_.fileList == FileList::None && !options_.quiet &&
                          !options_.maxCount;
    Line line;
    int64_t number = first;
    for (;; ++number) {
      if (ending && !printer_->WantsAfterContext()) break;
      const size_t anchor =
          skips ? SkipAhead(input, number, counting, selected) : std::string_view::npos;
      if (!input.NextLine(line, run_.limits.longestHeld)) break;
      if (Cancelled()) break;
      // The notes of a binary file are dropped: its lines need not be decoded to be noted.
      // Only a line that is not UTF-8 would be, so the others do not ask whether it is one.
      const Examined examined = Examine(line, IsUtf8(line.text) || !Binary(input), anchor);
      const bool decided = Searched(notes, number, examined.decoded);
      if (line.tooLong) continue;  // it cannot be printed, even as context
      if (run_.printsLines) {
        record_.text = line.text;
        record_.end = line.end;
        record_.number = number;
        record_.offset = line.offset;
        InBytes();
      }
      if (ending || !decided || examined.matched == options_.invert) {
        if (run_.printsLines) printer_->Unselected(record_);
        continue;
      }
      ++selected;
      if (!Select(input, name)) break;
      if (options_.maxCount && selected >= *options_.maxCount) {
        if (!run_.printsLines) break;
        ending = true;
      }
    }
    return {selected, number - first};
  }

  int64_t SearchWhole(InputFile& input, const std::string& name, FileNotes& notes) {
    std::string_view bytes;
    const bool held = input.ReadAll(bytes, run_.limits.longestHeld);
    if (input.Error() != 0) return 0;
    found_.matches.clear();
    found_.replacements.clear();
    found_.limit.reset();
    found_.fault.reset();
    if (held) {
      subject_.Decode(bytes, options_.latin1, options_.crlf);
      run_.matcher.Find(subject_.text(), run_.wantsEvery, found_);
    } else {
      found_.limit = Limit::Size;
    }
    if (!Searched(notes, 1, held)) return 0;
    if (found_.matches.empty() != options_.invert) return 0;
    record_.text = bytes;
    record_.end = {};
    record_.number = 1;
    record_.offset = 0;
    InBytes();
    Select(input, name);
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
      messages_->Say(name + ": " + where +
                     "; each such byte was searched as a character of its own (see --latin1)");
    }
    if (notes.firstFault) {
      outcome_.error = true;
      const FileNotes::Tally& tally = notes.faults;
      const std::string where = options_.whole ? "the file"
                                : tally.subjects == 1
                                    ? "line " + std::to_string(tally.first)
                                    : std::to_string(tally.subjects) + " lines (the first: line " +
                                          std::to_string(tally.first) + ")";
      messages_->Say(name + ": the search of " + where +
                     " ended at a fault of the pattern: " + notes.firstFault->report);
      messages_->ShowPatternPosition(options_.patterns[notes.firstFault->pattern],
                                     notes.firstFault->position);
    }
    for (size_t limit = 0; limit < notes.limits.size(); ++limit) {
      const FileNotes::Tally& tally = notes.limits[limit];
      if (tally.subjects == 0) continue;
      outcome_.error = true;
      messages_->Say(LimitNotice(name, static_cast<Limit>(limit), tally.subjects, tally.first,
                                 options_.whole, run_.limits));
    }
  }
};

// One step of the walk, searched (a file) or said (a file that cannot be searched, done from
// the start), and what came of it, kept until its turn to be written.
struct Job {
  // The output a file's search may keep before its thread waits for the file's turn.
  static constexpr size_t kKeep = 1 << 20;

  std::string path;
  bool showName = false;
  // A piece of a large file; or the end of a file in pieces, which are the jobs just before.
  std::optional<Piece> piece;
  size_t pieces = 0;
  PieceFound found;  // a piece's
  bool done = false;
  bool live = false;  // its sink passes its output straight on
  size_t kept = 0;    // the bytes its sink kept, once done
  Sink sink{kKeep};
  FileOutcome outcome;
};

class Searcher {
 public:
  Searcher(const Options& options, std::FILE* out, std::FILE* err)
      : options_(options),
        sink_(out, err, options.lineBuffered || isatty(fileno(out))),
        messages_(sink_),
        printer_(PrintSettingsOf(options), sink_),
        printsLines_(!options.count && options.fileList == FileList::None && !options.quiet),
        wantsEvery_(options.stats ||
                    (printsLines_ && (options.onlyMatching || options.color || options.groups ||
                                      options.json || options.replace || options.column))) {}

  int Run() {
    const Clock::time_point start = Clock::now();
    const SearchLimits limits = ResolveLimits(options_.limits, PhysicalMemory());
    std::optional<MatchSettings> patterns = PatternSettings(options_, messages_);
    if (!patterns) return 2;
    MatchSettings& settings = *patterns;
    settings.limits = limits.engine;
    settings.maxSteps = limits.maxSteps;
    if (options_.replace) Utf8ToUtf16(*options_.replace, settings.replacement.emplace());
    matcher_ = MakeLineMatcher(settings);
    if (SayPatternNotes(messages_, options_, matcher_->Notes())) return 2;
    // The filter knows UTF-8 lines that end with LF.
    if (!options_.latin1 && !options_.whole && !options_.nullData) {
      prefilter_.emplace(*matcher_, settings.limits, settings.maxSteps);
      if (!prefilter_->Active()) prefilter_.reset();
    }
    // As grep: when no line can be selected, no file is read, unless -L lists them all.
    if ((options_.maxCount == 0 || (settings.patterns.empty() && !options_.invert)) &&
        options_.fileList != FileList::NotMatching) {
      return 1;
    }
    const Shared run{options_, *matcher_,    prefilter_ ? &*prefilter_ : nullptr,
                     limits,   printsLines_, wantsEvery_,
                     &stop_};
    const int threads = options_.threads > 0
                            ? options_.threads
                            : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    // A single file may be searched in pieces; the walk says what any other operand is.
    const bool onePiecedFile =
        options_.files.size() == 1 && options_.files[0] != "-" && PiecesAllowed();
    if (threads > 1 && (options_.walk.recursive || options_.files.size() > 1 || onePiecedFile)) {
      WalkInParallel(run, threads);
    } else {
      WalkInTurn(run);
    }
    if (ending_ == Ending::Quiet) {
      sink_.Flush();
      return 0;
    }
    if (options_.json || options_.stats) {
      stats_.bytesPrinted = sink_.Written();
      printer_.Summary(stats_, Clock::now() - start);
    }
    errno = 0;
    sink_.Flush();
    if (sink_.Failed()) {
      messages_.Say(std::string("write error") +
                    (errno ? std::string(": ") + std::strerror(errno) : ""));
      return 2;
    }
    if (sawError_) return 2;
    return anySelected_ ? 0 : 1;
  }

 private:
  // Jobs done but not yet written that the workers may run ahead by, and the output they may
  // keep in all.
  static constexpr size_t kAhead = 256;
  static constexpr size_t kKeptAhead = 8 << 20;
  // A file of at least two pieces this large is searched in pieces by several threads.
  static constexpr uint64_t kPieceSize = 8 << 20;

  const Options& options_;
  Sink sink_;
  Messages messages_;
  Printer printer_;
  const bool printsLines_;
  const bool wantsEvery_;
  std::unique_ptr<LineMatcher> matcher_;
  std::optional<Prefilter> prefilter_;
  const Shared* run_ = nullptr;  // during a parallel walk
  bool anySelected_ = false;
  bool sawError_ = false;
  SearchStats stats_;
  Ending ending_ = Ending::Next;
  std::atomic<bool> stop_ = false;

  // The jobs of a parallel walk, in walk order; workers take them in order.
  std::mutex mutex_;
  std::condition_variable work_;   // for the workers: a job to take, or the end
  std::condition_variable ready_;  // for the writer: the next job to write is done
  std::deque<Job> jobs_;
  size_t taken_ = 0;
  size_t written_ = 0;
  size_t keptDone_ = 0;  // the output kept by jobs done but not written
  bool walked_ = false;

  // Merges the outcome of a file; returns whether the walk goes on.
  bool Take(const FileOutcome& outcome) {
    anySelected_ |= outcome.selected;
    sawError_ |= outcome.error;
    stats_.Add(outcome.stats);
    if (outcome.ending != Ending::Next) {
      ending_ = outcome.ending;
      stop_ = true;
    }
    return outcome.ending == Ending::Next;
  }

  // Whether a large file may be searched in pieces: nothing said of its lines depends on the
  // lines before them (context, -m, -q), and nothing is said of it as one search (--json,
  // --stats, --whole).
  bool PiecesAllowed() const {
    return !options_.whole && !options_.json && !options_.stats && !options_.quiet &&
           !options_.before && !options_.after && !options_.maxCount;
  }

  bool ShowName(bool inDirectory) const {
    // As grep: names are shown for several operands, or for the files of a directory that a
    // single operand names.
    return options_.fileNames == FileNames::With ||
           (options_.fileNames == FileNames::Default && (options_.files.size() > 1 || inDirectory));
  }

  // Walks the operands, calling visit for each file (false ends the walk) and said with the
  // message (empty under -s) of each name that cannot be searched (error) or is warned about.
  void Walk(const FileWalker::Visit& visit,
            const std::function<void(const std::string& message, bool error)>& said) {
    FileWalker walker(
        options_.walk, visit,
        [&](const std::string& name, int error) {
          said(options_.noMessages ? "" : name + ": " + std::strerror(error), true);
        },
        [&](const std::string& name, const std::string& warning) {
          said(options_.noMessages ? "" : name + ": warning: " + warning, false);
        });
    if (options_.files.empty()) {
      if (options_.walk.recursive) {
        walker.WalkWorkingDirectory();
      } else {
        walker.Walk("-");
      }
      return;
    }
    for (const std::string& file : options_.files) {
      if (!walker.Walk(file)) return;
    }
  }

  void WalkInTurn(const Shared& run) {
    FileSearch search(run);
    Walk(
        [&](const std::string& name, bool inDirectory) {
          return Take(search.Search(name, ShowName(inDirectory), printer_, messages_));
        },
        [&](const std::string& message, bool error) {
          if (!message.empty()) messages_.Say(message);
          sawError_ |= error;
        });
  }

  void WalkInParallel(const Shared& run, int threads) {
    run_ = &run;
    std::vector<std::thread> workers;
    Walk(
        [&](const std::string& name, bool inDirectory) {
          // A single input is searched without threads.
          if (Add(name, ShowName(inDirectory)) >= 2 && workers.empty()) {
            for (int i = 0; i < threads; ++i)
              workers.emplace_back([this, &run] { Work(run); });
          }
          WriteDone(false);
          return !stop_.load();
        },
        [&](const std::string& message, bool error) {
          std::lock_guard lock(mutex_);
          Job& job = jobs_.emplace_back();
          job.done = true;
          job.outcome.error = error;
          if (!message.empty()) Messages(job.sink).Say(message);
          job.kept = job.sink.KeptBytes();
          keptDone_ += job.kept;
        });
    {
      std::lock_guard lock(mutex_);
      walked_ = true;
    }
    work_.notify_all();
    if (workers.empty()) {  // no other thread looks at the jobs: each streams in its turn
      FileSearch search(run);
      for (Job& job : jobs_) {
        if (!job.live) job.sink.GoLive(sink_);
        job.live = true;
        if (job.done) continue;
        Perform(search, job);
        job.done = true;
      }
    }
    WriteDone(true);
    Stop();
    for (std::thread& worker : workers)
      worker.join();
  }

  // Adds the search of a file, in pieces when it is large; returns the number of jobs.
  size_t Add(const std::string& path, bool showName) {
    std::optional<Pieces> pieces;
    if (PiecesAllowed() && path != "-") {
      const bool binaryMatters = !options_.text && !options_.nullData;
      pieces = SplitIntoPieces(path, options_.nullData ? '\0' : '\n', kPieceSize, binaryMatters,
                               options_.lineNumber);
    }
    std::lock_guard lock(mutex_);
    const auto add = [&] {
      Job& job = jobs_.emplace_back();
      job.path = path;
      job.showName = showName;
      return &job;
    };
    if (!pieces) {
      add();
    } else {
      for (size_t i = 0; i < pieces->ranges.size(); ++i) {
        add()->piece = Piece{pieces->ranges[i], static_cast<int64_t>(pieces->linesBefore[i]) + 1};
      }
      Job& end = *add();
      end.pieces = pieces->ranges.size();
      end.done = true;  // done when it is written, after its pieces
    }
    work_.notify_all();
    return jobs_.size();
  }

  // Ends the parallel walk: the workers stop, and kept output that waits is dropped.
  void Stop() {
    std::lock_guard lock(mutex_);
    stop_ = true;
    for (size_t i = written_; i < jobs_.size(); ++i)
      jobs_[i].sink.Abandon();
    work_.notify_all();
  }

  // A worker: searches the jobs in turn until the walk is over and every job taken. It may
  // take the next job when that job is the one to be written next, or when the jobs done
  // and not written are few and keep little.
  void Work(const Shared& run) {
    FileSearch search(run);
    for (;;) {
      std::unique_lock lock(mutex_);
      work_.wait(lock, [&] {
        const bool mayTake =
            taken_ <= written_ || (taken_ < written_ + kAhead && keptDone_ <= kKeptAhead);
        return stop_.load() || (taken_ < jobs_.size() && mayTake) ||
               (walked_ && taken_ == jobs_.size());
      });
      if (stop_.load() || taken_ == jobs_.size()) return;
      const size_t index = taken_++;
      Job& job = jobs_[index];
      if (job.done) continue;
      lock.unlock();
      Perform(search, job);
      const size_t kept = job.sink.KeptBytes();
      lock.lock();
      job.done = true;
      job.kept = kept;
      keptDone_ += kept;
      if (index == written_) ready_.notify_one();
    }
  }

  void Perform(FileSearch& search, Job& job) {
    Printer printer(PrintSettingsOf(options_), job.sink);
    Messages messages(job.sink);
    job.outcome = job.piece ? search.SearchPiece(job.path, job.showName, *job.piece, printer,
                                                 messages, job.found)
                            : search.Search(job.path, job.showName, printer, messages);
  }

  // The end of a file in pieces, in its turn: its pieces are written.
  void EndPieces(Job& end, size_t index) {
    std::vector<const PieceFound*> found;
    for (size_t i = index - end.pieces; i < index; ++i)
      found.push_back(&jobs_[i].found);
    FileSearch search(*run_);
    Printer printer(PrintSettingsOf(options_), end.sink);
    Messages messages(end.sink);
    end.outcome = search.EndPieces(end.path, end.showName, found, printer, messages);
  }

  // Writes the jobs that are done, in order, and lets the job whose turn it is stream its
  // output; with wait, until every job is written.
  void WriteDone(bool wait) {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (ending_ != Ending::Next || written_ == jobs_.size()) return;
      Job& job = jobs_[written_];
      if (!job.live) {
        job.live = true;
        lock.unlock();
        job.sink.GoLive(sink_);
        lock.lock();
      }
      if (!job.done) {
        if (!wait) return;
        ready_.wait(lock, [&] { return job.done || stop_.load(); });
        if (!job.done) return;
      }
      lock.unlock();
      if (job.pieces > 0) EndPieces(job, written_);
      sink_.EndRecord();
      const bool goOn = Take(job.outcome);
      lock.lock();
      ++written_;
      keptDone_ -= job.kept;
      work_.notify_all();  // the jobs held back may be taken now
      if (!goOn) return;
    }
  }
};

}  // namespace

int RunSearch(const Options& options, std::FILE* out, std::FILE* err) {
  return Searcher(options, out, err).Run();
}

}  // namespace quarn::cli
