// The grep-like search: reads each input, hands every line (or whole file) to Quarn, and
// prints the selected subjects. A fault of the pattern ends the run; anything that depends
// on one subject or one file is reported and the search goes on, as grep does.
#include "search.h"

#include <quarn/quarn.h>
#include <quarn/utf.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json_text.h"
#include "reports.h"

namespace quarn::cli {

namespace {

// grep's colours: match bold red, file name magenta, line number green, separator cyan.
constexpr std::string_view kMatchColor = "\33[01;31m\33[K";
constexpr std::string_view kFileColor = "\33[35m\33[K";
constexpr std::string_view kLineColor = "\33[32m\33[K";
constexpr std::string_view kSeparatorColor = "\33[36m\33[K";
constexpr std::string_view kColorEnd = "\33[m\33[K";

constexpr const char* kStandardInput = "(standard input)";

// Ends the run: a fault of the pattern (or options), the same on every subject.
struct PatternFault {};

// The text the engine sees, and what --crlf inserted into it.
struct Subject {
  std::u16string text;
  std::vector<size_t> inserted;  // indices in text of the CRs that --crlf added, ascending

  // How many units of the file's own text come before index i of text.
  size_t Original(size_t i) const {
    size_t added = 0;
    while (added < inserted.size() && inserted[added] < i)
      ++added;
    return i - added;
  }

  // text[from, to) as the file holds it, without the inserted CRs.
  std::u16string Slice(size_t from, size_t to) const {
    std::u16string slice;
    slice.reserve(to - from);
    auto next = inserted.begin();
    for (size_t i = from; i < to; ++i) {
      while (next != inserted.end() && *next < i)
        ++next;
      if (next != inserted.end() && *next == i) continue;
      slice += text[i];
    }
    return slice;
  }
};

struct Span {
  size_t from = 0;  // 0-based index in Subject::text
  size_t to = 0;
};

// What the engine found in one subject.
struct Match {
  Span whole;
  std::vector<std::optional<Span>> groups;  // nullopt: the group took no part
};

class Searcher {
 public:
  explicit Searcher(const Options& options) : options_(options) {}

  int Run() {
    try {
      if (!DecodePattern() || !CheckPattern()) return 2;
      showNames_ = options_.fileNames == FileNames::With ||
                   (options_.fileNames == FileNames::Default && options_.files.size() > 1);
      if (options_.files.empty()) {
        SearchFile("-");
      } else {
        for (const std::string& file : options_.files)
          SearchFile(file);
      }
    } catch (const PatternFault&) {
      return 2;
    }
    std::fflush(stdout);
    if (sawError_ || std::ferror(stdout)) return 2;
    return anySelected_ ? 0 : 1;
  }

 private:
  const Options& options_;
  ReportCollector collector_;
  std::u16string pattern_;
  bool showNames_ = false;
  bool anySelected_ = false;
  bool sawError_ = false;

  static void Warn(std::string_view message) {
    std::fflush(stdout);
    std::fprintf(stderr, "quarn: %.*s\n", static_cast<int>(message.size()), message.data());
  }

  bool DecodePattern() {
    size_t offset = 0;
    if (Utf8ToUtf16(options_.pattern, pattern_, &offset)) return true;
    Warn("the pattern is not valid UTF-8 (byte " + std::to_string(offset + 1) + ")");
    return false;
  }

  // One call on an empty subject shows the faults that the option check and the rewriting of
  // the pattern find, before any input is read.
  bool CheckPattern() {
    Quarn(std::u16string_view(), pattern_, options_.flags);
    for (const Report& report : collector_.Take()) {
      if (!IsSubjectDependent(report)) {
        Warn(Utf16ToUtf8(report.text));
        return false;
      }
    }
    return true;
  }

  // Hands the reports of the last engine call on: a fault of the pattern ends the run, a
  // report that depends on the subject names it (file and line; lineNumber 0 for a whole
  // file). Returns false when there were any.
  bool HandleReports(const std::string& name, int64_t lineNumber) {
    const std::vector<Report> reports = collector_.Take();
    for (const Report& report : reports) {
      if (!IsSubjectDependent(report)) {
        Warn(Utf16ToUtf8(report.text));
        throw PatternFault{};
      }
      std::string where = name;
      if (lineNumber > 0) where += ':' + std::to_string(lineNumber);
      Warn(where + ": " + Utf16ToUtf8(report.text));
      sawError_ = true;
    }
    return reports.empty();
  }

  // ---- Input ----

  // An open input and its read buffer, released however the search of it ends.
  class Input {
   public:
    explicit Input(const std::string& file)
        : stream_(file == "-" ? stdin : std::fopen(file.c_str(), "rb")) {}
    ~Input() {
      std::free(line_);
      if (stream_ && stream_ != stdin) std::fclose(stream_);
    }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    bool IsOpen() const { return stream_ != nullptr; }
    int Error() const { return error_; }  // errno of a failed read, or 0

