// The printer: grep's output forms, written as the bytes were read, and ripgrep's JSON.
#include "output.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "json_text.h"

namespace quarn::cli {

namespace {

// grep's colours: match bold red, file name magenta, line number and byte offset green,
// separator cyan.
constexpr std::string_view kMatchColor = "\33[01;31m\33[K";
constexpr std::string_view kFileColor = "\33[35m\33[K";
constexpr std::string_view kLineColor = "\33[32m\33[K";
constexpr std::string_view kSeparatorColor = "\33[36m\33[K";
constexpr std::string_view kColorEnd = "\33[m\33[K";

std::string_view Bytes(const Record& record, ByteSpan span) {
  return record.text.substr(span.from, span.to - span.from);
}

// {"secs":S,"nanos":N,"human":"0.000123s"}, as ripgrep writes a duration.
std::string JsonDuration(std::chrono::nanoseconds elapsed) {
  const int64_t nanos = elapsed.count();
  char human[48];
  std::snprintf(human, sizeof human, "%.6fs", static_cast<double>(nanos) / 1e9);
  JsonObject object;
  object.Key("secs").Number(nanos / 1'000'000'000).Key("nanos").Number(nanos % 1'000'000'000);
  object.Key("human").StringUtf8(human);
  return object.Finish();
}

std::string JsonStats(const SearchStats& stats) {
  JsonObject object;
  object.Key("elapsed").Raw(JsonDuration(stats.elapsed));
  object.Key("searches").Number(stats.searches);
  object.Key("searches_with_match").Number(stats.searchesWithMatch);
  object.Key("bytes_searched").Number(static_cast<int64_t>(stats.bytesSearched));
  object.Key("bytes_printed").Number(static_cast<int64_t>(stats.bytesPrinted));
  object.Key("matched_lines").Number(stats.matchedLines);
  object.Key("matches").Number(stats.matches);
  return object.Finish();
}

std::string JsonSpan(const Record& record, ByteSpan span) {
  std::string data;
  AppendJsonData(data, Bytes(record, span));
  JsonObject object;
  object.Key("match").Raw(data).Key("start").Number(static_cast<int64_t>(span.from));
  object.Key("end").Number(static_cast<int64_t>(span.to));
  return object.Finish();
}

}  // namespace

void SearchStats::Add(const SearchStats& file) {
  matches += file.matches;
  matchedLines += file.matchedLines;
  searches += file.searches;
  searchesWithMatch += file.searchesWithMatch;
  bytesSearched += file.bytesSearched;
  bytesPrinted += file.bytesPrinted;
  elapsed += file.elapsed;
}

Printer::Printer(PrintSettings settings, Sink& sink)
    : settings_(std::move(settings)),
      sink_(sink),
      context_(settings_.before.has_value() || settings_.after.has_value()) {}

void Printer::StartFile(const std::string& name, bool showName) {
  name_ = name;
  showName_ = showName;
  before_.clear();
  afterLeft_ = 0;
  lastLine_.reset();
  begun_ = false;
  printed_ = 0;
}

void Printer::Write(std::string_view bytes) {
  printed_ += bytes.size();
  sink_.Out(bytes);
}

void Printer::Colored(std::string_view color, std::string_view bytes) {
  if (settings_.color) Write(color);
  Write(bytes);
  if (settings_.color) Write(kColorEnd);
}

void Printer::Separator(std::string_view separator) {
  Colored(kSeparatorColor, separator);
}

void Printer::EndLine() {
  Write(std::string_view(&settings_.terminator, 1));
}

// The prefixes of an output line, in ripgrep's order: file name, line number, column, byte
// offset.
void Printer::Prefix(int64_t number, std::optional<size_t> column, uint64_t offset,
                     std::string_view separator) {
  if (showName_) {
    Colored(kFileColor, name_);
    if (settings_.nullAfterName) {
      Write(std::string_view("\0", 1));
    } else {
      Separator(separator);
    }
  }
  if (settings_.lineNumbers) {
    Colored(kLineColor, std::to_string(number));
    Separator(separator);
  }
  if (settings_.column && column) {
    Colored(kLineColor, std::to_string(*column + 1));
    Separator(separator);
  }
  if (settings_.byteOffset) {
    Colored(kLineColor, std::to_string(offset));
    Separator(separator);
  }
}

// record.text[from, to) with its matches coloured, or replaced; next is the first match that
// may still reach into it, and moves on past those that end in it. An empty match at the end
// of the record is in its last piece: it has a replacement too.
void Printer::Marked(const Record& record, size_t from, size_t to, size_t& next) {
  size_t at = from;
  const auto inPiece = [&](const ByteMatch& match) {
    return match.whole.from < to || (match.whole.from == to && to == record.text.size());
  };
  if (settings_.color || settings_.replace) {
    for (; next < record.matches.size() && inPiece(record.matches[next]); ++next) {
      const ByteMatch& match = record.matches[next];
      const size_t start = std::max(match.whole.from, at);
      const size_t stop = std::min(match.whole.to, to);
      Write(record.text.substr(at, start - at));
      if (settings_.replace) {
        if (match.whole.from >= from) Colored(kMatchColor, record.replacements[next]);
      } else if (start < stop) {
        Colored(kMatchColor, record.text.substr(start, stop - start));
      }
      at = std::max(at, stop);
      if (match.whole.to > to) break;  // it goes on in the next line
    }
  }
  Write(record.text.substr(at, to - at));
}

// Each line of the record with its own prefix, so that a whole file is numbered line by line;
// a selected one shows the column of its first match.
void Printer::Lines(const Record& record, bool selected) {
  const std::string_view separator = selected ? ":" : "-";
  int64_t number = record.number;
  size_t next = 0;
  for (size_t start = 0;;) {
    const size_t lf = record.text.find('\n', start);
    const size_t stop = lf == std::string_view::npos ? record.text.size() : lf;
    std::optional<size_t> column;
    if (selected && next < record.matches.size() && record.matches[next].whole.from <= stop) {
      column = std::max(record.matches[next].whole.from, start) - start;
    }
    Prefix(number, column, record.offset + start, separator);
    Marked(record, start, stop, next);
    if (lf == std::string_view::npos) {
      if (record.end.empty()) {
        EndLine();
      } else {
        Write(record.end);
      }
      return;
    }
    Write("\n");
    start = lf + 1;
    ++number;
    if (start == record.text.size()) return;
  }
}

// --replace: the record with each match replaced, as one piece after one prefix.
void Printer::ReplacedLine(const Record& record) {
  size_t next = 0;
  const std::optional<size_t> column =
      record.matches.empty() ? std::nullopt : std::optional(record.matches[0].whole.from);
  Prefix(record.number, column, record.offset, ":");
  Marked(record, 0, record.text.size(), next);
  if (record.end.empty()) {
    EndLine();
  } else {
    Write(record.end);
  }
}

void Printer::OnlyMatches(const Record& record) {
  int64_t number = record.number;
  size_t counted = 0;    // line breaks before this place are counted in number
  size_t lineStart = 0;  // where the line of the place begins
  for (size_t i = 0; i < record.matches.size(); ++i) {
    const ByteMatch& match = record.matches[i];
    const std::string_view text = Bytes(record, match.whole);
    if (text.empty()) continue;  // grep prints nothing for an empty match
    // Only the bytes since the last match are looked at, so that the matches of a long line
    // cost no more than the line.
    const std::string_view since = record.text.substr(counted, match.whole.from - counted);
    for (size_t lf = since.find('\n'); lf != std::string_view::npos;
         lf = since.find('\n', lf + 1)) {
      ++number;
      lineStart = counted + lf + 1;
    }
    counted = match.whole.from;
    Prefix(number, match.whole.from - lineStart, record.offset + match.whole.from, ":");
    const std::string_view shown =
        settings_.replace ? std::string_view(record.replacements[i]) : text;
    Colored(kMatchColor, shown);
    if (settings_.terminator != '\n' || !shown.ends_with('\n')) EndLine();
    if (settings_.groups) Groups(record, match);
  }
}

void Printer::Groups(const Record& record, const ByteMatch& match) {
  for (size_t n = 0; n < match.groups.size(); ++n) {
    Write("Subexpr #" + std::to_string(n + 1) + ": ");
    if (match.groups[n]) Write(Bytes(record, *match.groups[n]));
    EndLine();
  }
}

// grep's group separator before a line that does not follow the last one printed.
void Printer::Separate(int64_t number) {
  if (!settings_.json && (!lastLine_ || number != *lastLine_ + 1)) {
    std::string separator;
    if (settings_.groupSeparator) {
      if (settings_.color) separator += kSeparatorColor;
      separator += *settings_.groupSeparator;
      if (settings_.color) separator += kColorEnd;
      separator += '\n';
    }
    sink_.BeginGroup(separator);
  }
  lastLine_ = number;
}

void Printer::Context(const Record& record) {
  Separate(record.number);
  if (settings_.json) {
    Json(record, false);
  } else if (!settings_.onlyMatching) {  // -o prints no context, only separators
    Lines(record, false);
  }
}

void Printer::Selected(const Record& record) {
  if (context_) {
    for (const KeptRecord& kept : before_)
      Context({kept.text, kept.end, kept.number, kept.offset, kept.matches, kept.replacements});
    before_.clear();
    Separate(record.number);
    afterLeft_ = settings_.after.value_or(0);
  }
  if (settings_.json) {
    Json(record, true);
  } else if (settings_.onlyMatching) {
    OnlyMatches(record);
  } else if (settings_.replace) {
    ReplacedLine(record);
  } else {
    Lines(record, true);
    if (settings_.groups) {
      for (const ByteMatch& match : record.matches)
        Groups(record, match);
    }
  }
  sink_.EndRecord();
}

void Printer::Unselected(const Record& record) {
  if (afterLeft_ > 0) {
    --afterLeft_;
    Context(record);
    sink_.EndRecord();
  } else if (settings_.before.value_or(0) > 0) {
    if (before_.size() == static_cast<size_t>(*settings_.before)) before_.pop_front();
    before_.push_back({std::string(record.text), std::string(record.end), record.number,
                       record.offset, record.matches, record.replacements});
  }
}

void Printer::Begin() {
  if (begun_) return;
  begun_ = true;
  std::string path;
  AppendJsonData(path, name_);
  Write(R"({"type":"begin","data":{"path":)" + path + "}}\n");
}

void Printer::Json(const Record& record, bool match) {
  Begin();
  std::string path;
  AppendJsonData(path, name_);
  std::string lines;
  AppendJsonData(lines, record.text, record.end);
  std::string submatches = "[";
  if (match) {
    for (size_t i = 0; i < record.matches.size(); ++i) {
      const ByteMatch& found = record.matches[i];
      if (submatches.size() > 1) submatches += ',';
      std::string submatch = JsonSpan(record, found.whole);
      submatch.pop_back();  // the groups and the replacement go into the same object
      submatch += R"(,"groups":[)";
      for (size_t n = 0; n < found.groups.size(); ++n) {
        if (n > 0) submatch += ',';
        submatch += found.groups[n] ? JsonSpan(record, *found.groups[n]) : "null";
      }
      submatch += ']';
      if (settings_.replace) {
        submatch += R"(,"replacement":)";
        AppendJsonData(submatch, record.replacements[i]);
      }
      submatches += submatch + '}';
    }
  }
  submatches += ']';
  JsonObject data;
  data.Key("path").Raw(path).Key("lines").Raw(lines).Key("line_number").Number(record.number);
  data.Key("absolute_offset").Number(static_cast<int64_t>(record.offset));
  data.Key("submatches").Raw(submatches);
  JsonObject object;
  object.Key("type").StringUtf8(match ? "match" : "context").Key("data").Raw(data.Finish());
  Write(object.Finish() + "\n");
}

void Printer::EndFile(const SearchStats& stats, std::optional<uint64_t> binaryOffset) {
  // A file with a selected line has its records, even a binary one whose lines are not shown.
  if (!settings_.json || (!begun_ && stats.matchedLines == 0)) return;
  Begin();
  std::string path;
  AppendJsonData(path, name_);
  JsonObject data;
  data.Key("path").Raw(path);
  if (binaryOffset) {
    data.Key("binary_offset").Number(static_cast<int64_t>(*binaryOffset));
  } else {
    data.Key("binary_offset").Null();
  }
  SearchStats file = stats;
  file.bytesPrinted = printed_;
  data.Key("stats").Raw(JsonStats(file));
  JsonObject object;
  object.Key("type").StringUtf8("end").Key("data").Raw(data.Finish());
  Write(object.Finish() + "\n");
  sink_.EndRecord();
}

void Printer::Count(int64_t count) {
  if (showName_) {
    Colored(kFileColor, name_);
    if (settings_.nullAfterName) {
      Write(std::string_view("\0", 1));
    } else {
      Separator(":");
    }
  }
  Write(std::to_string(count) + "\n");
  sink_.EndRecord();
}

void Printer::FileName() {
  Colored(kFileColor, name_);
  if (settings_.nullAfterName) {
    Write(std::string_view("\0", 1));
  } else {
    Write("\n");
  }
  sink_.EndRecord();
}

void Printer::Summary(const SearchStats& stats, std::chrono::nanoseconds total) {
  if (settings_.json) {
    JsonObject data;
    data.Key("elapsed_total").Raw(JsonDuration(total)).Key("stats").Raw(JsonStats(stats));
    JsonObject object;
    object.Key("type").StringUtf8("summary").Key("data").Raw(data.Finish());
    Write(object.Finish() + "\n");
  } else {
    char seconds[64];
    std::string text = "\n";
    text += std::to_string(stats.matches) + " matches\n";
    text += std::to_string(stats.matchedLines) + " matched lines\n";
    text += std::to_string(stats.searchesWithMatch) + " files contained matches\n";
    text += std::to_string(stats.searches) + " files searched\n";
    text += std::to_string(stats.bytesPrinted) + " bytes printed\n";
    text += std::to_string(stats.bytesSearched) + " bytes searched\n";
    std::snprintf(seconds, sizeof seconds, "%.6f seconds spent searching\n",
                  static_cast<double>(stats.elapsed.count()) / 1e9);
    text += seconds;
    std::snprintf(seconds, sizeof seconds, "%.6f seconds\n",
                  static_cast<double>(total.count()) / 1e9);
    text += seconds;
    Write(text);
  }
  sink_.EndRecord();
}

}  // namespace quarn::cli
