// The printer: grep's output forms, written as the bytes were read.
#include "output.h"

#include <quarn/utf.h>

#include <algorithm>
#include <utility>

#include "json_text.h"

namespace quarn::cli {

namespace {

// grep's colours: match bold red, file name magenta, line number green, separator cyan.
constexpr std::string_view kMatchColor = "\33[01;31m\33[K";
constexpr std::string_view kFileColor = "\33[35m\33[K";
constexpr std::string_view kLineColor = "\33[32m\33[K";
constexpr std::string_view kSeparatorColor = "\33[36m\33[K";
constexpr std::string_view kColorEnd = "\33[m\33[K";

std::string_view Bytes(const Record& record, ByteSpan span) {
  return record.text.substr(span.from, span.to - span.from);
}

void AddStretch(JsonObject& object, const JsonMatch::Stretch& stretch, const char* textKey) {
  object.Key("start").Number(stretch.start).Key("length").Number(stretch.length);
  object.Key(textKey).String(stretch.text);
}

}  // namespace

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
  beganGroup_ = false;
}

void Printer::Write(std::string_view bytes) {
  sink_.Out(bytes);
}

void Printer::Colored(std::string_view color, std::string_view bytes) {
  if (settings_.color) Write(color);
  Write(bytes);
  if (settings_.color) Write(kColorEnd);
}

void Printer::Prefix(int64_t number, std::string_view separator) {
  if (showName_) {
    Colored(kFileColor, name_);
    Colored(kSeparatorColor, separator);
  }
  if (settings_.lineNumbers) {
    Colored(kLineColor, std::to_string(number));
    Colored(kSeparatorColor, separator);
  }
}

// record.text[from, to) with its matches coloured.
void Printer::Marked(const Record& record, size_t from, size_t to) {
  size_t at = from;
  if (settings_.color) {
    for (const ByteMatch& match : record.matches) {
      const size_t start = std::max(match.whole.from, at);
      const size_t stop = std::min(match.whole.to, to);
      if (start >= stop) continue;
      Write(record.text.substr(at, start - at));
      Colored(kMatchColor, record.text.substr(start, stop - start));
      at = stop;
    }
  }
  Write(record.text.substr(at, to - at));
}

// Each line of the record with its own prefix, so that a whole file is numbered line by line.
void Printer::Lines(const Record& record, std::string_view separator) {
  int64_t number = record.number;
  for (size_t start = 0;;) {
    const size_t lf = record.text.find('\n', start);
    Prefix(number, separator);
    Marked(record, start, lf == std::string_view::npos ? record.text.size() : lf);
    if (lf == std::string_view::npos) {
      Write(record.end.empty() ? "\n" : record.end);
      return;
    }
    Write("\n");
    start = lf + 1;
    ++number;
    if (start == record.text.size()) return;
  }
}

void Printer::OnlyMatches(const Record& record) {
  for (const ByteMatch& match : record.matches) {
    const std::string_view text = Bytes(record, match.whole);
    if (text.empty()) continue;  // grep prints nothing for an empty match
    const std::string_view before = record.text.substr(0, match.whole.from);
    Prefix(record.number + std::count(before.begin(), before.end(), '\n'), ":");
    Colored(kMatchColor, text);
    if (!text.ends_with('\n')) Write("\n");
    if (settings_.groups) Groups(record, match);
  }
}

void Printer::Groups(const Record& record, const ByteMatch& match) {
  for (size_t n = 0; n < match.groups.size(); ++n) {
    Write("Subexpr #" + std::to_string(n + 1) + ": ");
    if (match.groups[n]) Write(Bytes(record, *match.groups[n]));
    Write("\n");
  }
}

// grep's group separator before a line that does not follow the last one printed.
void Printer::Separate(int64_t number) {
  if (printed_ && (!lastLine_ || number != *lastLine_ + 1)) GroupSeparator();
  printed_ = true;
  beganGroup_ = true;
  lastLine_ = number;
}

void Printer::GroupSeparator() {
  if (!settings_.groupSeparator) return;
  Colored(kSeparatorColor, *settings_.groupSeparator);
  Write("\n");
}

void Printer::Context(const Record& record) {
  Separate(record.number);
  if (!settings_.onlyMatching) Lines(record, "-");  // -o prints no context, only separators
}

void Printer::Selected(const Record& record) {
  if (context_) {
    for (const KeptRecord& kept : before_)
      Context({kept.text, kept.end, kept.number, kept.matches});
    before_.clear();
    Separate(record.number);
    afterLeft_ = settings_.after.value_or(0);
  }
  if (settings_.onlyMatching) {
    OnlyMatches(record);
  } else {
    Lines(record, ":");
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
    before_.push_back(
        {std::string(record.text), std::string(record.end), record.number, record.matches});
  }
}

void Printer::Json(const JsonMatch& match) {
  std::u16string file;
  if (!Utf8ToUtf16(match.file, file)) file = Latin1ToUtf16(match.file);
  JsonObject object;
  object.Key("file").String(file).Key("line").Number(match.line);
  AddStretch(object, match.match, "match");
  object.Key("before").String(match.before).Key("after").String(match.after);
  std::string groups = "[";
  for (size_t n = 0; n < match.groups.size(); ++n) {
    if (n > 0) groups += ',';
    if (match.groups[n]) {
      JsonObject group;
      AddStretch(group, *match.groups[n], "text");
      groups += group.Finish();
    } else {
      groups += "null";
    }
  }
  object.Key("groups").Raw(groups + "]");
  Write(object.Finish() + "\n");
  sink_.EndRecord();
}

void Printer::Count(int64_t count) {
  if (showName_) {
    Colored(kFileColor, name_);
    Colored(kSeparatorColor, ":");
  }
  Write(std::to_string(count) + "\n");
  sink_.EndRecord();
}

void Printer::FileName() {
  Colored(kFileColor, name_);
  Write("\n");
  sink_.EndRecord();
}

}  // namespace quarn::cli
