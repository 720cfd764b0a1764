// Writing JSON text by hand for the answers whose strings are the engine's UTF-16 texts.
//
// A match may split a surrogate pair, so a text can hold a lone surrogate. nlohmann/json
// keeps strings as UTF-8 and cannot carry one, so these helpers write the string literal
// themselves: a surrogate pair becomes its UTF-8 character, a lone surrogate the escape
// \uXXXX, and nothing is ever replaced.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quarn::cli {

// Appends text as a JSON string literal, quotes included.
void AppendJsonString(std::string& out, std::u16string_view text);

// Appends UTF-8 bytes as a JSON string literal; an ill-formed byte becomes U+FFFD (for texts
// that are not the engine's, such as file names and parser messages).
void AppendJsonStringUtf8(std::string& out, std::string_view utf8);

// Appends the bytes first + second as ripgrep writes arbitrary data: {"text":S} when they are
// UTF-8, {"bytes":S} with their base64 otherwise, so that nothing is replaced. Linear in the
// bytes, for lines of any length.
void AppendJsonData(std::string& out, std::string_view first, std::string_view second = {});

// Builds one JSON object, member by member, in the order the members are added.
class JsonObject {
 public:
  JsonObject& Key(std::string_view key);  // the key must be plain ASCII
  JsonObject& String(std::u16string_view text);
  JsonObject& StringUtf8(std::string_view utf8);
  JsonObject& Number(int64_t n);
  JsonObject& Bool(bool b);
  JsonObject& Null();
  JsonObject& Raw(std::string_view json);  // an already written JSON value
  // Closes the object and returns its text; the builder is left empty.
  std::string Finish();

 private:
  std::string text_ = "{";
  bool first_ = true;
};

}  // namespace quarn::cli
