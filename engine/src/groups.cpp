// Group preprocessing, the second rewriting of a pattern: checks that every group and
// bracket expression is closed, drops comments, and writes the internal form that the
// matcher reads. A capturing group n becomes "(" + M + inside + M + ")" where M is the
// character of code n; "(?:...)" becomes a plain "(...)"; lookaheads keep their prefix.
//
// Groups are numbered in the order of their opening parentheses, so a group gets its number
// before the groups nested inside it. Checks run in the order of the text: a group's inside
// is rewritten, and checked, before what follows it. Each error says where in the pattern
// it arose, and each character written says where it came from.
#include <cstdint>
#include <vector>

#include "rewrite.h"
#include "scanner.h"
#include "text.h"

namespace quarn {

namespace {

// One level of nesting being rewritten: the group's inside that is left to read, where its
// result begins in the output, and what closes the group once it is done. The levels live
// on the heap, so that however deeply a pattern nests its groups the stack does not grow.
struct Level {
  std::u16string_view pattern;
  size_t result = 0;      // where the level's own result begins in the output
  std::u16string marker;  // the group number's character for a capturing group
  uint32_t close = 0;     // where the group's ")" stands
};

// The output is written in the order of the text: a group's "(", prefix and marker when it
// is opened, its inside as it is read, its marker and ")" when it is closed.
class Rewriter {
 public:
  explicit Rewriter(std::u16string_view pattern) : base_(pattern), ends_(pattern) {
    levels_.emplace_back().pattern = pattern;
  }

  std::u16string Run(int16_t& count, std::vector<uint32_t>* origin) {
    while (levels_.size() > 1 || !levels_[0].pattern.empty()) {
      Level& level = levels_.back();
      if (level.pattern.empty()) {
        CloseGroup();
      } else if (level.pattern[0] == u'(') {
        OpenGroup(count);
      } else {
        CopyPlain(level);
      }
    }
    if (origin != nullptr) *origin = std::move(origin_);
    return std::move(result_);
  }

 private:
  uint32_t At(std::u16string_view piece) const {
    return static_cast<uint32_t>(piece.data() - base_.data());
  }

  void Append(std::u16string_view piece, uint32_t from) {
    result_ += piece;
    for (size_t k = 0; k < piece.size(); ++k)
      origin_.push_back(from + static_cast<uint32_t>(k));
  }

  // Reads the group at the front of the level's pattern: a comment is dropped, every other
  // group opens a new level for its inside.
  void OpenGroup(int16_t& count) {
    Level& level = levels_.back();
    const std::u16string_view unclosed = level.pattern;
    const std::u16string_view group =
        ends_.Find(At(level.pattern), At(level.pattern) + level.pattern.size());
    if (group.empty()) {
      RaiseAt(u"Invalid regular expression: A closing ) expected: " +
                  StripGroupMarkers(result_.substr(level.result) + std::u16string(unclosed)),
              errSyntax, u"ProcessParentheses", At(unclosed));
    }
    level.pattern.remove_prefix(group.size());
    if (group.starts_with(u"(?#")) return;

    Level inner;
    const uint32_t open = At(group);
    inner.close = open + static_cast<uint32_t>(group.size()) - 1;
    std::u16string_view prefix;
    if (group.starts_with(u"(?:")) {
      inner.pattern = group.substr(3, group.size() - 4);
    } else if (group.starts_with(u"(?=") || group.starts_with(u"(?!")) {
      prefix = group.substr(1, 2);
      inner.pattern = group.substr(3, group.size() - 4);
    } else if (group[1] != u'?') {
      // The number is taken before the inside is read, so nested groups come after.
      if (++count > kMaxSubexpressions) {
        RaiseAt(u"Too many subexpressions in regular expression (max 31).", errSyntax,
                u"CreateMatch", open);
      }
      inner.marker = MakeGroupMarker(count);
      inner.pattern = group.substr(1, group.size() - 2);
    } else {
      RaiseAt(u"Invalid extended regular expression syntax: " + std::u16string(group), errSyntax,
              u"ProcessParentheses", open);
    }
    Append(u"(", open);
    Append(prefix, open + 1);
    Append(inner.marker, open);
    inner.result = result_.size();
    levels_.push_back(std::move(inner));
  }

  // Closes the group of the finished level with its marker and ")".
  void CloseGroup() {
    Append(levels_.back().marker, levels_.back().close);
    Append(u")", levels_.back().close);
    levels_.pop_back();
  }

  // Copies what is not a group: an escaped pair, a whole bracket expression, one character.
  void CopyPlain(Level& level) {
    std::u16string_view& pattern = level.pattern;
    if (pattern[0] == u'[') {
      const uint32_t at = At(pattern);
      const std::u16string_view brackets = GetSquareBrackets(pattern);
      if (brackets.empty()) {
        RaiseAt(u"Invalid regular expression: A closing ] expected.", errSyntax,
                u"ProcessParentheses", at);
      }
      return Append(brackets, at);
    }
    const std::u16string_view piece = pattern.substr(0, pattern[0] == u'\\' ? 2 : 1);
    Append(piece, At(piece));
    pattern.remove_prefix(piece.size());
  }

  std::u16string_view base_;
  GroupEnds ends_;
  std::vector<Level> levels_;
  std::u16string result_;
  std::vector<uint32_t> origin_;
};

}  // namespace

std::u16string ProcessParentheses(std::u16string_view pattern, int16_t& count,
                                  std::vector<uint32_t>* origin) {
  return Rewriter(pattern).Run(count, origin);
}

std::u16string MakeGroupMarker(int16_t n) {
  return std::u16string(1, static_cast<char16_t>(n));
}

}  // namespace quarn
