// Putting the analysis together (see analysis.h): the diagnostics from the exploration and the
// tree, the facts from the tree and the exploration, and the test that lets a search of a
// subject be skipped.
//
// The facts about every match come from the tree, node by node from the leaves up: the
// fewest characters it takes, whether it always takes one fixed text, the texts every match
// of it begins and ends with, the texts every match of it contains, whether it is a plain
// choice of texts, and whether it holds only at the start of the subject. Only a regular
// tree is used (see explain.h); texts are folded under ignore case, as the atoms compare
// them.
#include "analysis.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "explain.h"
#include "explore.h"
#include "first.h"
#include "program.h"
#include "text.h"

namespace quarn {

namespace {

constexpr size_t kLongestText = 64;   // texts kept per node, at most this long
constexpr size_t kMostLiterals = 16;  // required literals kept
constexpr size_t kMostChoices = 32;   // texts of a choice kept
constexpr uint64_t kManyCharacters = uint64_t{1} << 40;

// What every match of a node satisfies.
struct Known {
  uint64_t min = 0;
  bool exact = true;  // always exactly prefix (which then equals suffix)
  std::u16string prefix;
  std::u16string suffix;
  std::vector<std::u16string> contains;  // texts inside every match
  // Texts one of which every match contains (an alternation of words); empty: none known.
  std::vector<std::u16string> oneOf;
  // The texts that are its matches, when it is a plain choice of texts: no assertion, class or
  // open count, so that it matches wherever one of them begins (nullopt: it is not, or they
  // are too many or too long to keep). One for each way through its alternatives, so a text
  // may be there twice.
  std::optional<std::vector<std::u16string>> words;
  // The characters its matches take (nullopt: any, or not known).
  std::optional<CharacterRanges> takes = CharacterRanges{};
  bool anchored = false;  // holds only at the start of the subject
};

// The characters that a or b takes.
std::optional<CharacterRanges> Either(const std::optional<CharacterRanges>& a,
                                      const std::optional<CharacterRanges>& b) {
  if (!a || !b) return std::nullopt;
  CharacterRanges both = *a;
  both.insert(both.end(), b->begin(), b->end());
  return both;
}

using Words = std::optional<std::vector<std::u16string>>;

// The texts of a followed by one of b, while they are few and short enough to keep whole.
Words Followed(const Words& a, const Words& b) {
  if (!a || !b || a->size() * b->size() > kMostChoices) return std::nullopt;
  std::vector<std::u16string> words;
  for (const std::u16string& x : *a) {
    for (const std::u16string& y : *b) {
      if (x.size() + y.size() > kLongestText) return std::nullopt;
      words.push_back(x + y);
    }
  }
  return words;
}

std::u16string Head(std::u16string text) {
  if (text.size() > kLongestText) text.resize(kLongestText);
  return text;
}

std::u16string Tail(std::u16string_view text) {
  return std::u16string(text.substr(text.size() > kLongestText ? text.size() - kLongestText : 0));
}

void AddText(std::vector<std::u16string>& texts, std::u16string text) {
  if (text.empty()) return;
  text = Head(std::move(text));
  if (std::find(texts.begin(), texts.end(), text) == texts.end()) texts.push_back(std::move(text));
}

// Every text a match of the node surely contains.
std::vector<std::u16string> Contained(const Known& k) {
  std::vector<std::u16string> texts = k.contains;
  AddText(texts, k.prefix);
  AddText(texts, k.suffix);
  return texts;
}

// Whether choice a (texts one of which a match contains) narrows the subjects down better
// than b: its shortest text is longer, or as long with fewer texts. Empty: no choice.
bool Narrower(const std::vector<std::u16string>& a, const std::vector<std::u16string>& b) {
  if (a.empty()) return false;
  if (b.empty()) return true;
  const auto shortest = [](const std::vector<std::u16string>& texts) {
    size_t n = SIZE_MAX;
    for (const std::u16string& t : texts)
      n = std::min(n, t.size());
    return std::min<size_t>(n, 8);  // beyond a few characters, any text is rare enough
  };
  if (shortest(a) != shortest(b)) return shortest(a) > shortest(b);
  return a.size() < b.size();
}

// The narrowest choice known of a node: its own, or one text it surely contains.
std::vector<std::u16string> Choice(const Known& k) {
  std::vector<std::u16string> best = k.oneOf;
  for (std::u16string& text : Contained(k)) {
    std::vector<std::u16string> one{std::move(text)};
    if (Narrower(one, best)) best = std::move(one);
  }
  return best;
}

Known Fixed(std::u16string text) {
  Known k;
  k.min = text.size();
  if (!text.empty()) k.oneOf = {Head(text)};
  if (text.size() <= kLongestText) k.words = {{text}};
  for (const char16_t c : text)
    k.takes->emplace_back(c, c);
  k.prefix = k.suffix = std::move(text);
  return k;
}

// What holds at a place without taking a character: an assertion, a marker.
Known Condition(bool anchored = false) {
  Known k = Fixed(u"");
  k.words.reset();
  k.anchored = anchored;
  return k;
}

Known Unknown(uint64_t min, std::optional<CharacterRanges> takes = std::nullopt) {
  Known k;
  k.min = min;
  k.exact = false;
  k.takes = std::move(takes);
  return k;
}

// Items one after another.
Known InSequence(const std::vector<const Known*>& items) {
  Known k;
  k.words = {{u""}};
  for (const Known* item : items) {
    k.words = Followed(k.words, item->words);
    k.takes = Either(k.takes, item->takes);
  }
  std::u16string run;   // fixed texts since the last item that is not fixed
  std::u16string last;  // the suffix of that item
  bool fixed = true;
  for (const Known* item : items) {
    k.min = std::min(k.min + item->min, kManyCharacters);
    k.anchored = k.anchored || item->anchored;
    for (const std::u16string& text : item->contains)
      AddText(k.contains, text);
    if (item->exact) {
      run += item->prefix;
      continue;
    }
    AddText(k.contains, last + run + item->prefix);
    if (fixed) k.prefix = Head(run + item->prefix);
    fixed = false;
    last = item->suffix;
    run.clear();
  }
  for (const Known* item : items) {
    std::vector<std::u16string> choice = Choice(*item);
    if (Narrower(choice, k.oneOf)) k.oneOf = std::move(choice);
  }
  k.exact = fixed;
  if (fixed) {
    if (run.size() > kLongestText) {  // too long to keep whole: keep its ends
      k.exact = false;
      AddText(k.contains, run);
      k.prefix = Head(run);
      k.suffix = Tail(run);
    } else {
      k.prefix = k.suffix = run;
    }
  } else {
    k.suffix = Tail(last + run);
    AddText(k.contains, last + run);
  }
  k.oneOf = Choice(k);
  return k;
}

// Every text of the choices of the alternatives, or none when one has none or they are too
// many; a text that holds another of them adds nothing.
std::vector<std::u16string> EveryChoice(const std::vector<const Known*>& alternatives) {
  std::vector<std::u16string> all;
  for (const Known* a : alternatives) {
    const std::vector<std::u16string> choice = Choice(*a);
    if (choice.empty()) return {};
    for (const std::u16string& text : choice) {
      if (std::find(all.begin(), all.end(), text) == all.end()) all.push_back(text);
    }
  }
  std::vector<std::u16string> kept;
  for (const std::u16string& text : all) {
    const bool holdsAnother = std::any_of(all.begin(), all.end(), [&](const std::u16string& t) {
      return t.size() < text.size() && text.find(t) != std::u16string::npos;
    });
    if (!holdsAnother) kept.push_back(text);
  }
  if (kept.size() > kMostChoices) return {};
  return kept;
}

// One of several alternatives.
Known OneOf(const std::vector<const Known*>& alternatives) {
  Known k = *alternatives[0];
  std::vector<std::u16string> common = Contained(k);
  for (size_t i = 1; i < alternatives.size(); ++i) {
    const Known& a = *alternatives[i];
    k.min = std::min(k.min, a.min);
    k.anchored = k.anchored && a.anchored;
    k.exact = k.exact && a.exact && a.prefix == k.prefix;
    size_t p = 0;
    while (p < k.prefix.size() && p < a.prefix.size() && k.prefix[p] == a.prefix[p])
      ++p;
    k.prefix.resize(p);
    size_t s = 0;
    while (s < k.suffix.size() && s < a.suffix.size() &&
           k.suffix[k.suffix.size() - 1 - s] == a.suffix[a.suffix.size() - 1 - s]) {
      ++s;
    }
    k.suffix = k.suffix.substr(k.suffix.size() - s);
    const std::vector<std::u16string> theirs = Contained(a);
    std::erase_if(common, [&](const std::u16string& t) {
      return std::find(theirs.begin(), theirs.end(), t) == theirs.end();
    });
  }
  k.contains = std::move(common);
  for (size_t i = 1; i < alternatives.size(); ++i)
    k.takes = Either(k.takes, alternatives[i]->takes);
  for (size_t i = 1; i < alternatives.size() && k.words; ++i) {
    const Words& theirs = alternatives[i]->words;
    if (!theirs) {
      k.words.reset();
      break;
    }
    k.words->insert(k.words->end(), theirs->begin(), theirs->end());
    if (k.words->size() > kMostChoices) k.words.reset();
  }
  k.oneOf = EveryChoice(alternatives);
  k.oneOf = Choice(k);
  return k;
}

Known Repeated(const Known& atom, const ExplainNode& node) {
  if (node.max && *node.max == 0) return Fixed(u"");
  if (node.min == 0) return Unknown(0, atom.takes);
  Known k;
  k.takes = atom.takes;
  k.min = std::min(atom.min * node.min, kManyCharacters);
  k.anchored = atom.anchored;
  if (node.max == node.min) {
    k.words = {{u""}};
    for (uint32_t n = 0; n < node.min && k.words; ++n)
      k.words = Followed(k.words, atom.words);
  }
  k.contains = Contained(atom);
  k.oneOf = Choice(atom);
  if (!atom.exact) {
    k.exact = false;
    k.prefix = atom.prefix;
    k.suffix = atom.suffix;
    return k;
  }
  std::u16string copies;
  for (uint32_t n = 0; n < node.min && copies.size() <= kLongestText; ++n)
    copies += atom.prefix;
  k.exact = node.max == node.min && copies.size() <= kLongestText &&
            copies.size() == atom.prefix.size() * node.min;
  k.prefix = Head(copies);
  k.suffix = Tail(copies);
  if (!k.exact) AddText(k.contains, copies);
  k.oneOf = Choice(k);
  return k;
}

Known Leaf(const ExplainNode& node, const Program& program) {
  const bool fold = program.IgnoreCase();
  switch (node.kind) {
    case NodeKind::kLiteral:
      return Fixed(std::u16string(1, fold ? LowerCase(node.character) : node.character));
    case NodeKind::kLineBreak:
      return Fixed(u"\r\n");
    case NodeKind::kClass: {
      // A list of one character (folded already under ignore case) is that character.
      if (!node.negated && node.members.size() == 1 && !node.members[0].lineBreak &&
          node.members[0].from == node.members[0].to) {
        return Fixed(std::u16string(1, node.members[0].from));
      }
      // What a list takes, as it is written; under ignore case the atom compares otherwise.
      if (node.negated || fold || node.error) return Unknown(1);
      CharacterRanges takes;
      for (const ClassMember& member : node.members) {
        if (member.lineBreak) {
          takes.emplace_back(u'\r', u'\r');
          takes.emplace_back(u'\n', u'\n');
        } else {
          takes.emplace_back(member.from, member.to);
        }
      }
      return Unknown(1, std::move(takes));
    }
    case NodeKind::kAnyCharacter:
      return Unknown(1);
    case NodeKind::kBackReference:
      return Unknown(0);  // any text, perhaps none
    case NodeKind::kTextStart:
      return Condition(true);
    case NodeKind::kLineStart:
      return Condition(!program.Multiline());
    case NodeKind::kIgnored:
      return Fixed(u"");
    case NodeKind::kMarker:
    case NodeKind::kError: {
      Known k = Condition();
      k.takes.reset();
      return k;
    }
    default:
      return Condition();  // the other assertions
  }
}

// The facts of the tree's root, computed from the leaves up (children follow their parent in
// the list, so going backwards meets every child before its parent).
Known KnownOfRoot(const Explanation& explanation, const Program& program) {
  const std::vector<ExplainNode>& nodes = explanation.nodes;
  std::vector<Known> known(nodes.size());
  for (size_t i = nodes.size(); i-- > 0;) {
    const ExplainNode& node = nodes[i];
    std::vector<const Known*> children;
    for (const uint32_t c : node.children)
      children.push_back(&known[c]);
    switch (node.kind) {
      case NodeKind::kSequence:
        known[i] = InSequence(children);
        break;
      case NodeKind::kAlternation:
      case NodeKind::kGroup:
      case NodeKind::kPlainGroup:
        known[i] = children.empty() ? Fixed(u"") : OneOf(children);
        break;
      case NodeKind::kRepeat:
        known[i] = Repeated(*children[0], node);
        break;
      case NodeKind::kLookahead:
        known[i] = Condition(children[0]->anchored);  // what it reads may lie after the match
        break;
      default:
        known[i] = Leaf(node, program);
    }
  }
  return std::move(known[0]);
}

// The longest texts first, and none that another contains.
std::vector<std::u16string> Literals(std::vector<std::u16string> texts) {
  std::sort(texts.begin(), texts.end(),
            [](const std::u16string& a, const std::u16string& b) { return a.size() > b.size(); });
  std::vector<std::u16string> kept;
  for (std::u16string& t : texts) {
    const bool inside = std::any_of(kept.begin(), kept.end(), [&](const std::u16string& k) {
      return k.find(t) != std::u16string::npos;
    });
    if (!inside && kept.size() < kMostLiterals) kept.push_back(std::move(t));
  }
  return kept;
}

// Ranges in order, those that touch or overlap made one.
CharacterRanges Merged(CharacterRanges ranges) {
  std::sort(ranges.begin(), ranges.end());
  CharacterRanges merged;
  for (const auto& [lo, hi] : ranges) {
    if (!merged.empty() && lo <= merged.back().second + 1u) {
      merged.back().second = std::max(merged.back().second, hi);
    } else {
      merged.emplace_back(lo, hi);
    }
  }
  return merged;
}

PatternFacts FactsOf(const Program& program, const Tree& tree, const Exploration& found,
                     bool complete, const Graph& graph) {
  PatternFacts facts;
  facts.ignoreCase = program.IgnoreCase();
  facts.complete = complete;
  if (!complete) return facts;
  facts.faultFree = found.faults.empty();
  facts.levelsPerCharacter = found.levelsPerCharacter;
  if (const std::optional<FirstCharacters> first = FindFirstCharacters(graph, graph.Root())) {
    facts.firstCharacters = Merged(first->ranges);
    facts.firstLevels = first->levels;
  }
  if (!tree.regular) return facts;
  const Known root = KnownOfRoot(tree.explanation, program);
  facts.minLength = root.min;
  facts.anchoredAtStart = root.anchored;
  facts.requiredLiterals = Literals(Contained(root));
  facts.anyOfLiterals = Choice(root);
  if (root.takes && !program.IgnoreCase()) facts.matchCharacters = Merged(*root.takes);
  // Edges add conditions that the tree of the pattern as given does not show. A text there
  // twice is left out with the rest, so that a search tries each text once at a start.
  if (root.words && program.MatchEdges() == Edges::kAnywhere) {
    std::vector<std::u16string> words = *root.words;
    std::sort(words.begin(), words.end());
    const bool distinct = std::adjacent_find(words.begin(), words.end()) == words.end();
    if (distinct && !words.front().empty()) facts.matchLiterals = *root.words;
  }
  return facts;
}

Diagnostic Warning(std::string code, Stretch at, std::string message) {
  return {Severity::kWarning, std::move(code), at.start, at.end, std::move(message), {}};
}

std::vector<Diagnostic> DiagnosticsOf(const Exploration& found, const Tree& tree, bool complete,
                                      size_t patternSize) {
  std::vector<Diagnostic> all;
  for (const Exploration::Found& fault : found.faults) {
    all.push_back({Severity::kError, "fault", fault.at.start, fault.at.end, fault.error.message(),
                   fault.error});
  }
  for (const Stretch& loop : found.emptyLoops) {
    Diagnostic d = Warning("empty-loop", loop,
                           "the repeated atom can match nothing; where it does, the repetition "
                           "repeats it in place until the depth limit ends the search");
    d.error = DepthLimitError();
    all.push_back(std::move(d));
  }
  for (const Diagnostic& w : tree.warnings) {
    const bool known = std::any_of(all.begin(), all.end(), [&](const Diagnostic& d) {
      return d.code == w.code && d.start == w.start && d.end == w.end && d.message == w.message;
    });
    if (!known) all.push_back(w);
  }
  if (!complete) {
    all.push_back(Warning("incomplete", {0, patternSize},
                          "the pattern is too large to analyse fully: faults that a search can "
                          "meet may be missing here, and no facts are known"));
  }
  std::stable_sort(all.begin(), all.end(), [](const Diagnostic& a, const Diagnostic& b) {
    if (a.start != b.start) return a.start < b.start;
    return a.severity < b.severity;
  });
  return all;
}

template <typename Unit>
bool Contains(Units<Unit> text, std::u16string_view literal, bool fold) {
  if constexpr (std::is_same_v<Unit, char16_t>) {
    const std::u16string_view units(text.data(), text.size());
    if (!fold) return units.find(literal) != std::u16string_view::npos;
  } else if (!fold) {
    // 8-bit units hold no character above U+00FF; the library's search of bytes is the fast one.
    std::array<char, kLongestText> narrow;
    if (literal.size() <= narrow.size()) {
      for (size_t k = 0; k < literal.size(); ++k) {
        if (literal[k] > 0xFF) return false;
        narrow[k] = static_cast<char>(literal[k]);
      }
      const std::string_view bytes(reinterpret_cast<const char*>(text.data()), text.size());
      return bytes.find(std::string_view(narrow.data(), literal.size())) != std::string_view::npos;
    }
  }
  for (size_t i = 0; i + literal.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < literal.size() && (fold ? LowerCase(text[i + k]) : text[i + k]) == literal[k])
      ++k;
    if (k == literal.size()) return true;
  }
  return false;
}

}  // namespace

