// The escapes that the help's reference tables list, and what each one matches. The help
// window builds those tables from this list and the tests check every entry against the
// engine, so that the help cannot claim what the engine does not do. Plain C++ with no toolkit
// dependency, like the example list.
#pragma once

#include <array>
#include <string_view>

namespace quarn::demo {

// One escape as a pattern writes it, and what it matches: each single character in ranges
// (pairs of first and last code, in the order the help names them), or with complement every
// single character but those; and text, matched as a whole, when it is not empty.
struct Escape {
  std::u16string_view written;
  std::u16string_view ranges;
  std::u16string_view text = {};
  bool complement = false;
};

// One row of a reference table. A row about one escape leaves form empty and shows that
// escape in its first cell; a row about a general form such as \cX shows the form and
// describes each escape in shown as an example of it.
struct EscapeRow {
  std::u16string_view form;     // HTML
  std::u16string_view meaning;  // HTML; may be empty
  std::array<Escape, 4> shown;  // the unused ones stay empty
};

inline constexpr std::u16string_view kLineBreak = u"\r\n";

inline constexpr std::array<EscapeRow, 11> kCharacterEscapes = {{
    {u"<code>\\.</code> <code>\\*</code> <code>\\\\</code> ...",
     u"a backslash before a punctuation character makes it literal",
     {{{.written = u"\\.", .ranges = u".."},
       {.written = u"\\*", .ranges = u"**"},
       {.written = u"\\\\", .ranges = u"\\\\"}}}},
    {{}, u"a line break", {{{.written = u"\\n", .ranges = {}, .text = kLineBreak}}}},
    {{}, u"tab", {{{.written = u"\\t", .ranges = u"\t\t"}}}},
    {{}, u"carriage return", {{{.written = u"\\r", .ranges = u"\r\r"}}}},
    {{}, u"form feed", {{{.written = u"\\f", .ranges = u"\f\f"}}}},
    {{}, u"bell", {{{.written = u"\\a", .ranges = u"\a\a"}}}},
    {{}, u"escape", {{{.written = u"\\e", .ranges = u"\x1B\x1B"}}}},
    {u"<code>\\c</code><i>X</i>",
     u"the control character Ctrl+<i>X</i>; a lower-case letter counts as upper case",
     {{{.written = u"\\cA", .ranges = u"\x01\x01"},
       {.written = u"\\ca", .ranges = u"\x01\x01"},
       {.written = u"\\c@", .ranges = std::u16string_view(u"\0\0", 2)},
       {.written = u"\\c_", .ranges = u"\x1F\x1F"}}}},
    {u"<code>\\0</code><i>ooo</i>",
     u"the character with the octal code <i>ooo</i>, of up to three digits and at most 377",
     {{{.written = u"\\0101", .ranges = u"AA"},
       {.written = u"\\0377", .ranges = u"\u00FF\u00FF"},
       {.written = u"\\0", .ranges = std::u16string_view(u"\0\0", 2)}}}},
    {u"<code>\\x</code><i>hh</i>",
     u"the character with the hexadecimal code <i>hh</i>, of one or two digits",
     {{{.written = u"\\x41", .ranges = u"AA"},
       {.written = u"\\xff", .ranges = u"\u00FF\u00FF"},
       {.written = u"\\x9", .ranges = u"\t\t"}}}},
    {u"<code>\\Q</code>...<code>\\E</code>",
     u"everything in between is literal text",
     {{{.written = u"\\Q1+1=2\\E", .ranges = {}, .text = u"1+1=2"}}}},
}};

inline constexpr std::array<EscapeRow, 6> kClassEscapes = {{
    {{}, u"a digit", {{{.written = u"\\d", .ranges = u"09"}}}},
    {{}, {}, {{{.written = u"\\D", .ranges = u"09", .text = {}, .complement = true}}}},
    {{},
     u"a word character",
     {{{.written = u"\\w", .ranges = u"azAZ09__\u0080\u0080\u00FF\u00FF"}}}},
    {{},
     {},
     {{{.written = u"\\W",
        .ranges = u"azAZ09__\u0080\u0080\u00FF\u00FF",
        .text = {},
        .complement = true}}}},
    {{}, u"white space", {{{.written = u"\\s", .ranges = u"  \t\t\r\r\n\n", .text = kLineBreak}}}},
    {{}, {}, {{{.written = u"\\S", .ranges = u"  \t\t\r\r\n\n", .text = {}, .complement = true}}}},
}};

// Inside brackets each escape adds members to the bracket expression.
inline constexpr std::array<EscapeRow, 4> kBracketEscapes = {{
    {{},
     u"a backslash makes the next character a member",
     {{{.written = u"[\\]\\-]", .ranges = u"]]--"}}}},
    {{}, u"backspace", {{{.written = u"[\\b]", .ranges = u"\b\b"}}}},
    {{}, u"a line break", {{{.written = u"[\\n]", .ranges = {}, .text = kLineBreak}}}},
    {{},
     u"the class escapes <code>\\d</code> <code>\\w</code> <code>\\s</code> add their members",
     {{{.written = u"[\\d_]", .ranges = u"09__"}}}},
}};

}  // namespace quarn::demo
