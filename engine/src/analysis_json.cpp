// The analysis as one JSON document, the form in which the command-line tool, the C interface,
// Python and JavaScript all take it. docs/pattern-analysis.md describes every field.
//
// A small writer of our own keeps the engine free of dependencies: objects are written field
// by field, strings as UTF-8 with the escapes JSON requires.
#include <cstdio>
#include <string>
#include <vector>

#include "analysis.h"
#include "quarn/utf.h"

namespace quarn {

namespace {

std::string_view KindName(NodeKind kind) {
  switch (kind) {
    case NodeKind::kAlternation:
      return "alternation";
    case NodeKind::kSequence:
      return "sequence";
    case NodeKind::kLiteral:
      return "literal";
    case NodeKind::kLineBreak:
      return "line-break";
    case NodeKind::kAnyCharacter:
      return "any-character";
    case NodeKind::kClass:
      return "class";
    case NodeKind::kLineStart:
      return "line-start";
    case NodeKind::kLineEnd:
      return "line-end";
    case NodeKind::kTextStart:
      return "text-start";
    case NodeKind::kTextEnd:
      return "text-end";
    case NodeKind::kWordBoundary:
      return "word-boundary";
    case NodeKind::kNotWordBoundary:
      return "not-word-boundary";
    case NodeKind::kBackReference:
      return "back-reference";
    case NodeKind::kEndOnly:
      return "end-only";
    case NodeKind::kGroup:
      return "group";
    case NodeKind::kPlainGroup:
      return "plain-group";
    case NodeKind::kLookahead:
      return "lookahead";
    case NodeKind::kNegativeLookahead:
      return "negative-lookahead";
    case NodeKind::kMarker:
      return "marker";
    case NodeKind::kRepeat:
      return "repeat";
    case NodeKind::kIgnored:
      return "ignored";
    case NodeKind::kError:
      break;
  }
  return "error";
}

class Writer {
 public:
  explicit Writer(std::u16string_view pattern) : pattern_(pattern) {
    bytes_.reserve(pattern.size() + 1);
    size_t byte = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
      const char16_t c = pattern[i];
      const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < pattern.size() &&
                        pattern[i + 1] >= 0xDC00 && pattern[i + 1] <= 0xDFFF;
      bytes_.push_back(byte);
      if (pair) {
        byte += 4;
        bytes_.push_back(byte);  // between the halves: the end of the character
        ++i;
      } else {
        byte += c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
      }
    }
    bytes_.push_back(byte);
  }

  std::string& out() { return out_; }

  void Key(std::string_view key) {
    Separate();
    Quoted(key);
    out_ += ':';
    fresh_ = true;
  }
  void Open(char bracket) {
    Separate();
    out_ += bracket;
    fresh_ = true;
  }
  void Close(char bracket) {
    out_ += bracket;
    fresh_ = false;
  }
  void Raw(std::string_view text) {
    Separate();
    out_ += text;
  }
  void Number(uint64_t n) { Raw(std::to_string(n)); }
  void Signed(int64_t n) { Raw(std::to_string(n)); }
  void Bool(bool b) { Raw(b ? "true" : "false"); }
  void Null() { Raw("null"); }
  void Text(std::string_view utf8) {
    Separate();
    Quoted(utf8);
  }
  void Text(std::u16string_view text) { Text(Utf16ToUtf8(text)); }

  // A stretch of the pattern: units and bytes.
  void Place(size_t start, size_t end) {
    Key("start");
    Number(start);
    Key("end");
    Number(end);
    Key("byteStart");
    Number(bytes_[std::min(start, pattern_.size())]);
    Key("byteEnd");
    Number(bytes_[std::min(end, pattern_.size())]);
  }

  void Error(const quarn::Error& error) {
    Open('{');
    Key("number");
    Signed(error.number);
    Key("kind");
    Text(ErrorKindName(error.kind));
    Key("description");
    Text(error.description);
    Key("report");
    Text(error.report());
    Key("position");
    if (error.position) {
      Number(*error.position);
    } else {
      Null();
    }
    Key("bytePosition");
    if (error.position) {
      Number(bytes_[std::min(*error.position, pattern_.size())]);
    } else {
      Null();
    }
    Close('}');
  }

 private:
  void Separate() {
    if (!fresh_) out_ += ',';
    fresh_ = false;
  }
  void Quoted(std::string_view utf8) {
    out_ += '"';
    for (const char ch : utf8) {
      const unsigned char c = static_cast<unsigned char>(ch);
      if (c == '"' || c == '\\') {
        (out_ += '\\') += ch;
      } else if (c < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
        out_ += escaped;
      } else {
        out_ += ch;
      }
    }
    out_ += '"';
  }

