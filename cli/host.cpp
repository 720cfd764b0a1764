// Input lines: {"call":"Quarn","text":S,"pattern":S,"flags":N}, {"call":"QuarnResult","type":N},
// {"call":"QuarnIndex","type":N,"start":N,"length":N}; flags, start and length default to 0.
// Answers: {"result":...,"reports":[...]} or {"start":N,"length":N,"reports":[...]}, and
// {"error":S} for a line that is not one of these calls (the engine is not called then).
//
// A line is read with the JSON library's event parser rather than into a document: a call is
// one flat object, so any nesting is refused at once (a line of a million "[" costs nothing),
// and no number, however large, can make the library throw.
#include "host.h"

#include <quarn/quarn.h>
#include <quarn/utf.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>
#include <map>
#include <new>
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

// A member's value as the line gives it: a string, a number that fits the engine's 32-bit
// arguments, or anything else (another number, true, false, null).
using Value = std::variant<std::string, int32_t, std::monostate>;

bool IsStringMember(const std::string& name) {
  return name == "call" || name == "text" || name == "pattern";
}

std::string MustBeString(const std::string& name) {
  return "member \"" + name + "\" must be a string";
}

std::string MustBeInteger(const std::string& name) {
  return "member \"" + name + "\" must be an integer from -2147483648 to 2147483647";
}

bool IsIntegerMember(const std::string& name) {
  return name == "flags" || name == "type" || name == "start" || name == "length";
}

std::string WrongType(const std::string& name) {
  if (IsStringMember(name)) return MustBeString(name);
  if (IsIntegerMember(name)) return MustBeInteger(name);
  return "unknown member \"" + name + "\"";
}

// Receives the parser's events for one line and keeps the members of its top-level object.
// Any event that cannot belong to a call stops the parser with a message of our own.
class CallReader {
 public:
  std::map<std::string, Value>& members() { return members_; }
  const std::optional<std::string>& error() const { return error_; }

  bool null() { return Scalar(std::monostate()); }
  bool boolean(bool) { return Scalar(std::monostate()); }
  bool number_integer(json::number_integer_t n) { return Integer(n >= kMin && n <= kMax, n); }
  bool number_unsigned(json::number_unsigned_t n) {
    return Integer(n <= static_cast<uint64_t>(kMax), static_cast<int64_t>(n));
  }
  bool number_float(json::number_float_t, const json::string_t&) {
    return Scalar(std::monostate());
  }
  bool string(json::string_t& text) { return Scalar(std::move(text)); }
  bool binary(json::binary_t&) { return Fail("a call must be a JSON object"); }
  bool start_object(std::size_t) {
    if (inObject_) return Fail(WrongType(key_));
    inObject_ = true;
    return true;
  }
  bool key(json::string_t& name) {
    if (members_.contains(name)) return Fail("member \"" + name + "\" is given twice");
    key_ = std::move(name);
    return true;
  }
  bool end_object() { return true; }
  bool start_array(std::size_t) {
    return Fail(inObject_ ? WrongType(key_) : "a call must be a JSON object");
  }
  bool end_array() { return true; }
  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::detail::exception& error) {
    // Valid JSON too, but a number beyond what a double can hold.
    constexpr int kNumberOverflow = 406;
    if (error.id == kNumberOverflow) {
      return Fail(inObject_ ? WrongType(key_) : "a call must be a JSON object");
    }
    return Fail("not valid JSON (at byte " + std::to_string(position) + ")");
  }

 private:
  static constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  static constexpr int64_t kMax = std::numeric_limits<int32_t>::max();

  std::map<std::string, Value> members_;
  std::string key_;
  bool inObject_ = false;
  std::optional<std::string> error_;

  bool Fail(std::string message) {
    if (!error_) error_ = std::move(message);
    return false;
  }
  bool Scalar(Value value) {
    if (!inObject_) return Fail("a call must be a JSON object");
    members_[key_] = std::move(value);
    return true;
  }
  bool Integer(bool fits, int64_t n) {
    return fits ? Scalar(static_cast<int32_t>(n)) : Scalar(std::monostate());
  }
};

const Value* Member(const std::map<std::string, Value>& members, const char* name) {
  const auto it = members.find(name);
  return it == members.end() ? nullptr : &it->second;
}

std::u16string StringMember(const std::map<std::string, Value>& members, const char* name) {
  const Value* value = Member(members, name);
  if (!value) throw BadCall{std::string("missing member \"") + name + "\""};
  const auto* utf8 = std::get_if<std::string>(value);
  if (!utf8) throw BadCall{MustBeString(name)};
  std::u16string text;
  Utf8ToUtf16(*utf8, text);  // the parser admits only valid UTF-8
  return text;
}

int32_t IntegerMember(const std::map<std::string, Value>& members, const char* name,
                      std::optional<int32_t> fallback) {
  const Value* value = Member(members, name);
  if (!value) {
    if (fallback) return *fallback;
    throw BadCall{std::string("missing member \"") + name + "\""};
  }
  const auto* n = std::get_if<int32_t>(value);
  if (!n) throw BadCall{MustBeInteger(name)};
  return *n;
}

// An unknown member is refused rather than ignored: a misspelt "flags" would otherwise run
// the search with flags 0 and look like an engine fault.
void CheckMembers(const std::map<std::string, Value>& members, const std::string& call,
                  std::set<std::string> allowed) {
  allowed.insert("call");
  for (const auto& [key, value] : members) {
    if (!allowed.contains(key)) {
      throw BadCall{"unknown member \"" + key + "\" in a " + call + " call"};
    }
  }
}

Call ParseCall(const std::string& line) {
  CallReader reader;
  if (!json::sax_parse(line, &reader) || reader.error()) {
    throw BadCall{reader.error().value_or("not valid JSON")};
  }
  const std::map<std::string, Value>& members = reader.members();
  const Value* name = Member(members, "call");
  const auto* call = name ? std::get_if<std::string>(name) : nullptr;
  if (!call) throw BadCall{"missing member \"call\" (a string)"};
  if (*call == "Quarn") {
    CheckMembers(members, *call, {"text", "pattern", "flags"});
    return QuarnCall{StringMember(members, "text"), StringMember(members, "pattern"),
                     IntegerMember(members, "flags", 0)};
  }
  if (*call == "QuarnResult") {
    CheckMembers(members, *call, {"type"});
    return ResultCall{IntegerMember(members, "type", std::nullopt)};
  }
  if (*call == "QuarnIndex") {
    CheckMembers(members, *call, {"type", "start", "length"});
    return IndexCall{IntegerMember(members, "type", std::nullopt),
                     IntegerMember(members, "start", 0), IntegerMember(members, "length", 0)};
  }
  throw BadCall{"unknown call \"" + *call + "\" (Quarn, QuarnResult or QuarnIndex)"};
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
  } catch (const std::bad_alloc&) {
    return JsonObject().Key("error").StringUtf8("the line is too large to read").Finish();
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
