#include "helptext.h"

#include <span>
#include <vector>

#include "escapes.h"
#include "quarn/utf.h"

namespace quarn::demo {

namespace {

std::u16string Html(std::u16string_view text) {
  std::u16string out;
  for (const char16_t c : text) {
    switch (c) {
      case u'<':
        out += u"&lt;";
        break;
      case u'>':
        out += u"&gt;";
        break;
      case u'&':
        out += u"&amp;";
        break;
      case u'"':
        out += u"&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::u16string Decimal(unsigned value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// The usual name of a character that does not show, or the character itself; empty for the
// rest.
std::u16string Name(char16_t c) {
  switch (c) {
    case 0:
      return u"NUL";
    case 7:
      return u"BEL";
    case 8:
      return u"BS";
    case 9:
      return u"TAB";
    case 10:
      return u"LF";
    case 12:
      return u"FF";
    case 13:
      return u"CR";
    case 27:
      return u"ESC";
    case 32:
      return u"space";
    default:
      break;
  }
  if (c > 32 && c < 127) return Html(std::u16string(1, c));
  return {};
}

// A character in a list of members: by its name, else by its Unicode number.
std::u16string Member(char16_t c) {
  const std::u16string name = Name(c);
  if (!name.empty()) return name;
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string code = u"U+";
  for (int shift = 12; shift >= 0; shift -= 4)
    code += kHex[(c >> shift) & 0xF];
  return code;
}

// "a, b, c or d"
std::u16string Join(const std::vector<std::u16string>& parts, std::u16string_view last) {
  std::u16string joined;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) joined += i + 1 == parts.size() ? u" " + std::u16string(last) + u" " : u", ";
    joined += parts[i];
  }
  return joined;
}

// What the escape matches, in the help's words.
std::u16string Describe(const Escape& escape) {
  const std::u16string_view ranges = escape.ranges;
  if (ranges.size() == 2 && ranges[0] == ranges[1] && escape.text.empty() && !escape.complement) {
    const std::u16string code = u"code " + Decimal(ranges[0]);
    const std::u16string name = Name(ranges[0]);
    return name.empty() ? code : code + u" (" + name + u")";
  }
  std::vector<std::u16string> parts;
  for (size_t i = 0; i + 1 < ranges.size(); i += 2) {
    parts.push_back(ranges[i] == ranges[i + 1]
                        ? Member(ranges[i])
                        : Member(ranges[i]) + u" to " + Member(ranges[i + 1]));
  }
  if (escape.text == kLineBreak) {
    parts.push_back(u"the pair CR LF");
  } else if (!escape.text.empty()) {
    parts.push_back(u"the text \"" + Html(escape.text) + u"\"");
  }
  if (escape.complement) return u"any character but " + Join(parts, u"and");
  return Join(parts, u"or");
}

std::u16string Code(std::u16string_view written) {
  return u"<code>" + Html(written) + u"</code>";
}

std::u16string TableRows(std::span<const EscapeRow> rows) {
  std::u16string html;
  for (const EscapeRow& row : rows) {
    std::u16string form;
    std::u16string meaning(row.meaning);
    if (row.form.empty()) {
      const Escape& escape = row.shown.front();
      form = Code(escape.written);
      if (!meaning.empty()) meaning += u": ";
      meaning += Describe(escape);
    } else {
      form = row.form;
      std::u16string examples;
      for (const Escape& escape : row.shown) {
        if (escape.written.empty()) continue;
        if (!examples.empty()) examples += u", ";
        examples += Code(escape.written) + u" matches " + Describe(escape);
      }
      meaning += u": " + examples;
    }
    html += u"<tr><td>" + form + u"</td><td>" + meaning + u"</td></tr>\n";
  }
  return html;
}

void ReplaceAll(std::string& text, std::string_view from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

}  // namespace

std::string HelpWithEscapes(std::string_view helpHtml) {
  std::string html(helpHtml);
  ReplaceAll(html, "<!-- escapes: characters -->", Utf16ToUtf8(TableRows(kCharacterEscapes)));
  ReplaceAll(html, "<!-- escapes: classes -->", Utf16ToUtf8(TableRows(kClassEscapes)));
  ReplaceAll(html, "<!-- escapes: brackets -->", Utf16ToUtf8(TableRows(kBracketEscapes)));
  return html;
}

}  // namespace quarn::demo
