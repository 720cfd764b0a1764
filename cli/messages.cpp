// Messages on standard error, and the words for the engine's limits.
#include "messages.h"

#include <quarn/utf.h>

#include <utility>

namespace quarn::cli {

namespace {

// 1234567 as "1,234,567".
std::string Grouped(uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

// The limit's name, what it means for subjects that are lines or whole files, and the option
// that raises it (empty when it cannot be raised).
struct LimitWords {
  std::string name;
  std::string meaning;
  std::string wholeMeaning;
  std::string option;
};

LimitWords WordsFor(Limit limit, const SearchLimits& limits) {
  switch (limit) {
    case Limit::Depth: {
      // Each character a repeated atom takes is two levels: the repetition and the atom.
      const uint32_t depth = limits.engine.depth;
      const std::string atom = "a repeated atom can take about " +
                               Grouped(depth / 2 > 0 ? depth / 2 - 1 : 0) + " characters";
      return {"the depth limit", atom, atom, depth < UINT32_MAX ? "--depth" : ""};
    }
    case Limit::Length: {
      const std::string longer =
          " longer than " + Grouped(LongestSubject(limits.engine)) + " characters";
      return {"the length limit", "lines" + longer + " cannot be searched to their end",
              "files" + longer + " cannot be searched to their end with --whole",
              limits.engine.subjectLength < UINT32_MAX ? "--long-lines" : ""};
    }
    case Limit::Steps: {
      const std::string budget = "a search may take " + Grouped(limits.maxSteps) +
                                 " steps, or as many for each " + Grouped(kStepBlock) +
                                 " characters of a longer ";
      return {"the step budget", budget + "line", budget + "file", "--max-steps"};
    }
    case Limit::Size: {
      const std::string held =
          " of more than " + Grouped(limits.longestHeld) + " bytes are not read into memory";
      return {"the size limit", "lines" + held, "files" + held, ""};
    }
    case Limit::Memory:
      break;
  }
  return {"the memory available", "the search ran out of memory", "the search ran out of memory",
          ""};
}

// The code point at utf8[at] and its length in bytes; an ill-formed byte stands for itself.
std::pair<char32_t, size_t> Decode(std::string_view utf8, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(utf8[i]); };
  const unsigned char lead = byte(at);
  const size_t length = lead < 0x80    ? 1
                        : lead >= 0xF0 ? 4
                        : lead >= 0xE0 ? 3
                        : lead >= 0xC0 ? 2
                                       : 0;
  if (length <= 1 || at + length > utf8.size()) return {lead, 1};
  char32_t c = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return {lead, 1};
    c = (c << 6) | (byte(at + i) & 0x3F);
  }
  return {c, length};
}

// Terminal columns of a character: the wide East Asian blocks and the emoji take two,
// combining marks and zero-width characters none.
int Width(char32_t c) {
  struct Range {
    char32_t from, to;
  };
  static constexpr Range kZero[] = {
      {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},   {0x064B, 0x065F},
      {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},   {0x200B, 0x200F},
      {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xE0100, 0xE01EF},
  };
  static constexpr Range kWide[] = {
      {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
      {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x26AA, 0x26AB},
      {0x26BD, 0x26BE},   {0x26F5, 0x26F5},   {0x2705, 0x2705},   {0x270A, 0x270B},
      {0x2728, 0x2728},   {0x274C, 0x274C},   {0x2753, 0x2755},   {0x2795, 0x2797},
      {0x2B1B, 0x2B1C},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
      {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},
      {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},
      {0xFFE0, 0xFFE6},   {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E},
      {0x1F191, 0x1F19A}, {0x1F200, 0x1F251}, {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF},
      {0x1F7E0, 0x1F7EB}, {0x1F90C, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x3FFFD},
  };
  const auto in = [c](const auto& ranges) {
    for (const Range& range : ranges) {
      if (c >= range.from && c <= range.to) return true;
    }
    return false;
  };
  if (c < 0x300) return 1;
  if (in(kZero)) return 0;
  return in(kWide) ? 2 : 1;
}

// The columns a terminal gives to the UTF-8 text (a byte that is not UTF-8: one).
size_t Columns(std::string_view utf8) {
  size_t columns = 0;
  for (size_t at = 0; at < utf8.size();) {
    const auto [c, length] = Decode(utf8, at);
    columns += static_cast<size_t>(Width(c));
    at += length;
  }
  return columns;
}

}  // namespace

void Messages::Say(std::string_view message) {
  std::string line = "quarn: ";
  line.append(message);
  line += '\n';
  sink_.Err(line);
}

void Messages::ShowPatternPosition(std::string_view pattern, std::optional<size_t> position) {
  if (!position) return;
  std::u16string units;
  Utf8ToUtf16(pattern, units);
  const std::string before = Utf16ToUtf8(units.substr(0, *position));
  // A tab reaches the same stop in both lines; everything between tabs is counted.
  std::string indent = "  ";
  size_t start = 0;
  for (size_t tab = before.find('\t'); tab != std::string::npos; tab = before.find('\t', start)) {
    indent.append(Columns(std::string_view(before).substr(start, tab - start)), ' ');
    indent += '\t';
    start = tab + 1;
  }
  indent.append(Columns(std::string_view(before).substr(start)), ' ');
  Say(std::string("  ") + std::string(pattern));
  Say(indent + "^");
}

std::string LimitNotice(const std::string& file, Limit limit, int64_t lines, int64_t firstLine,
                        bool wholeFiles, const SearchLimits& limits) {
  const LimitWords words = WordsFor(limit, limits);
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
  if (!words.option.empty()) notice += "; " + words.option + " raises it";
  return notice;
}

}  // namespace quarn::cli