std::optional<uint64_t> PatternFacts::depthSafeLength(uint32_t depth) const {
  if (!levelsPerCharacter) return std::nullopt;
  const uint64_t perCharacter = uint64_t{*levelsPerCharacter} + 1;
  // A search of n characters goes at most (n + 1) * perCharacter levels deep.
  if (depth < perCharacter) return std::nullopt;
  return depth / perCharacter - 1;
}

Analysis RefusedAnalysis(std::u16string_view pattern, const Error& error,
                         const Explanation* explanation) {
  Analysis analysis;
  if (explanation != nullptr) {
    analysis.explanation = *explanation;
  } else {
    ExplainNode root;
    root.kind = NodeKind::kError;
    root.end = pattern.size();
    root.description = "the engine refuses the pattern: " + error.report();
    root.error = error;
    analysis.explanation.nodes.push_back(std::move(root));
  }
  const size_t at = error.position.value_or(0);
  const size_t end = error.position ? std::min(at + 1, pattern.size()) : pattern.size();
  analysis.diagnostics.push_back(
      {Severity::kError, "fault", at, std::max(at, end), error.message(), error});
  return analysis;
}

Analysis Analyze(const Program& program) {
  if (program.Error()) return RefusedAnalysis(program.Pattern(), *program.Error());
  Reading reading(program);
  Tree tree = Explain(reading);
  const Exploration found = Explore(reading);
  const bool complete = tree.complete && !reading.Exhausted();
  Analysis analysis;
  analysis.diagnostics = DiagnosticsOf(found, tree, complete, program.Pattern().size());
  analysis.facts = FactsOf(program, tree, found, complete, reading.graph());
  analysis.explanation = std::move(tree.explanation);
  return analysis;
}

