// Messages on standard error, and the words for the engine's limits.
#include "messages.h"

#include <quarn/utf.h>

namespace quarn::cli {

namespace {

struct LimitWords {
  const char* name;
  const char* meaning;       // for subjects that are lines
  const char* wholeMeaning;  // for subjects that are whole files (--whole)
  bool raisable;             // an option of the tool will raise it
  const char* option;        // that option, once it exists
};

// Indexed by Limit.
constexpr LimitWords kLimits[] = {
    {"the depth limit", "a repeated atom can take about 499 characters",
     "a repeated atom can take about 499 characters", true, nullptr},
    {"the length limit", "lines longer than 32,765 characters cannot be searched to their end",
     "files longer than 32,765 characters cannot be searched to their end with --whole", true,
     nullptr},
    {"the memory available", "the search ran out of memory", "the search ran out of memory", false,
     nullptr},
};

// The width of a UTF-8 text in characters (a continuation byte adds none).
size_t Characters(std::string_view utf8) {
  size_t count = 0;
  for (const char c : utf8)
    count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

}  // namespace

void Messages::Say(std::string_view message) {
  std::fflush(out_);
  std::fprintf(err_, "quarn: %.*s\n", static_cast<int>(message.size()), message.data());
}

void Messages::ShowPatternPosition(std::string_view pattern, std::optional<size_t> position) {
  if (!position) return;
  std::u16string units;
  Utf8ToUtf16(pattern, units);
  const size_t column = Characters(Utf16ToUtf8(units.substr(0, *position)));
  Say(std::string("  ") + std::string(pattern));
  Say(std::string(2 + column, ' ') + "^");
}

std::string LimitNotice(const std::string& file, Limit limit, int64_t lines, int64_t firstLine,
                        bool wholeFiles) {
  const LimitWords& words = kLimits[static_cast<int>(limit)];
  std::string notice = file + ": " + words.name + " ended the search of ";
  if (wholeFiles) {
    notice += "the file";
  } else if (lines == 1) {
    notice += "line " + std::to_string(firstLine);
  } else {
    notice += std::to_string(lines) + " lines (the first: line " + std::to_string(firstLine) + ")";
  }
  notice += ": ";
  notice += wholeFiles ? words.wholeMeaning : words.meaning;
  if (words.option) {
    notice += std::string("; ") + words.option + " raises it";
  } else if (words.raisable) {
    notice += "; a future option will raise it";
  }
  return notice;
}

}  // namespace quarn::cli
