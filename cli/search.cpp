// The search: walks the files, hands each subject to the line matcher, and passes what it
// selects to the printer. A fault of a pattern ends the run; anything that depends on one
// subject or one file is noted and the search goes on, as grep does. With -j, files are
// searched on worker threads into kept sinks, which are written out in the walk's order.
#include "search.h"

#include <quarn/utf.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
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
#include "prefilter.h"
#include "sink.h"

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

// How the search of a file ended for the whole run.
enum class Ending {
  Next,   // go on with the next file
  Quiet,  // -q saw a selected line: exit with 0 at once
  Fault,  // a fault of a pattern: exit with 2 at once
};

struct FileOutcome {
  bool selected = false;  // a line was selected
  bool error = false;     // an error was reported
  Ending ending = Ending::Next;
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

// A fault of a pattern: the engine's report, and the pattern with a caret where it can tell.
void SayFault(Messages& messages, const Options& options, const PatternFault& fault) {
  messages.Say(fault.report);
  messages.ShowPatternPosition(options.patterns[fault.pattern], fault.position);
}

Limits LimitsOf(const Options& options) {
  Limits limits;
  limits.depth = options.depth;
  if (options.longLines) limits.subjectLength = UINT32_MAX;
  return limits;
}

// What every thread of a run reads and none changes.
struct Shared {
  const Options& options;
  const LineMatcher& matcher;
  const Prefilter* prefilter;  // lines it passes over are not searched; null when none
  Limits limits;
  bool printsLines;  // not only counts, file names or nothing
  bool wantsEvery;   // the output shows the matches, not only the lines
  const std::atomic<bool>* cancel;
};

// The search of one file after another on one thread, with the scratch it reuses.
class FileSearch {
 public:
  explicit FileSearch(const Shared& run) : run_(run), options_(run.options) {}

  FileOutcome Search(const std::string& path, bool showName, Printer& printer, Messages& messages) {
    printer_ = &printer;
    messages_ = &messages;
    outcome_ = {};
    const std::string name = path == "-" ? kStandardInput : path;
    InputFile input(path, buffer_);
    if (!input.IsOpen()) {
      FileError(name, input.Error());
      return outcome_;
    }
    printer.StartFile(name, showName);
    FileNotes notes;
    int64_t selected = 0;
    try {
      if (options_.maxCount != 0) {  // -L -m 0 lists every file
        selected =
            options_.whole ? SearchWhole(input, name, notes) : SearchLines(input, name, notes);
      }
    } catch (const PatternFault& fault) {
      SayFault(messages, options_, fault);
      outcome_.ending = Ending::Fault;
      return outcome_;
    }
    if (outcome_.ending != Ending::Next || Cancelled()) return outcome_;
    if (input.Error() != 0) FileError(name, input.Error());
    if (input.SawNul() && !options_.text) notes.invalid = {};  // binary data is not text anyway
    if (options_.fileList == FileList::Matching && selected > 0) printer.FileName();
    if (options_.fileList == FileList::NotMatching && selected == 0) printer.FileName();
    if (options_.count && options_.fileList == FileList::None) printer.Count(selected);
    SayNotes(name, notes);
    return outcome_;
  }

 private:
  const Shared& run_;
  const Options& options_;
  Printer* printer_ = nullptr;
  Messages* messages_ = nullptr;
  FileOutcome outcome_;
  std::string buffer_;  // the input's, for one file after another
  Subject subject_;
  LineMatches found_;
  Record record_;

  bool Cancelled() const { return run_.cancel && run_.cancel->load(std::memory_order_relaxed); }

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
    if (!found_.limit) return true;
    Note(notes.limits[static_cast<size_t>(*found_.limit)], line);
    return !found_.matches.empty();
  }

  // The matches in bytes, into record_ (whose storage is reused).
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
  bool Select(InputFile& input, const std::string& name) {
    outcome_.selected = true;
    if (options_.quiet) {
      outcome_.ending = Ending::Quiet;
      return false;
    }
    if (!run_.printsLines) return options_.count;  // -l and -L know enough
    if (input.SawNul() && !options_.text) {
      messages_->Say(name + ": binary file matches");
      return false;
    }
    if (options_.json) {
      for (const Match& match : found_.matches)
        printer_->Json(Json(name, record_.number, match));
    } else {
      printer_->Selected(record_);
    }
    return true;
  }

