// The words of the explanation: one line per node of the tree, and the messages of the
// warnings, saying how this engine reads each construct (its own readings included: "\n" is
// CR LF, "." never takes either character of a CR LF pair, braces are rewritten into copies).
#pragma once

#include <string>
#include <string_view>

#include "atoms.h"
#include "quarn/analysis.h"

namespace quarn {

struct Wording {
  bool ignoreCase = false;
  bool singleLine = false;
  bool multiline = false;
  int groupCount = 0;
};

// A character as a reader sees it: 'a', TAB, space, 'é' (U+00E9), U+0000.
std::string Shown(char16_t c);
std::string Utf8(std::u16string_view text);

std::string DescribeLiteral(char16_t c, const Wording& w);
std::string DescribeAtom(const ExplainNode& node, const Wording& w);  // the assertions, ".", ...
// written is the class as the pattern has it ("\w", "[a-z]").
std::string DescribeClass(const ExplainNode& node, std::u16string_view written, const Wording& w);
// bare: a character of a "\s" list; otherwise a group's marker taken by a quantifier.
std::string DescribeMarker(int group, bool bare, const Wording& w);
std::string DescribeGroup(const ExplainNode& node);
std::string DescribeRepeat(const ExplainNode& node);
std::string DescribeIgnored(std::u16string_view written);

// Warnings about constructs that read differently in other dialects, or nothing: an escaped
// letter with no meaning here, a class in POSIX form, braces whose count is not a number.
std::string LetterEscapeWarning(char16_t letter);
std::string PosixClassWarning(std::u16string_view written);
std::string BraceCountWarning(std::u16string_view braces, bool afterHexEscape);
std::string TrailingBackslashWarning();
std::string StrayMarkerWarning(int group, const Wording& w);

}  // namespace quarn
