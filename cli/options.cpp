// The command line, parsed with getopt_long as grep parses its own: options may follow the
// operands, short options cluster (-inH), values attach (-A2, --context=2, -e-x), long names
// may be abbreviated, and -NUM stands for -C NUM. One table gives the option letters, the
// long names and the help text.
#include "options.h"

#include <quarn/quarn.h>

#include <getopt.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <string_view>

namespace quarn::cli {

namespace {

// Options without a letter have these ids; the others are their letter.
enum LongOnly : int {
  kColor = 256,
  kInclude,
  kExclude,
  kExcludeDir,
  kGroupSeparator,
  kNoGroupSeparator,
  kWhole,
  kCrlf,
  kJson,
  kLatin1,
  kHost,
  kDepth,
  kLongLines,
  kHelp,
  kVersion,
};

struct OptionEntry {
  int id;  // 0: a heading of the help
  const char* name;
  int argument;       // no_argument, required_argument or optional_argument
  const char* value;  // the argument's placeholder
  const char* help;   // the heading; nullptr for another name of the option before
};

constexpr OptionEntry kOptionTable[] = {
    {0, nullptr, 0, nullptr, "Patterns:"},
    {'e', "regexp", required_argument, "PATTERN", "Use PATTERN; may be given more than once"},
    {'f', "file", required_argument, "FILE", "Take the patterns from FILE, one a line"},
    {'i', "ignore-case", no_argument, nullptr, "Letters match without regard to case"},
    {'S', "single-line", no_argument, nullptr, "\".\" also matches the characters of CR LF"},
    {'M', "multiline", no_argument, nullptr, "\"^\" and \"$\" also match at an inner CR LF"},
    {'w', "word-regexp", no_argument, nullptr, "Match only whole words (of \\w characters)"},
    {'x', "line-regexp", no_argument, nullptr, "Match only whole lines"},
    {0, nullptr, 0, nullptr, "Selection and output:"},
    {'v', "invert-match", no_argument, nullptr, "Select the lines that do not match"},
    {'m', "max-count", required_argument, "NUM", "Stop reading a file after NUM selected lines"},
    {'c', "count", no_argument, nullptr, "Print only the number of selected lines per file"},
    {'l', "files-with-matches", no_argument, nullptr,
     "Print only names of files with a selected line"},
    {'L', "files-without-match", no_argument, nullptr, "Print only names of files without one"},
    {'q', "quiet", no_argument, nullptr, "Print nothing; exit at the first selected line"},
    {'q', "silent", no_argument, nullptr, nullptr},
    {'s', "no-messages", no_argument, nullptr, "No messages about missing or unreadable files"},
    {'o', "only-matching", no_argument, nullptr, "Print only the matches"},
    {'g', "groups", no_argument, nullptr, "After each match print its subexpressions"},
    {'n', "line-number", no_argument, nullptr, "Print line numbers"},
    {'H', "with-filename", no_argument, nullptr, "Print the file name with each line"},
    {'h', "no-filename", no_argument, nullptr, "Never print file names"},
    {kColor, "color", optional_argument, "WHEN",
     "Highlight matches: auto (default), always, never"},
    {kColor, "colour", optional_argument, "WHEN", nullptr},
    {kJson, "json", no_argument, nullptr, "One JSON object per match"},
    {0, nullptr, 0, nullptr, "Context:"},
    {'A', "after-context", required_argument, "NUM", "Print NUM lines after a selected line"},
    {'B', "before-context", required_argument, "NUM", "Print NUM lines before a selected line"},
    {'C', "context", required_argument, "NUM", "Print NUM lines around it (also -NUM)"},
    {kGroupSeparator, "group-separator", required_argument, "SEP",
     "Print SEP between groups of lines (--)"},
    {kNoGroupSeparator, "no-group-separator", no_argument, nullptr, "Print nothing between them"},
    {0, nullptr, 0, nullptr, "Files:"},
    {'r', "recursive", no_argument, nullptr, "Search the files below directories (no FILE: .)"},
    {'R', "dereference-recursive", no_argument, nullptr, "Likewise, following all symlinks"},
    {kInclude, "include", required_argument, "GLOB", "Search only files that match GLOB"},
    {kExclude, "exclude", required_argument, "GLOB", "Skip files that match GLOB"},
    {kExcludeDir, "exclude-dir", required_argument, "GLOB", "Skip directories that match GLOB"},
    {'a', "text", no_argument, nullptr, "Search binary files as if they were text"},
    {kLatin1, "latin1", no_argument, nullptr, "Read input as Latin-1, not UTF-8"},
    {kWhole, "whole", no_argument, nullptr, "Each file is one subject, line breaks included"},
    {kCrlf, "crlf", no_argument, nullptr, "With --whole: read a lone LF as CR LF"},
    {'j', "threads", required_argument, "NUM", "Search NUM files at once (default: one per core)"},
    {0, nullptr, 0, nullptr, "Limits (see below):"},
    {kDepth, "depth", required_argument, "NUM", "Let the matcher go NUM levels deep (1000)"},
    {kLongLines, "long-lines", no_argument, nullptr,
     "Search lines of any length (4,294,967,295 characters)"},
    {0, nullptr, 0, nullptr, "Other:"},
    {kHost, "host", no_argument, nullptr, "Answer engine calls from standard input"},
    {kHelp, "help", no_argument, nullptr, "Print this help and exit"},
    {kVersion, "version", no_argument, nullptr, "Print the version and exit"},
};

constexpr const char* kUsage = "quarn [OPTION]... PATTERN [FILE]...";

constexpr const char* kAbout =
    R"(Search each FILE for the lines that match PATTERN, a Quarn regular expression,
as grep does; or drive the engine through the host protocol (--host).
)";

constexpr const char* kDetails = R"(
Subjects:
  Each line of each FILE is one subject, its LF or CR LF terminator removed;
  with no FILE, or for FILE "-", standard input is read (with -r, the working
  directory). Input is UTF-8 (--latin1: one byte, one character). A byte that
  is not UTF-8 is searched as a character of its own, which only "." and
  negated classes match, and written back as read; such a file is noted once.
  A file holding a NUL byte is binary: a match in it prints "binary file
  matches" on standard error instead of lines, unless -a is given. PATTERN is
  UTF-8; a PATTERN or -e value holding line breaks gives one pattern a line.
  Quarn's line break is CR LF: with --whole each file is one subject, line
  breaks included, so that "^", "$", "\n" and -M act across lines; --crlf
  presents each lone LF of the input as CR LF.

Output:
  A selected line is printed whole, with its line terminator as read. -o,
  --color, -g and --json show every match in the line, as grep does: after a
  match the search goes on where it ended (one character later after an empty
  one). With several patterns (-e, -f), a line that any of them matches is
  selected once; its matches are, at each place, the leftmost match of any
  pattern (the one given first on a tie), then the search goes on after it.
  -o prints each match on a line of its own (an empty match prints nothing).
  -g prints after each match one line per subexpression: "Subexpr #" + n +
  ": " + its text (empty when it took no part). -w takes a match only where
  the characters around it are not \w ones (or are the ends of the subject),
  -x only a match of the whole subject.
  --json prints one object per match (an empty one included):
    {"file":S,"line":N,"start":N,"length":N,"match":S,"before":S,"after":S,
     "groups":[{"start":N,"length":N,"text":S} or null, ...]}
  with 1-based positions and lengths in UTF-16 code units, as QuarnIndex gives
  them (a byte that is not UTF-8 is a lone surrogate \udc80 to \udcff). With
  --whole, -n numbers every line of a printed file; -o and "line" give the
  line on which the match begins.
  With -j, files are searched on several threads; the output is the same as
  with -j 1, file by file in the order given and walked.

Limits:
  By default quarn sees what a host of the engine sees. Lines longer than
  32,765 characters (UTF-16 code units) cannot be searched to their end;
  --long-lines raises that to 4,294,967,295. Each step of the matcher (an
  atom taken, a group entered or left, a repetition) goes one level deeper,
  and a search may go 1000 levels deep, so that
  a repeated atom can take about 499 characters (a repeated group fewer);
  --depth=NUM lets it go NUM levels deep, and a repeated atom take about
  NUM/2 - 1 characters (memory is the only bound). A line whose search meets
  a limit is neither selected nor passed over as not matching; each file
  names once the limit its lines met, and the exit status is 2.

Errors and exit status:
  Every message begins "quarn: ". A fault of a pattern is reported once, in
  the engine's words, and ends the run as soon as it shows. A file that cannot
  be read is reported (except with -s) and the others are still searched.
  Exit status: 0 if a line was selected, 1 if none was, 2 if an error
  occurred; with -q, 0 as soon as a line is selected.

Examples:
  quarn -n 'colou?r' notes.txt
  quarn -r -w --include='*.h' 'Quarn\w*' src
  quarn -o -i '\b\w+@\w+\.com\b' contacts.txt
  quarn -C 2 -e TODO -e FIXME main.cpp
  quarn -g '(\d{4})-(\d\d)-(\d\d)' journal.txt
  quarn --whole --crlf -M '^Subject: (.*)$' message.txt
  quarn --json 'id=(\d+)' records.txt

Host protocol (--host):
  Reads calls of the engine's public functions as JSON Lines (UTF-8) from
  standard input, one a line, and answers each with one line on standard
  output, in order, flushed:
    {"call":"Quarn","text":S,"pattern":S,"flags":N}
        -> {"result":true|false,"reports":[S...]}
    {"call":"QuarnResult","type":N}
        -> {"result":null|N|S,"reports":[S...]}
    {"call":"QuarnIndex","type":N,"start":N,"length":N}
        -> {"start":N,"length":N,"reports":[S...]}
  flags, start and length default to 0. Texts are UTF-16 code units (so an
  answer may hold a lone surrogate, written as \uXXXX). "reports" lists every
  engine report of the call, "Error #" + number + ": " + description. The match
  state lasts for the whole run. A line that is not one of these calls gets
  {"error":S} and changes nothing; a blank line gets no answer. Example:
    printf '%s\n' '{"call":"Quarn","text":"abc","pattern":"b"}' \
                  '{"call":"QuarnIndex","type":-3}' | quarn --host
)";

