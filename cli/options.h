// The command line of quarn: the search options of the grep-like mode, or --host.
#pragma once

#include <string>
#include <variant>
#include <vector>

namespace quarn::cli {

enum class FileNames { Default, With, Without };

struct Options {
  bool host = false;

  std::string pattern;             // as given, UTF-8
  std::vector<std::string> files;  // empty or "-": standard input
  int flags = 0;                   // the engine's option flags

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
  FileNames fileNames = FileNames::Default;
};

// Parses the command line. Returns the options, or the exit status when the program is done
// already (--help and --version: 0; a usage error, reported on stderr: 2).
std::variant<Options, int> ParseCommandLine(int argc, char** argv);

}  // namespace quarn::cli
