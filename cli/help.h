// The one source of quarn's documentation: the table of options (which the parser reads too)
// and the sections around it, from which both --help and the manual page quarn.1 are made.
//
// Section texts are paragraphs separated by blank lines: a paragraph is reflowed prose; one
// that begins with "- " is an item of a list; one whose lines begin with two spaces is kept
// line for line (examples, formats).
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace quarn::cli {

// Options without a letter have these ids; the others are their letter.
enum LongOnly : int {
  kColor = 256,
  kInclude,
  kExclude,
  kExcludeDir,
  kGroupSeparator,
  kNoGroupSeparator,
  kGroups,
  kWhole,
  kCrlf,
  kJson,
  kLatin1,
  kHost,
  kHostLimits,
  kDepth,
  kLongLines,
  kMaxSteps,
  kColumn,
  kLineBuffered,
  kMaxDepth,
  kTypeNot,
  kTypeList,
  kNoIgnore,
  kSmartCase,
  kReplace,
  kStats,
  kCheck,
  kExplain,
  kNoWarnings,
  kHelp,
};

struct OptionEntry {
  int id;             // 0: a heading of the help
  const char* name;   // the long name
  int argument;       // getopt's no_argument, required_argument or optional_argument
  const char* value;  // the argument's placeholder
  const char* help;   // the heading; nullptr for another name of the option before
};

std::span<const OptionEntry> OptionTable();

inline constexpr std::string_view kUsage = "quarn [OPTION]... PATTERN [FILE]...";

// quarn --help.
std::string HelpText();
// The manual page in roff (man(7)) for the version given.
std::string ManPage(std::string_view version);

}  // namespace quarn::cli
