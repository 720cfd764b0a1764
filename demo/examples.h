// The demo window's list of examples: a caption, a subject text and a pattern each. Entry 0
// is the prompt that selects nothing. Plain C++ with no toolkit dependency, so that the
// engine's tests and the benchmarks run exactly the searches the window shows.
#pragma once

#include <array>
#include <string_view>

namespace quarn::demo {

struct Example {
  std::u16string_view caption;
  std::u16string_view text;
  std::u16string_view pattern;
};

inline constexpr std::array<Example, 18> kExamples = {{
    {u"(Select one)", u"", u""},
    {u"Email address",
     u"Questions? Write to help.desk@example.org and we will answer within a week.",
     u"([A-Za-z0-9_\\.-]+)@([A-Za-z0-9_\\.-]+[A-Za-z0-9_][A-Za-z0-9_])"},
    {u"Dollars", u"Make $50,000.00 fast with this no risk system!",
     u"\\$\\d{1,3}(?:,\\d{3})*(?:\\.\\d{2})?\\b"},
    {u"IP Address", u"The test server answers at 192.168.10.254 on port 8080.",
     u"[1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}"},
    {u"Long date", u"It was 14 Dec 1997 when this program was being worked on",
     u"([1-2][0-9]|[1-9]|3[01]) ([A-Z][a-z][a-z]+) ((?:19|20)?[0-9][0-9])"},
    {u"VB Floating point number", u"-10.23E-12",
     u"[+-]?([0-9]*\\.[0-9]+|[0-9]+)([EeDd][+-]?[0-9]+)?"},
    {u"VB String",
     u"Print \"VB means \"\"Visual Basic\"\", right?\" & \"And another string (doesn't match)\"",
     u"\"(?:[^\"]|\"\")*(?:\"|$)"},
    {u"VB #const statement", u"#const abc = 100",
     u"^#[Cc][Oo][Nn][Ss][Tt]\\s+([A-Za-z_\u00C7\u00FF]\\w+)\\s*=\\s*(\\S.*)\\s*$"},
    {u"VB #if statement", u"#If abc Then", u"^#[Ii][Ff]\\s+(\\S.*)\\s+[Tt][Hh][Ee][Nn]$"},
    {u"C-style String",
     u"puts(\"Let's have a C-style \\\"string\\\" with lots of \\\\escapes\\\\\");",
     u"\"((?:[^\"\\n\\\\]|\\\\.)*?)\""},
    {u"Greedy matching", u"The food is under the bar in the barn", u"foo.*bar"},
    {u"Stingy / minimal  matching", u"The food is under the bar in the barn", u"foo.*?bar"},
    {u"Repeated words", u"This is is is issued", u"\\b(\\w+)(?:\\s+\\1)+\\b"},
    {u"cAPS lOCK sYNDROME", u"There is SOMETHING Wrong with mY cAPS lOCK Button!",
     u"\\b[a-z][A-Z]+(?:[^A-Za-z]+[a-z][A-Z]+)*\\b"},
    {u"TWo BIg INitials", u"I really ENjoy WRiting LIke THIS",
     u"\\b[A-Z]{2}[a-z]+(?:[^A-Za-z]+[A-Z]{2}[a-z]+)*\\b"},
    {u"Lookaheads: Negative assertion", u"It took 11 years to buy 11 companies",
     u"[0-9]+ (?!years)[a-zA-Z]+"},
    {u"Lookaheads: Positive assertion", u"A foo without bar isn't enough, we need foobar",
     u"foo(?=bar)"},
    {u"Thirteen ways to misspell Fenwax",
     u"Fenwax Fennwax Phenwax Venwax Fenvax Fenwaks Fenwacks Fenwachs Fenwacs Fenwaxe Phennwaks "
     u"Venvacks Fennvaxe",
     u"((?:F|Ph|V)en{1,2}(?:w|v)a(?:x|c?ks|chs|cs)e?\\s*)+"},
}};

}  // namespace quarn::demo
