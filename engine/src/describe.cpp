// The words of the explanation (see describe.h).
#include "describe.h"

#include <algorithm>
#include <cstdio>

#include "quarn/utf.h"
#include "text.h"

namespace quarn {

namespace {

std::string Hex(char16_t c) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
  return buffer;
}

std::string Number(int64_t n) {
  return std::to_string(n);
}

// The members of a list, as a reader would say them.
std::string Members(const ExplainNode& node) {
  std::string said;
  for (const ClassMember& m : node.members) {
    if (!said.empty()) said += ", ";
    if (m.lineBreak) {
      said += "CR LF (as a pair)";
    } else if (m.from == m.to) {
      said += Shown(m.from);
    } else {
      said += Shown(m.from) + " to " + Shown(m.to);
    }
  }
  return said.empty() ? "no character" : said;
}

// Whether ignoring case can matter for the characters from to to: letters of ASCII, or beyond.
bool HasCase(char16_t from, char16_t to) {
  return (from <= u'z' && to >= u'a') || (from <= u'Z' && to >= u'A') || to >= 0xC0;
}

std::string Times(uint32_t n) {
  return Number(n) + (n == 1 ? " time" : " times");
}

}  // namespace

std::string Utf8(std::u16string_view text) {
  return Utf16ToUtf8(text);
}

std::string Shown(char16_t c) {
  switch (c) {
    case u' ':
      return "space";
    case u'\t':
      return "TAB";
    case u'\n':
      return "LF";
    case u'\r':
      return "CR";
    case 0:
      return "NUL (U+0000)";
    default:
      break;
  }
  if (c < 32 || c == 127) return Hex(c);
  if (c < 127) return std::string("'") + static_cast<char>(c) + "'";
  if (c >= 0xD800 && c <= 0xDFFF) return Hex(c) + " (half of a surrogate pair)";
  // Appended piece by piece: GCC 12 at -O3 takes "'" + text for an overlapping copy.
  std::string shown = "'";
  shown += Utf8(std::u16string_view(&c, 1));
  shown += "' (";
  shown += Hex(c);
  shown += ')';
  return shown;
}

std::string DescribeLiteral(char16_t c, const Wording& w) {
  std::string said = "the character " + Shown(c);
  if (!w.ignoreCase || !HasCase(c, c)) return said;
  if (LowerCase(c) != c) return said + ", compared in lower case as " + Shown(LowerCase(c));
  return said + ", compared in lower case";
}

std::string DescribeAtom(const ExplainNode& node, const Wording& w) {
  switch (node.kind) {
    case NodeKind::kLineBreak:
      return "a line break: the two characters CR LF (a lone CR or LF is not one)";
    case NodeKind::kAnyCharacter:
      return w.singleLine ? "any character"
                          : "any character but either of a CR LF pair (a lone CR or LF is taken)";
    case NodeKind::kLineStart:
      return w.multiline ? "the start of the subject, or just after a CR LF"
                         : "the start of the subject";
    case NodeKind::kLineEnd:
      return w.multiline ? "the end of the subject, or just before a CR LF"
                         : "the end of the subject, or just before a CR LF that ends it";
    case NodeKind::kTextStart:
      return "the start of the subject";
    case NodeKind::kTextEnd:
      return "the end of the subject, or just before a CR LF that ends it, whatever the options";
    case NodeKind::kWordBoundary:
      return "a word boundary: a word character (a-z, A-Z, 0-9, _, U+0080, U+00FF) on one side "
             "and none on the other";
    case NodeKind::kNotWordBoundary:
      return "no word boundary: word characters on both sides, or on neither";
    case NodeKind::kBackReference:
      return "the text that group " + Number(node.group) + " captured, again" +
             (w.ignoreCase ? ", compared in lower case" : "") +
             " (fails while the group has not closed; an empty capture matches at once)";
    case NodeKind::kEndOnly:
      return "a backslash that ends the pattern stands for nothing: it matches only at the end "
             "of the subject";
    default:
      return {};
  }
}

std::string DescribeClass(const ExplainNode& node, std::u16string_view written, const Wording& w) {
  std::string said;
  if (written == u"\\w") {
    said = "a word character: a-z, A-Z, 0-9, _, U+0080 or U+00FF (no other letters)";
  } else if (written == u"\\W") {
    said = "any character but a word character (a-z, A-Z, 0-9, _, U+0080, U+00FF)";
  } else if (written == u"\\d") {
    said = "a digit 0 to 9";
  } else if (written == u"\\D") {
    said = "any character but a digit 0 to 9";
  } else if (written == u"\\s") {
    said = "a space, TAB, CR or LF, or the pair CR LF taken as one";
  } else if (written == u"\\S") {
    said = "any character but a space, TAB, CR or LF";
  } else if (node.negated) {
    said = "any character but " + Members(node) + " (at a CR LF it takes the CR alone)";
  } else {
    said = "one of " + Members(node);
  }
  const bool cased = std::any_of(node.members.begin(), node.members.end(),
                                 [](const ClassMember& m) { return HasCase(m.from, m.to); });
  if (w.ignoreCase && cased) said += ", compared in lower case";
  if (node.error) {
    said += "; a character that none of these takes reaches a faulty range, which is an error";
  }
  return said;
}