    // The next line without its LF or CR LF terminator; false at the end or on an error.
    bool ReadLine(std::string_view& line) {
      errno = 0;
      const ssize_t read = getline(&line_, &capacity_, stream_);
      if (read < 0) {
        if (std::ferror(stream_)) error_ = errno;
        return false;
      }
      line = std::string_view(line_, static_cast<size_t>(read));
      if (line.ends_with('\n')) line.remove_suffix(1);
      if (line.ends_with('\r')) line.remove_suffix(1);
      return true;
    }

    std::string ReadAll() {
      std::string bytes;
      char chunk[65536];
      errno = 0;
      for (size_t read; (read = std::fread(chunk, 1, sizeof chunk, stream_)) > 0;) {
        bytes.append(chunk, read);
      }
      if (std::ferror(stream_)) error_ = errno;
      return bytes;
    }

   private:
    std::FILE* stream_;
    char* line_ = nullptr;
    size_t capacity_ = 0;
    int error_ = 0;
  };

  void SearchFile(const std::string& file) {
    const std::string name = file == "-" ? kStandardInput : file;
    Input input(file);
    if (!input.IsOpen()) {
      Warn(file + ": " + std::strerror(errno));
      sawError_ = true;
      return;
    }
    const int64_t selected = options_.whole ? SearchWhole(input, name) : SearchLines(input, name);
    if (input.Error() != 0) {
      Warn(name + ": " + std::strerror(input.Error()));
      sawError_ = true;
    }
    if (options_.count) {
      if (showNames_) WriteFileName(name, ":");
      WriteBytes(std::to_string(selected) + "\n");
    }
  }

  bool Decode(std::string_view bytes, std::u16string& text, size_t& errorOffset) const {
    if (options_.latin1) {
      text = Latin1ToUtf16(bytes);
      return true;
    }
    return Utf8ToUtf16(bytes, text, &errorOffset);
  }

  int64_t SearchLines(Input& input, const std::string& name) {
    int64_t selected = 0;
    Subject subject;
    int64_t lineNumber = 0;
    for (std::string_view line; input.ReadLine(line);) {
      ++lineNumber;
      size_t offset = 0;
      if (!Decode(line, subject.text, offset)) {
        Warn(name + ":" + std::to_string(lineNumber) + ": invalid UTF-8 at byte " +
             std::to_string(offset + 1) + " of the line; line skipped");
        sawError_ = true;
        continue;
      }
      if (SearchSubject(subject, name, lineNumber)) ++selected;
    }
    return selected;
  }

  int64_t SearchWhole(Input& input, const std::string& name) {
    const std::string bytes = input.ReadAll();
    if (input.Error() != 0) return 0;
    Subject subject;
    std::u16string text;
    size_t offset = 0;
    if (!Decode(bytes, text, offset)) {
      const auto line = 1 + std::count(bytes.begin(), bytes.begin() + offset, '\n');
      Warn(name + ":" + std::to_string(line) + ": invalid UTF-8 at byte " +
           std::to_string(offset + 1) + " of the file; file skipped");
      sawError_ = true;
      return 0;
    }
    if (options_.crlf) {
      subject.text.reserve(text.size());
      for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) {
          subject.inserted.push_back(subject.text.size());
          subject.text += u'\r';
        }
        subject.text += text[i];
      }
    } else {
      subject.text = std::move(text);
    }
    return SearchSubject(subject, name, 0) ? 1 : 0;
  }

  // ---- Matching ----

  // Searches one subject and prints it as selected. lineNumber is 0 for a whole file.
  // Returns whether the subject was selected.
  bool SearchSubject(const Subject& subject, const std::string& name, int64_t lineNumber) {
    const bool matched = Quarn(subject.text, pattern_, options_.flags);
    if (!HandleReports(name, lineNumber)) return false;
    std::optional<Match> match;
    if (matched) {
      match = ReadMatch();
      if (!HandleReports(name, lineNumber)) return false;
    }
    if (matched == options_.invert) return false;
    anySelected_ = true;
    if (options_.count) return true;
    if (lineNumber == 0) {
      const size_t end = match ? match->whole.from : 0;
      lineNumber = 1 + std::count(subject.text.begin(), subject.text.begin() + end, u'\n');
    }
    if (options_.json) {
      WriteJson(subject, *match, name, lineNumber);
    } else {
      WriteSelected(subject, match, name, lineNumber);
    }
    return true;
  }

  static Span ToSpan(int32_t start, int32_t length) {
    const size_t from = static_cast<size_t>(start - 1);
    return {from, from + static_cast<size_t>(length)};
  }