  std::u16string_view pattern_;
  std::vector<size_t> bytes_;
  std::string out_;
  bool fresh_ = true;
};

void WriteCharacter(Writer& w, std::string_view key, char16_t c) {
  w.Key(key);
  w.Text(std::u16string_view(&c, 1));
  w.Key(std::string(key) + "Code");
  w.Number(c);
}

void WriteNode(Writer& w, const Explanation& tree, uint32_t index, std::u16string_view pattern) {
  const ExplainNode& node = tree.nodes[index];
  w.Open('{');
  w.Key("kind");
  w.Text(KindName(node.kind));
  w.Place(node.start, node.end);
  w.Key("text");
  w.Text(pattern.substr(node.start, node.end - node.start));
  w.Key("description");
  w.Text(node.description);
  switch (node.kind) {
    case NodeKind::kGroup:
    case NodeKind::kBackReference:
    case NodeKind::kMarker:
      w.Key("group");
      w.Number(static_cast<uint64_t>(node.group));
      break;
    case NodeKind::kLiteral:
      WriteCharacter(w, "character", node.character);
      break;
    case NodeKind::kRepeat:
      w.Key("min");
      w.Number(node.min);
      w.Key("max");
      if (node.max) {
        w.Number(*node.max);
      } else {
        w.Null();
      }
      w.Key("greedy");
      w.Bool(node.greedy);
      w.Key("quantifier");
      w.Text(node.quantifier);
      if (!node.rewrite.empty()) {
        w.Key("rewrite");
        w.Text(node.rewrite);
      }
      break;
    case NodeKind::kClass:
      w.Key("negated");
      w.Bool(node.negated);
      w.Key("members");
      w.Open('[');
      for (const ClassMember& m : node.members) {
        w.Open('{');
        if (m.lineBreak) {
          w.Key("lineBreak");
          w.Bool(true);
        } else {
          WriteCharacter(w, "from", m.from);
          WriteCharacter(w, "to", m.to);
        }
        w.Close('}');
      }
      w.Close(']');
      break;
    default:
      break;
  }
  if (node.error) {
    w.Key("error");
    w.Error(*node.error);
  }
  if (!node.children.empty()) {
    w.Key("children");
    w.Open('[');
    for (const uint32_t child : node.children)
      WriteNode(w, tree, child, pattern);
    w.Close(']');
  }
  w.Close('}');
}

// Character ranges as [[from, to], ...].
void Ranges(Writer& w, const CharacterRanges& ranges) {
  w.Open('[');
  for (const auto& [lo, hi] : ranges) {
    w.Open('[');
    w.Number(lo), w.Number(hi);
    w.Close(']');
  }
  w.Close(']');
}

void WriteFacts(Writer& w, const PatternFacts& facts) {
  w.Open('{');
  w.Key("complete");
  w.Bool(facts.complete);
  w.Key("faultFree");
  w.Bool(facts.faultFree);
  w.Key("ignoreCase");
  w.Bool(facts.ignoreCase);
  w.Key("minLength");
  w.Number(facts.minLength);
  w.Key("anchoredAtStart");
  w.Bool(facts.anchoredAtStart);
  w.Key("firstCharacters");
  Ranges(w, facts.firstCharacters);
  w.Key("firstLevels");
  w.Number(facts.firstLevels);
  w.Key("matchCharacters");
  Ranges(w, facts.matchCharacters);
  w.Key("requiredLiterals");
  w.Open('[');
  for (const std::u16string& literal : facts.requiredLiterals)
    w.Text(literal);
  w.Close(']');
  w.Key("anyOfLiterals");
  w.Open('[');
  for (const std::u16string& literal : facts.anyOfLiterals)
    w.Text(literal);
  w.Close(']');
  w.Key("matchLiterals");
  w.Open('[');
  for (const std::u16string& literal : facts.matchLiterals)
    w.Text(literal);
  w.Close(']');
  w.Key("levelsPerCharacter");
  if (facts.levelsPerCharacter) {
    w.Number(*facts.levelsPerCharacter);
  } else {
    w.Null();
  }
  w.Key("depthSafeLength");
  if (const std::optional<uint64_t> safe = facts.depthSafeLength(1000)) {
    w.Number(*safe);
  } else {
    w.Null();
  }
  w.Close('}');
}

}  // namespace

std::string AnalysisJson(const Analysis& analysis, std::u16string_view pattern, int32_t flags,
                         int groups) {
  Writer w(pattern);
  w.Open('{');
  w.Key("pattern");
  w.Text(pattern);
  w.Key("flags");
  w.Signed(flags);
  w.Key("groups");
  w.Number(static_cast<uint64_t>(groups));
  w.Key("diagnostics");
  w.Open('[');
  for (const Diagnostic& d : analysis.diagnostics) {
    w.Open('{');
    w.Key("severity");
    w.Text(d.severity == Severity::kError ? "error" : "warning");
    w.Key("code");
    w.Text(d.code);
    w.Place(d.start, d.end);
    w.Key("message");
    w.Text(d.message);
    w.Key("error");
    if (d.error) {
      w.Error(*d.error);
    } else {
      w.Null();
    }
    w.Close('}');
  }
  w.Close(']');
  w.Key("tree");
  WriteNode(w, analysis.explanation, 0, pattern);
  w.Key("facts");
  WriteFacts(w, analysis.facts);
  w.Close('}');
  return std::move(w.out());
}

}  // namespace quarn
