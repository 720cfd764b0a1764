// The command line, parsed with getopt_long as grep parses its own: options may follow the
// operands, short options cluster (-inH), values attach (-A2, --context=2, -e-x), long names
// may be abbreviated, and -NUM stands for -C NUM. The table of help.h gives the option
// letters, the long names and the help text.
#include "options.h"

#include <quarn/quarn.h>

#include <getopt.h>
#include <locale.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <string_view>

#include "file_types.h"
#include "help.h"
#include "input.h"

namespace quarn::cli {

namespace {

const OptionEntry* Find(int id) {
  for (const OptionEntry& entry : OptionTable()) {
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

Exit Usage(const std::string& message) {
  return {2, "quarn: " + message + "\nquarn: usage: " + std::string(kUsage) +
                 "; quarn --help explains every option\n"};
}

// -F: a pattern whose characters all stand for themselves. Letters, digits and characters
// beyond ASCII are literal in any pattern, control characters the engine protects itself,
// and an escaped punctuation character or space is that character.
std::string Quoted(std::string_view pattern) {
  std::string quoted;
  for (const char c : pattern) {
    if (std::ispunct(static_cast<unsigned char>(c)) || c == ' ') quoted += '\\';
    quoted += c;
  }
  return quoted;
}

// Whether a pattern holds an upper-case letter that is not the letter of an escape ("\W").
bool HasUpperCase(std::string_view pattern) {
  static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  const auto* bytes = reinterpret_cast<const unsigned char*>(pattern.data());
  for (size_t i = 0; i < pattern.size();) {
    if (pattern[i] == '\\') {
      i += 2;
      continue;
    }
    const size_t length = std::max<size_t>(1, Utf8SequenceLength(bytes + i, pattern.size() - i));
    wint_t c = bytes[i] & (length == 1 ? 0xFF : 0x7F >> length);
    for (size_t k = 1; k < length; ++k)
      c = (c << 6) | (bytes[i + k] & 0x3F);
    if (unicode ? iswupper_l(c, unicode) : (c < 128 && std::isupper(static_cast<int>(c)))) {
      return true;
    }
    i += length;
  }
  return false;
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
  bool fixed_ = false;
  bool smartCase_ = false;
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
    case 'F':
      fixed_ = true;
      break;
    case 'i':
      o_.flags |= reIgnoreCase;
      break;
    case kSmartCase:
      smartCase_ = true;
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
    case kGroups:
      o_.groups = true;
      break;
    case kReplace:
      o_.replace = value;
      break;
    case 'n':
      o_.lineNumber = true;
      break;
    case 'b':
      o_.byteOffset = true;
      break;
    case kColumn:
      o_.column = true;
      break;
    case 'Z':
      o_.nullAfterName = true;
      break;
    case 'z':
      o_.nullData = true;
      break;
    case kStats:
      o_.stats = true;
      break;
    case kLineBuffered:
      o_.lineBuffered = true;
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
    case 'g': {
      std::optional<Glob> glob = Glob::Parse(value);
      if (!glob) return Usage("invalid " + Name(id) + " value '" + value + "' (a glob)");
      o_.walk.globs.Add(std::move(*glob));
      break;
    }
    case 't':
    case kTypeNot: {
      const FileType* type = FindFileType(value);
      if (!type) return Usage("unknown file type '" + std::string(value) + "' (see --type-list)");
      for (size_t start = 0; start < type->globs.size();) {
        const size_t comma = std::min(type->globs.find(", ", start), type->globs.size());
        const std::string text = std::string(id == 't' ? "" : "!") +
                                 std::string(type->globs.substr(start, comma - start));
        o_.walk.types.Add(*Glob::Parse(text));
        start = comma + 2;
      }
      break;
    }
    case kTypeList:
      return Exit{0, FileTypeList()};
    case kMaxDepth: {
      o_.walk.maxDepth = Number(value, 0);
      if (!o_.walk.maxDepth) {
        return Usage("invalid " + Name(id) + " value '" + value + "' (a number of levels)");
      }
      break;
    }
    case kNoIgnore:
      o_.walk.ignoreFiles = false;
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
    case kHostLimits:
      o_.limits.host = true;
      break;
    case kDepth: {
      const std::optional<int64_t> depth = Number(value, 1);
      if (!depth || *depth > std::numeric_limits<uint32_t>::max()) {
        return Usage("invalid " + Name(id) + " value '" + value + "' (1 to 4294967295 levels)");
      }
      o_.limits.depth = static_cast<uint32_t>(*depth);
      break;
    }
    case kLongLines:
      o_.limits.longLines = true;
      break;
    case kMaxSteps: {
      const std::optional<int64_t> steps = Number(value, 0);
      if (!steps) return Usage("invalid " + Name(id) + " value '" + value + "' (a number)");
      o_.limits.maxSteps = static_cast<uint64_t>(*steps);
      break;
    }
    case kCheck:
      o_.action = Action::Check;
      break;
    case kExplain:
      o_.action = Action::Explain;
      break;
    case kNoWarnings:
      o_.warnings = false;
      break;
    case kHelp:
      return Exit{0, HelpText()};
    case 'V':
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
  if (o_.nullData && o_.whole) return Usage(Name('z') + " cannot be used with --whole");
  if (o_.json) {
    for (const int id : given_) {
      if (id == kGroups || (id < 256 && std::string_view("oclL").find(static_cast<char>(id)) !=
                                            std::string_view::npos)) {
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
  if (fixed_) {
    for (std::string& pattern : o_.patterns)
      pattern = Quoted(pattern);
  }
  if (smartCase_ && !Given('i') &&
      std::none_of(o_.patterns.begin(), o_.patterns.end(), HasUpperCase)) {
    o_.flags |= reIgnoreCase;
  }
  o_.files.assign(operands.begin() + (patternsGiven_ ? 0 : 1), operands.end());
  if (o_.action != Action::Search) {
    const int id = o_.action == Action::Check ? kCheck : kExplain;
    if (Given(kCheck) && Given(kExplain))
      return Usage("--check and --explain cannot be used together");
    if (!o_.files.empty()) return Usage(Name(id) + " takes no FILE");
    if (id == kExplain && (o_.wordRegexp || o_.lineRegexp)) {
      return Usage("--explain cannot be used with " + Name(o_.wordRegexp ? 'w' : 'x'));
    }
  }
  return std::nullopt;
}

std::variant<Options, Exit> Parser::Parse(int argc, char** argv) {
  std::string letters = ":0123456789";  // ':' first: a missing value is told from the rest
  std::vector<option> longs;
  for (const OptionEntry& entry : OptionTable()) {
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
      for (const OptionEntry& entry : OptionTable()) {
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