const OptionEntry* Find(int id) {
  for (const OptionEntry& entry : kOptionTable) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

// An option as messages name it: "-i/--ignore-case", or "--json" for one without a letter.
std::string Name(int id) {
  const OptionEntry* entry = Find(id);
  if (!entry) return std::string("-") + static_cast<char>(id);
  std::string name = "--" + std::string(entry->name);
  return id < 256 ? std::string("-") + static_cast<char>(id) + "/" + name : name;
}

std::string HelpText() {
  std::string help = std::string("Usage: ") + kUsage + "\n" + kAbout;
  for (const OptionEntry& entry : kOptionTable) {
    if (!entry.help) continue;
    if (entry.id == 0) {
      help += std::string("\n") + entry.help + "\n";
      continue;
    }
    std::string line = entry.id < 256 ? std::string("  -") + static_cast<char>(entry.id) + ", "
                                      : std::string("      ");
    line.append("--").append(entry.name);
    if (entry.argument == required_argument) line.append("=").append(entry.value);
    if (entry.argument == optional_argument) line.append("[=").append(entry.value).append("]");
    if (line.size() >= 30) line += '\n';
    line.append(line.size() < 30 ? 30 - line.size() : 30, ' ');
    help += line + entry.help + "\n";
  }
  return help + kDetails;
}

Exit Usage(const std::string& message) {
  return {2, "quarn: " + message + "\nquarn: usage: " + kUsage +
                 "; quarn --help explains every option\n"};
}

// The patterns in text, one a line (as grep reads them). A pattern file may come from a
// system whose lines end in CR LF; its CRs do not belong to the patterns.
void AddPatterns(std::vector<std::string>& patterns, std::string_view text, bool fromFile) {
  if (fromFile && text.ends_with('\n')) text.remove_suffix(1);
  if (fromFile && text.empty()) return;  // an empty file holds no pattern at all
  for (size_t start = 0;;) {
    const size_t lf = text.find('\n', start);
    std::string_view pattern = text.substr(start, lf - start);
    if (fromFile && pattern.ends_with('\r')) pattern.remove_suffix(1);
    patterns.emplace_back(pattern);
    if (lf == std::string_view::npos) return;
    start = lf + 1;
  }
}

// A whole number of at least min; a larger one than int64_t holds is as good as infinite.
std::optional<int64_t> Number(const char* text, int64_t min) {
  errno = 0;
  char* end = nullptr;
  const long long n = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || n < min) return std::nullopt;
  return errno == ERANGE && n > 0 ? std::numeric_limits<int64_t>::max() : n;
}