template <typename Unit>
bool CannotMatch(const PatternFacts& facts, Units<Unit> text, size_t start, uint32_t depth,
                 uint64_t subjectLength) {
  if (!facts.complete || !facts.faultFree || start > text.size()) return false;
  // Past the length limit the search fails with an overflow; at the legacy limit a failed
  // search of a subject exactly that long overflows as well.
  constexpr uint64_t kLegacyLength = 32766;
  if (text.size() > subjectLength ||
      (subjectLength <= kLegacyLength && text.size() == kLegacyLength)) {
    return false;
  }
  const std::optional<uint64_t> safe = facts.depthSafeLength(depth);
  const uint64_t left = text.size() - start;
  if (!safe || left > *safe) return false;
  if (left < facts.minLength || (facts.anchoredAtStart && start > 0)) return true;
  const Units<Unit> rest = text.substr(start);
  const auto absent = [&](const std::u16string& literal) {
    return !Contains(rest, literal, facts.ignoreCase);
  };
  if (std::any_of(facts.requiredLiterals.begin(), facts.requiredLiterals.end(), absent)) {
    return true;
  }
  // The texts that are the matches, when known, rule out every subject that cannot match.
  const std::vector<std::u16string>& choice =
      facts.matchLiterals.empty() ? facts.anyOfLiterals : facts.matchLiterals;
  return !choice.empty() && std::all_of(choice.begin(), choice.end(), absent);
}

