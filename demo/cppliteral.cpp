#include "cppliteral.h"

#include <array>
#include <cstdio>
#include <utility>

#include "quarn/quarn.h"

namespace quarn::demo {

namespace {

bool IsHigh(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLow(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

bool IsHexDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

std::string Hex(const char* format, unsigned value) {
  std::array<char, 16> buffer{};
  std::snprintf(buffer.data(), buffer.size(), format, value);
  return buffer.data();
}

}  // namespace

std::string CppLiteral(std::u16string_view text) {
  std::string out = "u\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    switch (c) {
      case u'\\':
        out += "\\\\";
        continue;
      case u'"':
        out += "\\\"";
        continue;
      case u'\t':
        out += "\\t";
        continue;
      case u'\n':
        out += "\\n";
        continue;
      case u'\r':
        out += "\\r";
        continue;
      case u'?':
        // "??" starts a trigraph for compilers before C++17.
        out += i > 0 && text[i - 1] == u'?' ? "\\?" : "?";
        continue;
      default:
        break;
    }
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) {
      const unsigned code = 0x10000 + ((c - 0xD800u) << 10) + (text[i + 1] - 0xDC00u);
      out += Hex("\\U%08X", code);
      ++i;
    } else if (IsHigh(c) || IsLow(c)) {
      out += Hex("\\x%04X", c);
      // A hexadecimal escape takes every hex digit that follows, so the literal ends here.
      if (i + 1 < text.size() && IsHexDigit(text[i + 1])) out += "\" u\"";
    } else {
      out += Hex("\\u%04X", c);
    }
  }
  return out + '"';
}

namespace {

std::string FlagNames(int32_t flags) {
  std::string names;
  for (const auto& [flag, name] : {std::pair{reIgnoreCase, "quarn::reIgnoreCase"},
                                   std::pair{reSingleLine, "quarn::reSingleLine"},
                                   std::pair{reMultiline, "quarn::reMultiline"}}) {
    if ((flags & flag) == 0) continue;
    if (!names.empty()) names += " | ";
    names += name;
    flags &= ~flag;
  }
  if (flags != 0 || names.empty()) {
    if (!names.empty()) names += " | ";
    names += std::to_string(flags);
  }
  return names;
}

// text as a literal, cut short after keep code units.
std::string AbridgedLiteral(std::u16string_view text, size_t keep) {
  if (text.size() <= keep) return CppLiteral(text);
  if (keep > 0 && IsHigh(text[keep - 1]) && IsLow(text[keep])) --keep;
  return CppLiteral(text.substr(0, keep)) + " /* ... " + std::to_string(text.size() - keep) +
         " more characters */";
}

}  // namespace

std::string CppQuarnCall(std::u16string_view text, std::u16string_view pattern, int32_t flags) {
  return "quarn::Quarn(" + CppLiteral(text) + ", " + CppLiteral(pattern) + ", " + FlagNames(flags) +
         ")";
}

std::string CppQuarnCallAbridged(std::u16string_view text, std::u16string_view pattern,
                                 int32_t flags, size_t keep) {
  return "quarn::Quarn(" + AbridgedLiteral(text, keep) + ", " + AbridgedLiteral(pattern, keep) +
         ", " + FlagNames(flags) + ")";
}

}  // namespace quarn::demo
