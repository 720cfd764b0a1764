// The command line of quarn: grep's options and meanings, Quarn's own (-S, -M, -g, --whole,
// --crlf, --json, --latin1, --depth, --long-lines, -j), or --host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "files.h"

namespace quarn::cli {

enum class FileNames { Default, With, Without };
enum class FileList { None, Matching, NotMatching };  // -l, -L

struct Options {
  bool host = false;

  std::vector<std::string> patterns;  // UTF-8, in the order given
  std::vector<std::string> files;     // none: standard input, or "." for -r
  int flags = 0;                      // the engine's option flags
  bool wordRegexp = false;
  bool lineRegexp = false;

  bool onlyMatching = false;
  bool lineNumber = false;
  bool count = false;
  bool invert = false;
  bool groups = false;
  bool whole = false;
  bool crlf = false;
  bool json = false;
  bool latin1 = false;
  bool color = false;  // --color resolved against the terminal
  bool quiet = false;
  bool noMessages = false;
  bool text = false;  // -a
  FileNames fileNames = FileNames::Default;
  FileList fileList = FileList::None;
  std::optional<int64_t> before;  // context lines, when asked for (even 0)
  std::optional<int64_t> after;
  std::optional<int64_t> maxCount;
  std::optional<std::string> groupSeparator = "--";
  WalkOptions walk;
  uint32_t depth = 1000;   // the engine's depth limit
  bool longLines = false;  // lift the engine's limit on the length of a subject
  int threads = 0;         // files searched at once; 0: one per core
};

// How the run ends without a search: the text for standard output (status 0: --help,
// --version) or for standard error (status 2: a usage error, which names the options as
// they are spelt on the command line).
struct Exit {
  int status = 0;
  std::string text;
};

// Parses the command line (argv may be reordered, as getopt does) and reads -f files.
std::variant<Options, Exit> ParseCommandLine(int argc, char** argv);

}  // namespace quarn::cli