  static Match ReadMatch() {
    Match match;
    int32_t start = 0, length = 0;
    QuarnIndex(reMatch, start, length);
    match.whole = ToSpan(start, length);
    int32_t count = 0, unused = 0;
    QuarnIndex(reSubexprCount, count, unused);
    for (int32_t n = 1; n <= count; ++n) {
      start = length = 0;
      QuarnIndex(n, start, length);
      match.groups.push_back(start > 0 ? std::optional(ToSpan(start, length)) : std::nullopt);
    }
    return match;
  }

  // ---- Output ----

  void WriteBytes(std::string_view bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stdout); }

  void WriteText(std::u16string_view text) {
    if (!options_.latin1) {
      WriteBytes(Utf16ToUtf8(text));
      return;
    }
    std::string bytes(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i)
      bytes[i] = static_cast<char>(text[i]);  // <= 0xFF
    WriteBytes(bytes);
  }

  void WriteColored(std::string_view color, std::string_view bytes) {
    if (options_.color) WriteBytes(color);
    WriteBytes(bytes);
    if (options_.color) WriteBytes(kColorEnd);
  }

  void WriteFileName(const std::string& name, std::string_view separator) {
    WriteColored(kFileColor, name);
    WriteColored(kSeparatorColor, separator);
  }

  void WritePrefix(const std::string& name, int64_t lineNumber) {
    if (showNames_) WriteFileName(name, ":");
    if (options_.lineNumber) {
      WriteColored(kLineColor, std::to_string(lineNumber));
      WriteColored(kSeparatorColor, ":");
    }
  }

  // Ends the output of a text that does not end with a line break already (--whole).
  void EndLine(std::u16string_view text) {
    if (!text.ends_with(u'\n')) WriteBytes("\n");
  }

  void WriteSelected(const Subject& subject, const std::optional<Match>& match,
                     const std::string& name, int64_t lineNumber) {
    const size_t size = subject.text.size();
    if (options_.onlyMatching) {
      if (!match) return;
      const std::u16string text = subject.Slice(match->whole.from, match->whole.to);
      if (text.empty()) return;  // an empty match, or only a CR that --crlf inserted
      WritePrefix(name, lineNumber);
      if (options_.color) WriteBytes(kMatchColor);
      WriteText(text);
      if (options_.color) WriteBytes(kColorEnd);
      EndLine(text);
    } else {
      WritePrefix(name, lineNumber);
      if (match && options_.color && match->whole.from < match->whole.to) {
        WriteText(subject.Slice(0, match->whole.from));
        WriteBytes(kMatchColor);
        WriteText(subject.Slice(match->whole.from, match->whole.to));
        WriteBytes(kColorEnd);
        WriteText(subject.Slice(match->whole.to, size));
      } else {
        WriteText(subject.Slice(0, size));
      }
      EndLine(subject.text);  // an inserted CR is always followed by its LF
    }
    if (options_.groups && match) {
      for (size_t n = 0; n < match->groups.size(); ++n) {
        WriteBytes("Subexpr #" + std::to_string(n + 1) + ": ");
        const std::u16string text =
            match->groups[n] ? subject.Slice(match->groups[n]->from, match->groups[n]->to)
                             : std::u16string();
        WriteText(text);
        WriteBytes("\n");
      }
    }
  }

  void WriteJson(const Subject& subject, const Match& match, const std::string& name,
                 int64_t lineNumber) {
    const auto addSpan = [&subject](JsonObject& object, Span span, const char* textKey) {
      const size_t from = subject.Original(span.from);
      object.Key("start").Number(static_cast<int64_t>(from) + 1);
      object.Key("length").Number(static_cast<int64_t>(subject.Original(span.to) - from));
      object.Key(textKey).String(subject.Slice(span.from, span.to));
    };
    std::u16string file;
    if (!Utf8ToUtf16(name, file)) file = Latin1ToUtf16(name);
    JsonObject object;
    object.Key("file").String(file).Key("line").Number(lineNumber);
    addSpan(object, match.whole, "match");
    object.Key("before").String(subject.Slice(0, match.whole.from));
    object.Key("after").String(subject.Slice(match.whole.to, subject.text.size()));
    std::string groups = "[";
    for (size_t n = 0; n < match.groups.size(); ++n) {
      if (n > 0) groups += ',';
      if (match.groups[n]) {
        JsonObject group;
        addSpan(group, *match.groups[n], "text");
        groups += group.Finish();
      } else {
        groups += "null";
      }
    }
    object.Key("groups").Raw(groups + "]");
    WriteBytes(object.Finish() + "\n");
  }
};

}  // namespace

int RunSearch(const Options& options) {
  return Searcher(options).Run();
}

}  // namespace quarn::cli
