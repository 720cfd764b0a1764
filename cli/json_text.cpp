// JSON string literals of 16-bit text: well-formed runs go through the JSON library, and a
// lone surrogate, which UTF-8 cannot carry, survives as a \uXXXX escape.
#include "json_text.h"

#include <nlohmann/json.hpp>

#include <cstdio>

#include "input.h"
#include "quarn/utf.h"

namespace quarn::cli {

namespace {

bool IsHigh(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLow(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// A surrogate that is not half of a pair, which UTF-8 cannot carry.
bool IsLoneSurrogate(std::u16string_view text, size_t i) {
  if (IsHigh(text[i])) return i + 1 == text.size() || !IsLow(text[i + 1]);
  return IsLow(text[i]) && (i == 0 || !IsHigh(text[i - 1]));
}

// The JSON escapes of a well-formed run, without the quotes around it.
void AppendEscapedRun(std::string& out, std::u16string_view run) {
  const std::string literal = nlohmann::json(Utf16ToUtf8(run)).dump();
  out.append(literal, 1, literal.size() - 2);
}

// Well-formed UTF-8 as the inside of a JSON string: only the quote, the backslash and the
// control characters are escaped.
void AppendEscapedUtf8(std::string& out, std::string_view utf8) {
  size_t plain = 0;  // utf8[plain, i) needs no escape
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(utf8, plain, i - plain);
    plain = i + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default: {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
        out += escape;
      }
    }
  }
  out.append(utf8, plain, utf8.size() - plain);
}

void AppendBase64(std::string& out, std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto at = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]));
  };
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t n = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
    for (int shift = 18; shift >= 0; shift -= 6)
      out += kDigits[(n >> shift) & 63];
  }
  if (i < bytes.size()) {
    const bool two = i + 1 < bytes.size();
    const uint32_t n = at(i) << 16 | (two ? at(i + 1) << 8 : 0);
    out += kDigits[n >> 18];
    out += kDigits[(n >> 12) & 63];
    out += two ? kDigits[(n >> 6) & 63] : '=';
    out += '=';
  }
}

}  // namespace

void AppendJsonData(std::string& out, std::string_view first, std::string_view second) {
  // A UTF-8 sequence never spans the two parts: the second is a line terminator.
  if (IsUtf8(first) && IsUtf8(second)) {
    out += R"({"text":")";
    AppendEscapedUtf8(out, first);
    AppendEscapedUtf8(out, second);
    out += "\"}";
    return;
  }
  out += R"({"bytes":")";
  AppendBase64(out, std::string(first).append(second));
  out += "\"}";
}

void AppendJsonString(std::string& out, std::u16string_view text) {
  out += '"';
  size_t runStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsLoneSurrogate(text, i)) continue;
    AppendEscapedRun(out, text.substr(runStart, i - runStart));
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(text[i]));
    out += escape;
    runStart = i + 1;
  }
  AppendEscapedRun(out, text.substr(runStart));
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
