// The command line, parsed with CLI11: grep's option letters where they exist, the help text
// with the subject model, the JSON form and the host protocol, and the checks of which
// options go together.
#include "options.h"

#include <quarn/quarn.h>

#include <unistd.h>

#include <CLI/CLI.hpp>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quarn::cli {

namespace {

constexpr const char* kDescription =
    "quarn: search files for a Quarn regular expression, like grep, or drive\n"
    "the engine through the host protocol (--host).";

constexpr const char* kFooter = R"(Subjects:
  Each line of each FILE is one subject, its LF or CR LF terminator removed;
  with no FILE, or for FILE "-", standard input is read. Input is UTF-8
  (--latin1: one byte, one character); an ill-formed line is reported with
  file and line and skipped. The pattern is always UTF-8. Quarn's line break is
  CR LF: with --whole each file is one subject, line breaks included, so that
  "^", "$", "\n" and -M act across lines; --crlf presents each lone LF of the
  input as CR LF and turns it back into LF on output.

Output:
  A selected subject is printed whole; -o prints only its match (the leftmost
  one; an empty match prints nothing). -g prints after each match one line per
  subexpression: "Subexpr #" + n + ": " + its text (empty when it took no
  part). --json prints one object per matching subject:
    {"file":S,"line":N,"start":N,"length":N,"match":S,"before":S,"after":S,
     "groups":[{"start":N,"length":N,"text":S} or null, ...]}
  with 1-based positions and lengths in UTF-16 code units, as QuarnIndex gives
  them. With --whole, "line" and -n give the line on which the match begins.

Errors and exit status:
  An engine report goes to stderr as "quarn: " + its text. A fault of the
  pattern ends the run at once; a report that depends on the subject (the depth
  limit, an overflow on a long line) names the file and line, and the search
  goes on. A missing file is reported and the others are still searched.
  Exit status: 0 if a subject was selected, 1 if none was, 2 if an error
  occurred.

Examples:
  quarn -n 'colou?r' notes.txt
  quarn -o -i '\b\w+@\w+\.com\b' contacts.txt
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

// CLI11's help with the option lines kept short: only a value's placeholder follows a name.
class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_option_opts(const CLI::Option* option) const override {
    return option->get_option_text();
  }
};

// grep takes a bare "--color" for "--color=auto"; CLI11 would read the next argument as
// its value, so the bare form is rewritten before parsing (not after "--").
std::vector<std::string> WithColorDefault(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = argc - 1; i >= 1; --i)
    args.emplace_back(argv[i]);  // CLI11 wants them reversed
  for (auto it = args.rbegin(); it != args.rend() && *it != "--"; ++it) {
    if (*it == "--color") *it = "--color=auto";
  }
  return args;
}

// What the options are bound to while CLI11 parses; Resolve() turns it into Options.
struct Bindings {
  Options options;
  bool ignoreCase = false;
  bool singleLine = false;
  bool multiline = false;
  bool withNames = false;
  bool withoutNames = false;
  std::string color = "auto";
};

// Defines the options of the search and returns them all, the positionals first.
std::vector<CLI::Option*> AddSearchOptions(CLI::App& app, Bindings& b) {
  Options& o = b.options;
  return {
      app.add_option("PATTERN", o.pattern, "The regular expression"),
      app.add_option("FILE", o.files, "Files to search (\"-\": standard input)")
          ->option_text(" ..."),
      app.add_flag("-i,--ignore-case", b.ignoreCase, "Letters match without regard to case"),
      app.add_flag("-S,--single-line", b.singleLine, "\".\" also matches the characters of CR LF"),
      app.add_flag("-M,--multiline", b.multiline,
                   "\"^\" and \"$\" also match at a CR LF inside the subject"),
      app.add_flag("-o,--only-matching", o.onlyMatching, "Print only the match"),
      app.add_flag("-n,--line-number", o.lineNumber, "Print line numbers"),
      app.add_flag("-c,--count", o.count, "Print only the number of selected subjects per file"),
      app.add_flag("-v,--invert-match", o.invert, "Select the subjects that do not match"),
      app.add_flag("-H,--with-filename", b.withNames, "Print the file name with each line"),
      app.add_flag("-h,--no-filename", b.withoutNames,
                   "Never print file names (default for one file)"),
      app.add_flag("-g,--groups", o.groups,
                   "After each match print its subexpressions, one a line"),
      app.add_option("--color", b.color, "Highlight matches: auto (the default), always, never")
          ->check(CLI::IsMember({"auto", "always", "never"}))
          ->option_text("[=WHEN]"),
      app.add_flag("--whole", o.whole, "Each file is one subject, line breaks included"),
      app.add_flag("--crlf", o.crlf, "With --whole: read a lone LF as CR LF, write it as LF"),
      app.add_flag("--json", o.json, "One JSON object per matching subject"),
      app.add_flag("--latin1", o.latin1, "Read input as Latin-1, not UTF-8"),
  };
}

// Which options go together: --host with none of the search's, --json with no other form of
// output, --crlf only with --whole, and -H or -h.
void AddRules(CLI::App& app, CLI::Option* host, const std::vector<CLI::Option*>& searchOptions) {
  for (CLI::Option* option : searchOptions)
    host->excludes(option);
  for (const char* other : {"-o", "-c", "-v", "-g"})
    app.get_option("--json")->excludes(other);
  app.get_option("--crlf")->needs("--whole");
  app.get_option("-H")->excludes("-h");
}

Options Resolve(Bindings b) {
  Options options = std::move(b.options);
  options.flags = (b.ignoreCase ? reIgnoreCase : 0) | (b.singleLine ? reSingleLine : 0) |
                  (b.multiline ? reMultiline : 0);
  if (b.withNames) options.fileNames = FileNames::With;
  if (b.withoutNames) options.fileNames = FileNames::Without;
  options.color = b.color == "always" || (b.color == "auto" && isatty(STDOUT_FILENO));
  return options;
}

}  // namespace

std::variant<Options, int> ParseCommandLine(int argc, char** argv) {
  CLI::App app(kDescription, "quarn");
  app.set_help_flag("--help", "Print this help and exit");
  app.set_version_flag("--version", std::string("quarn ") + QUARN_VERSION);
  app.footer(kFooter);
  auto formatter = std::make_shared<HelpFormatter>();
  formatter->column_width(24);
  app.formatter(formatter);

  Bindings bindings;
  CLI::Option* host = app.add_flag("--host", bindings.options.host,
                                   "Answer engine calls from standard input (see below)");
  const std::vector<CLI::Option*> searchOptions = AddSearchOptions(app, bindings);
  AddRules(app, host, searchOptions);
  try {
    app.parse(WithColorDefault(argc, argv));
    if (!bindings.options.host && searchOptions.front()->count() == 0) {
      throw CLI::RequiredError("PATTERN");
    }
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? 0 : 2;  // 0 after --help and --version
  }
  return Resolve(std::move(bindings));
}

}  // namespace quarn::cli
