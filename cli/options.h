// The command line of quarn: grep's options and meanings, ripgrep's where grep has none
// (--glob, --type, --json, --replace, ...), Quarn's own (-S, -M, --groups, --whole, --crlf,
// --latin1, the limits), or --host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "files.h"
#include "search_limits.h"

namespace quarn::cli {

enum class FileNames { Default, With, Without };
enum class FileList { None, Matching, NotMatching };  // -l, -L

// What a run does: search, or only report on the patterns (--check, --explain).
enum class Action { Search, Check, Explain };

struct Options {
  bool host = false;
  Action action = Action::Search;
  bool warnings = true;  // the patterns' warnings are said before searching (--no-warnings)

  std::vector<std::string> patterns;  // UTF-8, in the order given (-F: already quoted)
  std::vector<std::string> files;     // none: standard input, or the working directory for -r
  int flags = 0;                      // the engine's option flags (--smart-case resolved)
  bool wordRegexp = false;
  bool lineRegexp = false;

  bool onlyMatching = false;
  bool lineNumber = false;
  bool byteOffset = false;
  bool column = false;
  bool count = false;
  bool invert = false;
  bool groups = false;
  std::optional<std::string> replace;  // --replace TEXT, UTF-8
  bool whole = false;
  bool crlf = false;
  bool json = false;
  bool stats = false;
  bool latin1 = false;
  bool color = false;  // --color resolved against the terminal
  bool lineBuffered = false;
  bool quiet = false;
  bool noMessages = false;
  bool text = false;           // -a
  bool nullData = false;       // -z
  bool nullAfterName = false;  // -Z
  FileNames fileNames = FileNames::Default;
  FileList fileList = FileList::None;
  std::optional<int64_t> before;  // context lines, when asked for (even 0)
  std::optional<int64_t> after;
  std::optional<int64_t> maxCount;
  std::optional<std::string> groupSeparator = "--";
  WalkOptions walk;
  LimitOptions limits;
  int threads = 0;  // files searched at once; 0: one per core
};

// How the run ends without a search: the text for standard output (status 0: --help,
// --version) or for standard error (status 2: a usage error, which names the options as
// they are spelt on the command line); --type-list is one of the former.
struct Exit {
  int status = 0;
  std::string text;
};

// Parses the command line (argv may be reordered, as getopt does) and reads -f files.
std::variant<Options, Exit> ParseCommandLine(int argc, char** argv);

}  // namespace quarn::cli
