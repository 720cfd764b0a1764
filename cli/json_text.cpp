// JSON string literals of 16-bit text: well-formed runs go through the JSON library, and a
// lone surrogate, which UTF-8 cannot carry, survives as a \uXXXX escape.
#include "json_text.h"

#include <nlohmann/json.hpp>

#include <cstdio>

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

}  // namespace

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