std::string DescribeMarker(int group, bool bare, const Wording& w) {
  const std::string effect = group <= w.groupCount ? ": it opens or closes that group here"
                                                   : ": there is no such group, so it does nothing";
  if (!bare) {
    return "the marker of group " + Number(group) +
           ", which the quantifier after the group's \"(\" repeats" + effect;
  }
  return Shown(static_cast<char16_t>(group)) + " of a \\s list written bare: the engine takes it " +
         "for the marker of group " + Number(group) + effect;
}

std::string DescribeGroup(const ExplainNode& node) {
  std::string said;
  switch (node.kind) {
    case NodeKind::kGroup:
      said = "capturing group " + Number(node.group);
      break;
    case NodeKind::kPlainGroup:
      said = "a group that captures nothing";
      break;
    case NodeKind::kLookahead:
      return "lookahead: what follows must match this; it takes no characters (captures made "
             "inside stay)";
    case NodeKind::kNegativeLookahead:
      return "negative lookahead: what follows must not match this; it takes no characters";
    default:
      return {};
  }
  if (node.children.size() > 1) {
    said += ": one of " + Number(static_cast<int64_t>(node.children.size())) +
            " alternatives, tried left to right, the first that lets the rest match winning";
  }
  return said;
}

std::string DescribeRepeat(const ExplainNode& node) {
  const std::string how = node.greedy ? ", as many as possible" : ", as few as possible";
  std::string said;
  if (node.max && *node.max == 0) {
    said = "0 times: the atom is skipped and never read";
  } else if (node.min == 0 && node.max == 1u) {
    said = node.greedy ? "optional, taken where it can be" : "optional, left out where it can be";
  } else if (!node.max) {
    said = Number(node.min) + " or more times" + how;
  } else if (node.min == *node.max) {
    said = "exactly " + Times(node.min);
  } else {
    said = Number(node.min) + " to " + Times(*node.max) + how;
  }
  if (!node.rewrite.empty()) said += "; the engine reads it as " + Utf8(node.rewrite);
  return said;
}

std::string DescribeIgnored(std::u16string_view written) {
  if (written.starts_with(u"(?#")) return "a comment, dropped before matching";
  if (written == u"\\Q") return "the start of a quoted stretch: up to \\E each character is itself";
  if (written == u"\\E") return "the end of a quoted stretch";
  return "dropped before matching";
}

std::string LetterEscapeWarning(char16_t letter) {
  const char l = static_cast<char>(letter);
  std::string is = "\\";  // appended piece by piece, as in Shown
  is += l;
  is += " is just the letter ";
  is += l;
  is += " here";
  switch (letter) {
    case u'z':
      return is + "; the end of the subject is \\Z (which also matches before a final CR LF)";
    case u'p':
    case u'P':
      return is + ", not a Unicode property; braces after it are a count";
    case u'G':
      return is + ", not an anchor at the end of the previous match";
    case u'K':
      return is + "; it does not reset the start of the match";
    case u'h':
    case u'H':
      return is + ", not a class of horizontal space; [ \\t] is";
    case u'R':
    case u'v':
    case u'V':
      return is + ", not a class of line breaks; \\n is the line break CR LF";
    case u'k':
    case u'g':
      return is + "; back references are \\1 to \\9 only";
    case u'u':
    case u'U':
    case u'l':
    case u'L':
      return is +
             "; there are no case conversions or \\u code points (\\x and \\0 name characters)";
    case u'E':
      return is + "; it ends a quoted stretch only after \\Q";
    default:
      return is + ", with no meaning of its own";
  }
}

std::string PosixClassWarning(std::u16string_view written) {
  return "no POSIX classes here: " + Utf8(written) +
         " is a list of its characters, and the ']' after it is a character of its own";
}

std::string BraceCountWarning(std::u16string_view braces, bool afterHexEscape) {
  if (afterHexEscape) {
    return "\\x" + Utf8(braces) +
           " is not a code point here: \\x without hexadecimal digits is the letter x, and " +
           Utf8(braces) + " counts its copies";
  }
  return Utf8(braces) +
         " is a count that is not a number; it reads as far as it looks like one "
         "(no number at all is 0: the atom is then skipped)";
}

std::string TrailingBackslashWarning() {
  return "a backslash at the end of the pattern escapes nothing: it matches only at the end of "
         "the subject";
}

std::string StrayMarkerWarning(int group, const Wording& w) {
  return Shown(static_cast<char16_t>(group)) +
         " of a \\s list written bare outside a bracket expression is taken for the marker of "
         "group " +
         Number(group) +
         (group <= w.groupCount ? ", and opens or closes that group" : ", and does nothing");
}

}  // namespace quarn