class Parser {
 public:
  std::variant<Options, Exit> Parse(int argc, char** argv);

 private:
  Options o_;
  std::vector<int> given_;  // the ids of the options given, in order
  bool patternsGiven_ = false;
  std::string color_ = "auto";

  std::optional<Exit> Apply(int id, const char* value);
  std::optional<Exit> Check(const std::vector<std::string>& operands);
  bool Given(int id) const { return std::find(given_.begin(), given_.end(), id) != given_.end(); }
};

std::optional<Exit> Parser::Apply(int id, const char* value) {
  const auto context = [&](std::optional<int64_t>& lines) -> std::optional<Exit> {
    lines = Number(value, 0);
    if (!lines) return Usage("invalid " + Name(id) + " value '" + value + "' (a number of lines)");
    return std::nullopt;
  };
  switch (id) {
    case 'e':
      AddPatterns(o_.patterns, value, false);
      patternsGiven_ = true;
      break;
    case 'f': {
      std::ifstream file;
      if (std::string_view(value) != "-") file.open(value, std::ios::binary);
      std::istream& in = std::string_view(value) == "-" ? std::cin : file;
      if (!in) return Exit{2, "quarn: " + std::string(value) + ": " + std::strerror(errno) + "\n"};
      AddPatterns(o_.patterns, std::string(std::istreambuf_iterator<char>(in), {}), true);
      patternsGiven_ = true;
      break;
    }
    case 'i':
      o_.flags |= reIgnoreCase;
      break;
    case 'S':
      o_.flags |= reSingleLine;
      break;
    case 'M':
      o_.flags |= reMultiline;
      break;
    case 'w':
      o_.wordRegexp = true;
      break;
    case 'x':
      o_.lineRegexp = true;
      break;
    case 'v':
      o_.invert = true;
      break;
    case 'm':
      o_.maxCount = Number(value, std::numeric_limits<int64_t>::min());
      if (!o_.maxCount) return Usage("invalid " + Name(id) + " value '" + value + "' (a number)");
      if (*o_.maxCount < 0) o_.maxCount.reset();  // as grep: no limit
      break;
    case 'c':
      o_.count = true;
      break;
    case 'l':
      o_.fileList = FileList::Matching;
      break;
    case 'L':
      o_.fileList = FileList::NotMatching;
      break;
    case 'q':
      o_.quiet = true;
      break;
    case 's':
      o_.noMessages = true;
      break;
    case 'o':
      o_.onlyMatching = true;
      break;
    case 'g':
      o_.groups = true;
      break;
    case 'n':
      o_.lineNumber = true;
      break;
    case 'H':
      o_.fileNames = FileNames::With;
      break;
    case 'h':
      o_.fileNames = FileNames::Without;
      break;
    case kColor:
      color_ = value ? value : "auto";
      break;
    case kJson:
      o_.json = true;
      break;
    case 'A':
      return context(o_.after);
    case 'B':
      return context(o_.before);
    case 'C':
      if (auto failed = context(o_.after)) return failed;
      o_.before = o_.after;
      break;
    case kGroupSeparator:
      o_.groupSeparator = value;
      break;
    case kNoGroupSeparator:
      o_.groupSeparator.reset();
      break;
    case 'R':
      o_.walk.followLinks = true;
      [[fallthrough]];
    case 'r':
      o_.walk.recursive = true;
      break;
    case kInclude:
    case kExclude:
      o_.walk.files.push_back({value, id == kInclude});
      break;
    case kExcludeDir: {
      std::string glob = value;
      while (glob.size() > 1 && glob.ends_with('/'))
        glob.pop_back();
      o_.walk.excludeDirs.push_back(glob);
      break;
    }
    case 'a':
      o_.text = true;
      break;
    case kLatin1:
      o_.latin1 = true;
      break;
    case kWhole:
      o_.whole = true;
      break;
    case kCrlf:
      o_.crlf = true;
      break;
    case kHost:
      o_.host = true;
      break;
    case 'j': {
      const std::optional<int64_t> threads = Number(value, 1);
      if (!threads || *threads > 1024) {
        return Usage("invalid " + Name(id) + " value '" + value + "' (1 to 1024 threads)");
      }
      o_.threads = static_cast<int>(*threads);
      break;
    }
    case kDepth: {
      const std::optional<int64_t> depth = Number(value, 1);
      if (!depth || *depth > std::numeric_limits<uint32_t>::max()) {
        return Usage("invalid " + Name(id) + " value '" + value + "' (1 to 4294967295 levels)");
      }
      o_.depth = static_cast<uint32_t>(*depth);
      break;
    }
    case kLongLines:
      o_.longLines = true;
      break;
    case kHelp:
      return Exit{0, HelpText()};
    case kVersion:
      return Exit{0, std::string("quarn ") + QUARN_VERSION + "\n"};
  }
  return std::nullopt;
}

