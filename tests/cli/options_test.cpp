// The command line in process: what grep's conventions make of it, and the usage errors,
// which name the options as they are spelt.
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include <quarn/quarn.h>

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

TEST(CommandLine, FixedStringsQuoteEveryCharacterThatIsNotLiteral) {
  const Options options = Parsed({"-F", "-e", "a.b*(c)", "-e", "\\w [x]", "-e", "caf\xC3\xA9"});
  EXPECT_EQ(options.patterns,
            (std::vector<std::string>{"a\\.b\\*\\(c\\)", "\\\\w\\ \\[x\\]", "caf\xC3\xA9"}));
}

TEST(CommandLine, SmartCaseIgnoresCaseOnlyWithoutAnUpperCaseLetter) {
  const struct {
    std::vector<std::string> args;
    bool ignoreCase;
  } cases[] = {
      {{"--smart-case", "hello"}, true},
      {{"--smart-case", "Hello"}, false},
      {{"--smart-case", "\\W\\S\\D\\B\\A\\Z\\Qx\\E"}, true},  // the letters of escapes
      {{"--smart-case", "\xC3\xA9t\xC3\xA9"}, true},
      {{"--smart-case", "\xC3\x89t\xC3\xA9"}, false},   // É
      {{"--smart-case", "-e", "a", "-e", "B"}, false},  // any pattern
      {{"--smart-case", "-F", "\\W"}, false},           // a plain string has no escapes
      {{"--smart-case", "-i", "Hello"}, true},          // -i wins
      {{"Hello"}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ((Parsed(c.args).flags & reIgnoreCase) != 0, c.ignoreCase)
        << ::testing::PrintToString(c.args);
  }
}

TEST(CommandLine, GlobsAndTypesAreCollectedInOrder) {
  const Options options = Parsed({"-r", "-g", "*.c", "--glob=!gen", "-t", "h", "--type-not=md",
                                  "--max-depth=2", "--no-ignore", "x"});
  EXPECT_TRUE(options.walk.globs.Last("a.c", false));
  EXPECT_TRUE(options.walk.globs.Last("gen", true)->Negated());
  EXPECT_FALSE(options.walk.types.Last("a.h", false)->Negated());
  EXPECT_TRUE(options.walk.types.Last("a.md", false)->Negated());
  EXPECT_EQ(options.walk.maxDepth, 2);
  EXPECT_FALSE(options.walk.ignoreFiles);
}

TEST(CommandLine, TypeListAndVersionEndTheRunAtOnce) {
  auto parsed = Parse({"--type-list", "--bogus"});
  ASSERT_TRUE(std::holds_alternative<Exit>(parsed));
  const std::string& list = std::get<Exit>(parsed).text;
  EXPECT_TRUE(list.starts_with("asm: *.S, *.asm, *.s\n"));
  EXPECT_NE(list.find("\ncpp: *.[ChH], "), std::string::npos);
  EXPECT_NE(list.find("\nmake: "), std::string::npos);
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
      {{"--check", "a", "file"}, "--check takes no FILE"},
      {{"--explain", "-e", "a", "file"}, "--explain takes no FILE"},
      {{"--check", "--explain", "a"}, "--check and --explain cannot be used together"},
      {{"--explain", "-x", "a"}, "--explain cannot be used with -x/--line-regexp"},
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