  // Passes over the lines ahead that the filter passes over, when nothing would be printed
  // for them; returns the number of the next line.
  int64_t SkipAhead(InputFile& input, int64_t number) const {
    for (;;) {
      const std::string_view ahead = input.Ahead();
      const size_t skip = run_.prefilter->Skippable(ahead);
      if (skip > 0) {
        number += static_cast<int64_t>(CountLineBreaks(ahead.substr(0, skip)));
        input.Skip(skip);
        continue;
      }
      if (ahead.find('\n') != std::string_view::npos || !input.ReadMore()) return number;
    }
  }

  int64_t SearchLines(InputFile& input, const std::string& name, FileNotes& notes) {
    int64_t selected = 0;
    bool ending = false;  // -m is reached: only the context after the last selected line is left
    // Lines that are not selected print nothing unless they are context or -v selects them.
    const bool skips = run_.prefilter && !options_.invert && !options_.before && !options_.after;
    Line line;
    for (int64_t number = 1;; ++number) {
      if (ending && !printer_->WantsAfterContext()) break;
      if (skips) number = SkipAhead(input, number);
      if (!input.NextLine(line)) break;
      if (Cancelled()) break;
      const bool search = !run_.prefilter || run_.prefilter->MayMatch(line.text);
      if (search) {
        subject_.Decode(line.text, options_.latin1, false);
        run_.matcher.Find(subject_.text(), run_.wantsEvery, found_);
      } else {
        found_.matches.clear();
        found_.limit.reset();
      }
      const bool decided = Searched(notes, number, search);
      if (run_.printsLines) {
        record_.text = line.text;
        record_.end = line.end;
        record_.number = number;
        InBytes();
      }
      if (ending || !decided || found_.matches.empty() != options_.invert) {
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
    return selected;
  }

  int64_t SearchWhole(InputFile& input, const std::string& name, FileNotes& notes) {
    const std::string_view bytes = input.ReadAll();
    if (input.Error() != 0) return 0;
    subject_.Decode(bytes, options_.latin1, options_.crlf);
    run_.matcher.Find(subject_.text(), run_.wantsEvery, found_);
    if (!Searched(notes, 1)) return 0;
    if (found_.matches.empty() != options_.invert) return 0;
    record_.text = bytes;
    record_.end = {};
    record_.number = 1;
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
  std::string path;
  bool showName = false;
  bool done = false;
  Sink sink;
  bool beganGroup = false;
  FileOutcome outcome;
};

class Searcher {
 public:
  Searcher(const Options& options, std::FILE* out, std::FILE* err)
      : options_(options),
        sink_(out, err, isatty(fileno(out))),
        messages_(sink_),
        printer_(PrintSettingsOf(options), sink_),
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
      settings.limits = LimitsOf(options_);
      matcher_ = MakeLineMatcher(settings);
      if (!options_.latin1 && !options_.whole) {  // it knows UTF-8 lines
        prefilter_.emplace(settings);
        if (!prefilter_->Active()) prefilter_.reset();
      }
      // As grep: when no line can be selected, no file is read, unless -L lists them all.
      if ((options_.maxCount == 0 || (settings.patterns.empty() && !options_.invert)) &&
          options_.fileList != FileList::NotMatching) {
        return 1;
      }
    } catch (const PatternFault& fault) {
      SayFault(messages_, options_, fault);
      return 2;
    }
    const Shared run{options_,
                     *matcher_,
                     prefilter_ ? &*prefilter_ : nullptr,
                     LimitsOf(options_),
                     printsLines_,
                     wantsEvery_,
                     &stop_};
    const int threads = options_.threads > 0
                            ? options_.threads
                            : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (threads > 1 && (options_.walk.recursive || options_.files.size() > 1)) {
      WalkInParallel(run, threads);
    } else {
      WalkInTurn(run);
    }
    if (ending_ == Ending::Fault) return 2;
    errno = 0;
    sink_.Flush();
    if (ending_ == Ending::Quiet) return 0;
    if (sink_.Failed()) {
      messages_.Say(std::string("write error") +
                    (errno ? std::string(": ") + std::strerror(errno) : ""));
      return 2;
    }
    if (sawError_) return 2;
    return anySelected_ ? 0 : 1;
  }

 private:
  // Jobs done but not yet written that the workers may run ahead by.
  static constexpr size_t kAhead = 256;

  const Options& options_;
  Sink sink_;
  Messages messages_;
  Printer printer_;
  const bool printsLines_;
  const bool wantsEvery_;
  std::unique_ptr<LineMatcher> matcher_;
  std::optional<Prefilter> prefilter_;
  bool anySelected_ = false;
  bool sawError_ = false;
  Ending ending_ = Ending::Next;
  std::atomic<bool> stop_ = false;

  // The jobs of a parallel walk, in walk order; workers take them in order.
  std::mutex mutex_;
  std::condition_variable work_;   // for the workers: a job to take, or the end
  std::condition_variable ready_;  // for the writer: the next job to write is done
  std::deque<Job> jobs_;
  size_t taken_ = 0;
  size_t written_ = 0;
  bool walked_ = false;
  bool printed_ = false;  // whether a group of lines has been written

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

  // Merges the outcome of a file; returns whether the walk goes on.
  bool Take(const FileOutcome& outcome) {
    anySelected_ |= outcome.selected;
    sawError_ |= outcome.error;
    if (outcome.ending != Ending::Next) {
      ending_ = outcome.ending;
      stop_ = true;
    }
    return outcome.ending == Ending::Next;
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
      walker.Walk(options_.walk.recursive ? "" : "-");
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
    std::vector<std::thread> workers;
    size_t files = 0;
    Walk(
        [&](const std::string& name, bool inDirectory) {
          Add(name, ShowName(inDirectory));
          // A single input is searched without threads.
          if (++files == 2) {
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
        });
    {
      std::lock_guard lock(mutex_);
      walked_ = true;
    }
    work_.notify_all();
    if (workers.empty()) {  // no other thread looks at the jobs
      FileSearch search(run);
      for (Job& job : jobs_) {
        if (job.done) continue;
        Perform(search, job);
        job.done = true;
      }
    }
    WriteDone(true);
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    work_.notify_all();
    for (std::thread& worker : workers)
      worker.join();
  }

  void Add(const std::string& path, bool showName) {
    {
      std::lock_guard lock(mutex_);
      Job& job = jobs_.emplace_back();
      job.path = path;
      job.showName = showName;
    }
    work_.notify_one();
  }

  // A worker: searches the jobs in turn until the walk is over and every job taken.
  void Work(const Shared& run) {
    FileSearch search(run);
    for (;;) {
      std::unique_lock lock(mutex_);
      work_.wait(lock, [&] {
        return stop_.load() || (taken_ < jobs_.size() && taken_ < written_ + kAhead) ||
               (walked_ && taken_ == jobs_.size());
      });
      if (stop_.load() || taken_ == jobs_.size()) return;
      const size_t index = taken_++;
      Job& job = jobs_[index];
      if (job.done) continue;
      lock.unlock();
      Perform(search, job);
      lock.lock();
      job.done = true;
      if (index == written_) ready_.notify_one();
    }
  }

  void Perform(FileSearch& search, Job& job) {
    Printer printer(PrintSettingsOf(options_), job.sink);
    Messages messages(job.sink);
    job.outcome = search.Search(job.path, job.showName, printer, messages);
    job.beganGroup = printer.BeganGroup();
  }

  // Writes the jobs that are done, in order; with wait, all of them, as they get done.
  void WriteDone(bool wait) {
    for (;;) {
      std::unique_lock lock(mutex_);
      if (wait) {
        ready_.wait(lock,
                    [&] { return written_ == jobs_.size() || jobs_[written_].done || stop_; });
      }
      if (written_ == jobs_.size() || !jobs_[written_].done || ending_ != Ending::Next) return;
      Job& job = jobs_[written_];
      lock.unlock();
      if (job.beganGroup && printed_) printer_.GroupSeparator();
      printed_ |= job.beganGroup;
      job.sink.ReplayInto(sink_);
      sink_.EndRecord();
      const bool goOn = Take(job.outcome);
      lock.lock();
      // Workers held back by kAhead may go on.
      if (taken_ >= written_++ + kAhead) work_.notify_all();
      if (!goOn) {
        work_.notify_all();  // stop_ is set
        return;
      }
    }
  }
};

}  // namespace

int RunSearch(const Options& options, std::FILE* out, std::FILE* err) {
  return Searcher(options, out, err).Run();
}

}  // namespace quarn::cli
