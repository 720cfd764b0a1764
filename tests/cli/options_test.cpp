// The command line in process: what grep's conventions make of it, and the usage errors,
// which name the options as they are spelt.
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "options.h"

namespace quarn::cli {
namespace {

std::variant<Options, Exit> Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "quarn");
  std::vector<char*> argv;
  for (std::string& arg : args)
    argv.push_back(arg.data());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

Options Parsed(const std::vector<std::string>& args) {
  auto parsed = Parse(args);
  if (const Exit* exit = std::get_if<Exit>(&parsed)) ADD_FAILURE() << exit->text;
  return std::get_if<Options>(&parsed) ? std::get<Options>(parsed) : Options();
}

TEST(CommandLine, PatternsComeInTheOrderGiven) {
  const Options options = Parsed({"-e", "a", "-f", QUARN_FIXTURES "/patterns.txt", "-eb", "x"});
  EXPECT_EQ(options.patterns, (std::vector<std::string>{"a", "pie", "grape", "b"}));
  EXPECT_EQ(options.files, std::vector<std::string>{"x"});
}

TEST(CommandLine, OptionsMayFollowTheOperands) {
  const Options options = Parsed({"a", "x", "-n", "--", "-v"});
  EXPECT_EQ(options.patterns, std::vector<std::string>{"a"});
  EXPECT_EQ(options.files, (std::vector<std::string>{"x", "-v"}));
  EXPECT_TRUE(options.lineNumber);
  EXPECT_FALSE(options.invert);
}

TEST(CommandLine, ContextAsANumber) {
  EXPECT_EQ(Parsed({"-12", "a"}).before, 12);
  EXPECT_EQ(Parsed({"-1", "-2", "a"}).after, 2);
  EXPECT_EQ(Parsed({"-n3", "a"}).after, 3);
}

TEST(CommandLine, ExcludeDirIgnoresATrailingSlash) {
  EXPECT_EQ(Parsed({"--exclude-dir=src//", "a"}).walk.excludeDirs, std::vector<std::string>{"src"});
}

struct UsageCase {
  std::vector<std::string> args;
  std::string message;
};

TEST(CommandLine, UsageErrorsNameTheOptionsAsSpelt) {
  const std::vector<UsageCase> cases = {
      {{}, "no pattern given"},
      {{"-S", "-M", "a"}, "-S/--single-line and -M/--multiline cannot be used together"},
      {{"--crlf", "a"}, "--crlf needs --whole"},
      {{"--json", "-o", "a"}, "--json cannot be used with -o/--only-matching"},
      {{"--host", "-i"}, "--host cannot be used with -i/--ignore-case"},
      {{"--host", "a"}, "--host takes no PATTERN or FILE"},
      {{"-A", "x", "a"}, "invalid -A/--after-context value 'x' (a number of lines)"},
      {{"-C-1", "a"}, "invalid -C/--context value '-1' (a number of lines)"},
      {{"-m", "1x", "a"}, "invalid -m/--max-count value '1x' (a number)"},
      {{"-e"}, "-e/--regexp needs a value"},
      {{"a", "--include"}, "--include needs a value"},
      {{"--count=3", "a"}, "-c/--count takes no value"},
      {{"--bogus", "a"}, "unknown option --bogus"},
      {{"-k", "a"}, "unknown option -k"},
      {{"--co", "a"}, "option --co is ambiguous: --count, --column, --color, --colour, --context"},
      {{"--colo", "a", "--in"}, "option --in is ambiguous: --invert-match, --include"},
      {{"-t", "nosuch", "a"}, "unknown file type 'nosuch' (see --type-list)"},
      {{"--json", "--groups", "a"}, "--json cannot be used with --groups"},
      {{"-z", "--whole", "a"}, "-z/--null-data cannot be used with --whole"},
      {{"--max-depth", "x", "a"}, "invalid --max-depth value 'x' (a number of levels)"},
      {{"--color=sometimes", "a"}, "invalid --color value 'sometimes' (always, never or auto)"},
  };
  for (const UsageCase& usage : cases) {
    auto parsed = Parse(usage.args);
    const Exit* exit = std::get_if<Exit>(&parsed);
    ASSERT_NE(exit, nullptr) << usage.message;
    EXPECT_EQ(exit->status, 2);
    EXPECT_EQ(exit->text, "quarn: " + usage.message +
                              "\nquarn: usage: quarn [OPTION]... PATTERN [FILE]...; quarn --help "
                              "explains every option\n");
  }
}

}  // namespace
}  // namespace quarn::cli
