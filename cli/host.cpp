// Input lines: {"call":"Quarn","text":S,"pattern":S,"flags":N}, {"call":"QuarnResult","type":N},
// {"call":"QuarnIndex","type":N,"start":N,"length":N}; flags, start and length default to 0.
// Answers: {"result":...,"reports":[...]} or {"start":N,"length":N,"reports":[...]}, and
// {"error":S} for a line that is not one of these calls (the engine is not called then).
#include "host.h"

#include <quarn/quarn.h>
#include <quarn/utf.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <variant>

#include "json_text.h"
#include "reports.h"

namespace quarn::cli {

namespace {

using nlohmann::json;

// A line that cannot be answered by calling the engine.
struct BadCall {
  std::string message;
};

struct QuarnCall {
  std::u16string text;
  std::u16string pattern;
  int32_t flags = 0;
};
struct ResultCall {
  int32_t type = 0;
};
struct IndexCall {
  int32_t type = 0;
  int32_t start = 0;
  int32_t length = 0;
};
using Call = std::variant<QuarnCall, ResultCall, IndexCall>;

const json* Member(const json& object, const char* name) {
  const auto it = object.find(name);
  return it == object.end() ? nullptr : &*it;
}

std::u16string StringMember(const json& object, const char* name) {
  const json* value = Member(object, name);
  if (!value) throw BadCall{std::string("missing member \"") + name + "\""};
  if (!value->is_string()) throw BadCall{std::string("member \"") + name + "\" must be a string"};
  std::u16string text;
  Utf8ToUtf16(value->get_ref<const std::string&>(), text);  // the parser admits only valid UTF-8
  return text;
}

int32_t IntegerMember(const json& object, const char* name, std::optional<int32_t> fallback) {
  const json* value = Member(object, name);
  if (!value) {
    if (fallback) return *fallback;
    throw BadCall{std::string("missing member \"") + name + "\""};
  }
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  if (value->is_number_unsigned() && value->get<uint64_t>() <= static_cast<uint64_t>(kMax)) {
    return static_cast<int32_t>(value->get<uint64_t>());
  }
  if (value->is_number_integer() && !value->is_number_unsigned()) {
    const int64_t n = value->get<int64_t>();
    if (n >= kMin && n <= kMax) return static_cast<int32_t>(n);
  }
  throw BadCall{std::string("member \"") + name + "\" must be a 32-bit integer"};
}

// An unknown member is refused rather than ignored: a misspelt "flags" would otherwise run
// the search with flags 0 and look like an engine fault.
void CheckMembers(const json& object, const std::string& call, std::set<std::string> allowed) {
  allowed.insert("call");
  for (const auto& [key, value] : object.items()) {
    if (!allowed.contains(key)) {
      throw BadCall{"unknown member \"" + key + "\" in a " + call + " call"};
    }
  }
}

Call ParseCall(const std::string& line) {
  json object;
  try {
    object = json::parse(line);
  } catch (const json::parse_error& error) {
    throw BadCall{std::string("invalid JSON: ") + error.what()};
  }
  if (!object.is_object()) throw BadCall{"a call must be a JSON object"};
  const json* name = Member(object, "call");
  if (!name || !name->is_string()) throw BadCall{"missing member \"call\" (a string)"};
  const std::string& call = name->get_ref<const std::string&>();
  if (call == "Quarn") {
    CheckMembers(object, call, {"text", "pattern", "flags"});
    return QuarnCall{StringMember(object, "text"), StringMember(object, "pattern"),
                     IntegerMember(object, "flags", 0)};
  }
  if (call == "QuarnResult") {
    CheckMembers(object, call, {"type"});
    return ResultCall{IntegerMember(object, "type", std::nullopt)};
  }
  if (call == "QuarnIndex") {
    CheckMembers(object, call, {"type", "start", "length"});
    return IndexCall{IntegerMember(object, "type", std::nullopt), IntegerMember(object, "start", 0),
                     IntegerMember(object, "length", 0)};
  }
  throw BadCall{"unknown call \"" + call + "\" (Quarn, QuarnResult or QuarnIndex)"};
}

std::string ReportList(std::vector<Report> reports) {
  std::string list = "[";
  for (size_t i = 0; i < reports.size(); ++i) {
    if (i > 0) list += ',';
    AppendJsonString(list, reports[i].text);
  }
  return list + "]";
}

std::string Answer(const Call& call, ReportCollector& collector) {
  JsonObject answer;
  if (const auto* quarn = std::get_if<QuarnCall>(&call)) {
    answer.Key("result").Bool(Quarn(quarn->text, quarn->pattern, quarn->flags));
  } else if (const auto* result = std::get_if<ResultCall>(&call)) {
    const ResultValue value = QuarnResult(result->type);
    answer.Key("result");
    if (const auto* count = std::get_if<int16_t>(&value)) {
      answer.Number(*count);
    } else if (const auto* text = std::get_if<std::u16string>(&value)) {
      answer.String(*text);
    } else {
      answer.Null();
    }
  } else {
    IndexCall index = std::get<IndexCall>(call);
    QuarnIndex(index.type, index.start, index.length);
    answer.Key("start").Number(index.start).Key("length").Number(index.length);
  }
  return answer.Key("reports").Raw(ReportList(collector.Take())).Finish();
}

bool IsBlank(const std::string& line) {
  return line.find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace

std::string AnswerHostLine(const std::string& line) {
  if (IsBlank(line)) return {};
  Call call;
  try {
    call = ParseCall(line);
  } catch (const BadCall& bad) {
    return JsonObject().Key("error").StringUtf8(bad.message).Finish();
  }
  ReportCollector collector;
  return Answer(call, collector);
}

int RunHost(std::istream& in, std::FILE* out) {
  std::string line;
  while (std::getline(in, line)) {
    std::string answer = AnswerHostLine(line);
    if (answer.empty()) continue;
    answer += '\n';
    if (std::fwrite(answer.data(), 1, answer.size(), out) != answer.size() ||
        std::fflush(out) != 0) {
      return 2;
    }
  }
  return 0;
}

}  // namespace quarn::cli