// Which options go together, once all are known.
std::optional<Exit> Parser::Check(const std::vector<std::string>& operands) {
  if (o_.host) {
    for (const int id : given_) {
      if (id != kHost) return Usage("--host cannot be used with " + Name(id));
    }
    if (!operands.empty()) return Usage("--host takes no PATTERN or FILE");
    return std::nullopt;
  }
  if (Given('S') && Given('M'))
    return Usage(Name('S') + " and " + Name('M') + " cannot be used together");
  if (o_.crlf && !o_.whole) return Usage("--crlf needs --whole");
  if (o_.json) {
    for (const int id : given_) {
      if (id < 256 &&
          std::string_view("ocvglLABC").find(static_cast<char>(id)) != std::string_view::npos) {
        return Usage("--json cannot be used with " + Name(id));
      }
    }
  }
  if (color_ == "always" || color_ == "yes" || color_ == "force") {
    o_.color = true;
  } else if (color_ == "auto" || color_ == "tty" || color_ == "if-tty") {
    o_.color = isatty(STDOUT_FILENO);
  } else if (color_ != "never" && color_ != "no" && color_ != "none") {
    return Usage("invalid --color value '" + color_ + "' (always, never or auto)");
  }
  if (!patternsGiven_) {
    if (operands.empty()) return Usage("no pattern given");
    AddPatterns(o_.patterns, operands.front(), false);
  }
  o_.files.assign(operands.begin() + (patternsGiven_ ? 0 : 1), operands.end());
  return std::nullopt;
}

