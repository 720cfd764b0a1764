// JSON string literals written unit by unit, so that a lone surrogate survives as \uXXXX.
#include "json_text.h"

#include <nlohmann/json.hpp>

namespace quarn::cli {

namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendEscape(std::string& out, char16_t unit) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4)
    out += kHex[(unit >> shift) & 0xF];
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsHigh(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLow(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

void AppendJsonString(std::string& out, std::u16string_view text) {
  out += '"';
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    switch (unit) {
      case u'"':
        out += "\\\"";
        continue;
      case u'\\':
        out += "\\\\";
        continue;
      case u'\b':
        out += "\\b";
        continue;
      case u'\f':
        out += "\\f";
        continue;
      case u'\n':
        out += "\\n";
        continue;
      case u'\r':
        out += "\\r";
        continue;
      case u'\t':
        out += "\\t";
        continue;
      default:
        break;
    }
    if (unit < 0x20) {
      AppendEscape(out, unit);
    } else if (IsHigh(unit) && i + 1 < text.size() && IsLow(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (IsHigh(unit) || IsLow(unit)) {
      AppendEscape(out, unit);
    } else {
      AppendUtf8(out, unit);
    }
  }
  out += '"';
}

void AppendJsonStringUtf8(std::string& out, std::string_view utf8) {
  out += nlohmann::json(std::string(utf8))
             .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

JsonObject& JsonObject::Key(std::string_view key) {
  if (!first_) text_ += ',';
  first_ = false;
  text_ += '"';
  text_ += key;
  text_ += "\":";
  return *this;
}

JsonObject& JsonObject::String(std::u16string_view text) {
  AppendJsonString(text_, text);
  return *this;
}

JsonObject& JsonObject::StringUtf8(std::string_view utf8) {
  AppendJsonStringUtf8(text_, utf8);
  return *this;
}

JsonObject& JsonObject::Number(int64_t n) {
  text_ += std::to_string(n);
  return *this;
}

JsonObject& JsonObject::Bool(bool b) {
  text_ += b ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::Null() {
  text_ += "null";
  return *this;
}

JsonObject& JsonObject::Raw(std::string_view json) {
  text_ += json;
  return *this;
}

std::string JsonObject::Finish() {
  std::string finished = std::move(text_);
  finished += '}';
  text_.assign(1, '{');
  first_ = true;
  return finished;
}

}  // namespace quarn::cli