template bool CannotMatch(const PatternFacts&, Units<char16_t>, size_t, uint32_t, uint64_t);
template bool CannotMatch(const PatternFacts&, Units<uint8_t>, size_t, uint32_t, uint64_t);

namespace {

// The first place of literal in text at or after from, or npos.
template <typename Unit>
size_t FindText(Units<Unit> text, size_t from, std::u16string_view literal) {
  if constexpr (std::is_same_v<Unit, char16_t>) {
    return std::u16string_view(text.data(), text.size()).find(literal, from);
  } else {
    std::array<char, kLongestText> narrow;
    if (literal.size() > narrow.size()) return std::string_view::npos;
    for (size_t k = 0; k < literal.size(); ++k) {
      if (literal[k] > 0xFF) return std::string_view::npos;  // not in 8-bit units
      narrow[k] = static_cast<char>(literal[k]);
    }
    const std::string_view bytes(reinterpret_cast<const char*>(text.data()), text.size());
    return bytes.find(std::string_view(narrow.data(), literal.size()), from);
  }
}

bool InRanges(const CharacterRanges& ranges, char16_t c) {
  const auto after =
      std::upper_bound(ranges.begin(), ranges.end(), c,
                       [](char16_t x, const auto& range) { return x < range.first; });
  return after != ranges.begin() && c <= std::prev(after)->second;
}

}  // namespace

StartSkip::StartSkip(const PatternFacts* facts) {
  if (facts && facts->complete && facts->faultFree && !facts->ignoreCase &&
      !facts->matchCharacters.empty() && !facts->requiredLiterals.empty()) {
    facts_ = facts;
  }
}

template <typename Unit>
size_t StartSkip::Next(Units<Unit> text, size_t start) {
  if (!looked_ || start > literalAt_) {
    const std::u16string& literal = facts_->requiredLiterals.front();
    looked_ = true;
    literalAt_ = FindText(text, start, literal);
    if (literalAt_ == std::string_view::npos) {
      literalAt_ = text.size() + 1;
      viable_ = literalAt_;
      return literalAt_;
    }
    // The run of match characters that reaches the literal.
    viable_ = literalAt_;
    while (viable_ > start && InRanges(facts_->matchCharacters, text[viable_ - 1]))
      --viable_;
  }
  return std::max(start, viable_);
}

template size_t StartSkip::Next(Units<char16_t>, size_t);
template size_t StartSkip::Next(Units<uint8_t>, size_t);

}  // namespace quarn