std::variant<Options, Exit> Parser::Parse(int argc, char** argv) {
  std::string letters = ":0123456789";  // ':' first: a missing value is told from the rest
  std::vector<option> longs;
  for (const OptionEntry& entry : kOptionTable) {
    if (entry.id == 0) continue;
    if (entry.id < 256 && entry.help) {
      letters += static_cast<char>(entry.id);
      if (entry.argument == required_argument) letters += ':';
    }
    longs.push_back({entry.name, entry.argument, nullptr, entry.id});
  }
  longs.push_back({nullptr, 0, nullptr, 0});

  optind = 0;  // getopt starts afresh, so that a process can parse more than once
  opterr = 0;
  int digitsIn = -1;  // the argument whose digits -NUM is reading
  std::string digits;
  for (;;) {
    const int argument = optind == 0 ? 1 : optind;
    const int id = getopt_long(argc, argv, letters.c_str(), longs.data(), nullptr);
    if (id == -1) break;
    if (id == ':') return Usage(Name(optopt) + " needs a value");
    if (id == '?') {
      if (optopt != 0 && Find(optopt)) return Usage(Name(optopt) + " takes no value");
      if (optopt != 0) return Usage(std::string("unknown option -") + static_cast<char>(optopt));
      std::string typed = argv[optind - 1];
      typed = typed.substr(0, typed.find('='));
      std::string candidates;
      for (const OptionEntry& entry : kOptionTable) {
        if (entry.name && ("--" + std::string(entry.name)).starts_with(typed)) {
          candidates += std::string(candidates.empty() ? "" : ", ") + "--" + entry.name;
        }
      }
      if (candidates.find(',') != std::string::npos) {
        return Usage("option " + typed + " is ambiguous: " + candidates);
      }
      return Usage("unknown option " + typed);
    }
    if (id >= '0' && id <= '9') {
      if (argument != digitsIn) digits.clear();
      digitsIn = argument;
      digits += static_cast<char>(id);
      if (auto failed = Apply('C', digits.c_str())) return *failed;
      given_.push_back('C');
      continue;
    }
    given_.push_back(id);
    if (auto exit = Apply(id, optarg)) return *exit;
  }
  if (auto failed = Check(std::vector<std::string>(argv + optind, argv + argc))) return *failed;
  return std::move(o_);
}

}  // namespace

std::variant<Options, Exit> ParseCommandLine(int argc, char** argv) {
  return Parser().Parse(argc, argv);
}

}  // namespace quarn::cli
