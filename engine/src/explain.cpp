// Reading the pattern as written into the explanation tree (see explain.h).
#include "explain.h"

#include <algorithm>

#include "describe.h"
#include "scanner.h"
#include "text.h"

namespace quarn {

namespace {

// Deeper nesting than this is not explained (the reading recurses once per level).
constexpr int kMaxNesting = 200;
// Rewrites longer than this are shown cut.
constexpr size_t kShownRewrite = 160;

// Whether the group finder, reading "(" + atom + more, leaves the atom where it began: no
// parenthesis or bracket of the atom reaches outside it. Only then do a brace's optional
// copies "(A(A)?)?" read as groups of copies.
bool ParenthesesStayInside(std::u16string_view atom) {
  int depth = 1;
  bool inBrackets = false;
  for (size_t i = 0; i < atom.size(); ++i) {
    switch (atom[i]) {
      case u'[':
        inBrackets = true;
        break;
      case u']':
        inBrackets = false;
        break;
      case u'\\':
        if (++i == atom.size()) return false;
        break;
      case u'(':
        depth += inBrackets ? 0 : 1;
        break;
      case u')':
        depth -= inBrackets ? 0 : 1;
        break;
      default:
        break;
    }
    if (depth == 0) return false;
  }
  return depth == 1 && !inBrackets;
}

bool IsAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// The escape letters with a meaning here (outside brackets); any other escaped letter is the
// letter itself.
bool IsEscapeLetter(char16_t c) {
  return std::u16string_view(u"wWdDsStfraecxQnbBAZ").find(c) != std::u16string_view::npos;
}

class Explainer {
 public:
  explicit Explainer(Reading& reading) : r_(reading) {
    const Program& p = reading.program();
    w_ = {p.IgnoreCase(), p.SingleLine(), p.Multiline(), p.GroupCount()};
  }

  Tree Run() {
    const std::u16string_view pattern = r_.pattern();
    const Stretch whole{0, pattern.size()};
    Sequence(r_.graph().Root(), nullptr, whole, 0);
    Nest();
    return std::move(tree_);
  }

  // Every node within its parent: a construct that the reading carried across a boundary
  // (a marker under a quantifier, braces that took in a group's end) is shown cut there.
  void Nest() {
    std::vector<ExplainNode>& nodes = Nodes();
    nodes[0].start = 0;
    nodes[0].end = r_.pattern().size();
    for (const ExplainNode& parent : nodes) {
      for (const uint32_t c : parent.children) {
        ExplainNode& child = nodes[c];
        child.start = std::clamp(child.start, parent.start, parent.end);
        child.end = std::clamp(child.end, child.start, parent.end);
      }
    }
  }

 private:
  std::vector<ExplainNode>& Nodes() { return tree_.explanation.nodes; }

  uint32_t Add(NodeKind kind, Stretch at) {
    ExplainNode node;
    node.kind = kind;
    node.start = at.start;
    node.end = at.end;
    Nodes().push_back(std::move(node));
    return static_cast<uint32_t>(Nodes().size() - 1);
  }

  std::u16string_view Written(Stretch at) const {
    return r_.pattern().substr(at.start, at.end - at.start);
  }

  void Warn(std::string code, Stretch at, std::string message) {
    tree_.warnings.push_back(
        {Severity::kWarning, std::move(code), at.start, at.end, std::move(message), {}});
  }

  // The items of a text from node up to stop (or its end), for the pattern stretch bounds; a
  // text that splits at a "|" is an alternation. marker: the group whose markers open and
  // close the text, which are not items of their own.
  uint32_t Sequence(const Node* node, const Node* stop, Stretch bounds, int16_t marker) {
    if (++nesting_ > kMaxNesting) {
      --nesting_;
      return Unread(bounds, "nested too deeply to explain");
    }
    const uint32_t sequence = ReadItems(node, stop, bounds, marker);
    --nesting_;
    return sequence;
  }

  uint32_t ReadItems(const Node* node, const Node* stop, Stretch bounds, int16_t marker) {
    const Plan* first = node->length != 0 && node != stop ? r_.Read(node) : nullptr;
    if (first != nullptr && first->split && marker == 0) return Alternation(node, stop, bounds);
    const uint32_t sequence = Add(NodeKind::kSequence, bounds);
    std::vector<uint32_t> items;
    bool opened = marker == 0;
    bool closed = marker == 0;
    while (node != stop && node->length != 0) {
      const Plan* plan = r_.Read(node);
      if (plan == nullptr) {
        items.push_back(Unread({ItemStart(node, bounds), bounds.end}, "not read: too large"));
        break;
      }
      if (plan->kind == PlanKind::kMarker && plan->marker == marker && !opened) {
        opened = true;
        node = plan->rest;
        continue;
      }
      if (plan->kind == PlanKind::kMarker && plan->marker == marker && plan->rest == stop) {
        closed = true;
        node = plan->rest;
        continue;
      }
      if (plan->split) {
        tree_.regular = false;  // a "|" that only this text's reading finds
        items.push_back(Alternation(node, stop, {ItemStart(node, bounds), bounds.end}));
        break;
      }
      if (plan->kind == PlanKind::kError) {
        items.push_back(ErrorItem(node, *plan, bounds));
        break;
      }
      items.push_back(Item(node, *plan));
      if (plan->rest == node) {
        tree_.regular = false;  // an atom that the reading cut empty: nothing further is read
        break;
      }
      node = plan->rest;
    }
    if (!opened || !closed) tree_.regular = false;  // a marker went into another construct
    Nodes()[sequence].children = WithGaps(std::move(items), bounds);
    Nodes()[sequence].description = "in sequence";
    return sequence;
  }

  // Where the item that begins node stands, or where the sequence starts.
  size_t ItemStart(const Node* node, Stretch bounds) const {
    if (node->origin < 0) return bounds.start;
    return std::clamp(r_.Source(node->origin, node->origin).start, bounds.start, bounds.end);
  }

  // The items in the order of the pattern, with what the engine drops between them.
  std::vector<uint32_t> WithGaps(std::vector<uint32_t> items, Stretch bounds) {
    std::stable_sort(items.begin(), items.end(),
                     [&](uint32_t a, uint32_t b) { return Nodes()[a].start < Nodes()[b].start; });
    std::vector<uint32_t> all;
    size_t at = bounds.start;
    auto gap = [&](size_t to) {
      if (to <= at) return;
      const uint32_t ignored = Add(NodeKind::kIgnored, {at, to});
      Nodes()[ignored].description = DescribeIgnored(Written({at, to}));
      all.push_back(ignored);
    };
    for (const uint32_t item : items) {
      gap(Nodes()[item].start);
      all.push_back(item);
      at = std::max(at, Nodes()[item].end);
    }
    gap(bounds.end);
    return all;
  }

  uint32_t Alternation(const Node* node, const Node* stop, Stretch bounds) {
    const uint32_t alternation = Add(NodeKind::kAlternation, bounds);
    std::vector<uint32_t> alternatives;
    size_t start = bounds.start;
    for (;;) {
      const Plan* plan = r_.Read(node);
      if (plan == nullptr) {
        alternatives.push_back(Unread({start, bounds.end}, "not read: too large"));
        break;
      }
      if (!plan->split) {
        alternatives.push_back(Sequence(node, stop, {start, bounds.end}, 0));
        break;
      }
      const Node* before = plan->attempts[0];
      Stretch bar{start, start};
      if (node->origin >= 0) {
        const size_t at = static_cast<size_t>(node->origin) + before->length;
        bar = r_.Source(at, at + 1);
      }
      alternatives.push_back(Sequence(before, nullptr, {start, bar.start}, 0));
      start = bar.end;
      node = plan->attempts[1];
      if (node == stop || node->length == 0) {
        alternatives.push_back(Add(NodeKind::kSequence, {start, bounds.end}));
        Nodes()[alternatives.back()].description = "nothing: matches at once";
        break;
      }
    }
    Nodes()[alternation].children = std::move(alternatives);
    Nodes()[alternation].description =
        "one of " + std::to_string(Nodes()[alternation].children.size()) +
        " alternatives, tried left to right; the first that lets the rest match wins";
    return alternation;
  }

  uint32_t Unread(Stretch at, std::string why) {
    tree_.complete = false;
    tree_.regular = false;
    const uint32_t node = Add(NodeKind::kError, at);
    Nodes()[node].description = std::move(why);
    return node;
  }

  // A step that raises an error: the engine reads nothing after it in this text.
  uint32_t ErrorItem(const Node* node, const Plan& plan, Stretch bounds) {
    tree_.regular = false;
    const uint32_t item = Add(NodeKind::kError, {ItemStart(node, bounds), bounds.end});
    Error error = *plan.error;
    if (plan.errorAt) error.position = r_.program().PatternPosition(node, *plan.errorAt);
    Nodes()[item].description = "the engine stops here: " + error.report();
    Nodes()[item].error = std::move(error);
    return item;
  }

  // One item: an atom, with its quantifier when it has one.
  uint32_t Item(const Node* node, const Plan& plan) {
    if (node->origin < 0) tree_.regular = false;
    const size_t o = static_cast<size_t>(std::max<int64_t>(node->origin, 0));
    const Stretch atom = r_.Source(o, o + plan.atomLength);
    if (plan.quantifier == nullptr) return Atom(node, plan, atom);
    const std::u16string_view q = plan.quantifier->text;
    const Stretch braces = r_.Source(o + plan.atomLength, o + plan.atomLength + q.size());
    const uint32_t repeat = Add(NodeKind::kRepeat, {atom.start, braces.end});
    ReadQuantifier(repeat, plan, Written(atom));
    CheckCopies(plan);
    ++standalone_;
    const uint32_t child = StandaloneAtom(plan.atomPiece, static_cast<int64_t>(o), atom);
    --standalone_;
    Nodes()[repeat].children = {child};
    Nodes()[repeat].description = DescribeRepeat(Nodes()[repeat]);
    if (q[0] == u'{' && Written(atom) == u"\\x") {
      Warn("hex-brace", {atom.start, braces.end}, BraceCountWarning(q, true));
    } else if (q[0] == u'{' && std::any_of(q.begin(), q.end(), IsAsciiLetter)) {
      Warn("brace-count", braces, BraceCountWarning(q, false));
    }
    return repeat;
  }

  void ReadQuantifier(uint32_t repeat, const Plan& plan, std::u16string_view written) {
    ExplainNode& node = Nodes()[repeat];
    const std::u16string_view q = plan.quantifier->text;
    node.quantifier = q;
    node.greedy = !(q.size() == 2 && q[1] == u'?') && !(q[0] == u'{' && q.ends_with(u'?'));
    switch (q[0]) {
      case u'*':
        node.min = 0;
        return;
      case u'+':
        node.min = 1;
        return;
      case u'?':
        node.min = 0;
        node.max = 1;
        return;
      default:
        break;
    }
    const BraceCount count = ReadBraces(q);
    node.min = static_cast<uint32_t>(count.lower);
    const std::u16string_view lazy = count.lazy ? u"?" : u"";
    std::u16string rewrite;
    auto copies = [&](std::u16string_view text, uint64_t n) {
      for (uint64_t k = 0; k < n && rewrite.size() <= kShownRewrite; ++k)
        rewrite += text;
    };
    if (count.open) {
      copies(written, uint64_t(count.lower) + 1);
      rewrite += u"*";
      rewrite += lazy;
    } else {
      node.max = static_cast<uint32_t>(count.upper);
      const uint64_t levels = static_cast<uint64_t>(count.upper - count.lower);
      copies(written, count.lower);
      copies(u"(" + std::u16string(written), levels);
      copies(u")?" + std::u16string(lazy), levels);
    }
    if (rewrite.size() > kShownRewrite) rewrite = rewrite.substr(0, kShownRewrite) + u"\u2026";
    node.rewrite = std::move(rewrite);
  }

  // Whether the copies of a quantified atom read like the atom alone (see explain.h).
  void CheckCopies(const Plan& plan) {
    const std::u16string_view q = plan.quantifier->text;
    const std::u16string_view atom = plan.atomPiece->text;
    const bool once = q == u"?" || q == u"??";
    if (!once && atom.size() == 1 &&
        std::u16string_view(u"*+?{").find(atom[0]) != std::u16string_view::npos) {
      tree_.regular = false;  // "**" reads the copies as quantifiers
    }
    if (q[0] != u'{') return;
    for (size_t i = 1; i < q.size(); ++i) {
      if (q[i] < 32 || std::u16string_view(u"()[]\\|{").find(q[i]) != std::u16string_view::npos) {
        tree_.regular = false;  // braces that hide a group, a list or a marker
      }
    }
    if (!ParenthesesStayInside(atom)) tree_.regular = false;
  }

  // The atom of a quantified item, read alone.
  uint32_t StandaloneAtom(const Piece* piece, int64_t origin, Stretch at) {
    const Node* node = r_.graph().Standalone(piece->text, origin);
    const Plan* plan = r_.Read(node);
    if (plan == nullptr) return Unread(at, "not read: too large");
    if (plan->kind == PlanKind::kError) return ErrorItem(node, *plan, at);
    if (plan->split || plan->quantifier != nullptr || plan->rest->length != 0) {
      tree_.regular = false;  // the atom alone does not read as one atom
    }
    return Atom(node, *plan, at);
  }

  uint32_t Atom(const Node* node, const Plan& plan, Stretch at) {
    switch (plan.kind) {
      case PlanKind::kLiteral:
        return Literal(node, plan, at);
      case PlanKind::kAtom:
        return Assertion(plan, at);
      case PlanKind::kBracket:
        return Class(plan, at);
      case PlanKind::kMarker:
        return Marker(plan, at);
      case PlanKind::kLookahead:
        return Lookahead(node, plan, at);
      case PlanKind::kAttempts:
        return Group(node, plan, at);
      case PlanKind::kLoop:
      case PlanKind::kError:
        break;
    }
    tree_.regular = false;
    return Unread(at, "not read as an atom");
  }

  uint32_t Literal(const Node* node, const Plan& plan, Stretch at) {
    const uint32_t literal = Add(NodeKind::kLiteral, at);
    const std::u16string_view written = Written(at);
    const size_t o = static_cast<size_t>(std::max<int64_t>(node->origin, 0));
    const std::u16string_view internal = r_.internal();
    const size_t last = o + plan.atomLength - 1;
    const char16_t c = last < internal.size() ? internal[last] : plan.atom.literal;
    Nodes()[literal].character = c;
    Nodes()[literal].description = DescribeLiteral(c, w_);
    if (written.size() == 2 && written[0] == u'\\' && IsAsciiLetter(written[1]) &&
        !IsEscapeLetter(written[1])) {
      Warn("letter-escape", at, LetterEscapeWarning(written[1]));
    }
    if (standalone_ > 0 && c == u'{' && written == u"{") tree_.regular = false;
    return literal;
  }

  uint32_t Assertion(const Plan& plan, Stretch at) {
    NodeKind kind = NodeKind::kEndOnly;
    switch (plan.atom.kind) {
      case AtomKind::kDot:
        kind = NodeKind::kAnyCharacter;
        break;
      case AtomKind::kLineBreak:
        kind = NodeKind::kLineBreak;
        break;
      case AtomKind::kCaret:
        kind = NodeKind::kLineStart;
        break;
      case AtomKind::kDollar:
        kind = NodeKind::kLineEnd;
        break;
      case AtomKind::kTextStart:
        kind = NodeKind::kTextStart;
        break;
      case AtomKind::kTextEnd:
        kind = NodeKind::kTextEnd;
        break;
      case AtomKind::kWordBoundary:
        kind = NodeKind::kWordBoundary;
        break;
      case AtomKind::kNotWordBoundary:
        kind = NodeKind::kNotWordBoundary;
        break;
      case AtomKind::kBackReference:
        kind = NodeKind::kBackReference;
        break;
      default:
        Warn("trailing-backslash", at, TrailingBackslashWarning());
        break;
    }
    const uint32_t atom = Add(kind, at);
    Nodes()[atom].group = plan.atom.group;
    Nodes()[atom].description = DescribeAtom(Nodes()[atom], w_);
    return atom;
  }

  uint32_t Class(const Plan& plan, Stretch at) {
    const uint32_t node = Add(NodeKind::kClass, at);
    const BracketClass& bracket = *plan.atom.bracket;
    Nodes()[node].negated = bracket.Negated();
    for (const BracketClass::Member& m : bracket.Members())
      Nodes()[node].members.push_back({m.lo, m.hi, m.lineBreak});
    if (bracket.ErrorReachable()) {
      Error error = bracket.Error();
      error.position = at.start;  // the "[", where a search reports it
      Nodes()[node].error = std::move(error);
    }
    const std::u16string_view written = Written(at);
    Nodes()[node].description = DescribeClass(Nodes()[node], written, w_);
    if ((written.starts_with(u"[[:") || written.starts_with(u"[^[:")) && written.ends_with(u":]")) {
      Warn("posix-class", at, PosixClassWarning(written));
    }
    return node;
  }

  // A marker standing alone: a TAB, CR or LF of a "\\s" list written bare, or a group's own
  // marker that a quantifier right after its "(" took for its atom.
  uint32_t Marker(const Plan& plan, Stretch at) {
    const uint32_t node = Add(NodeKind::kMarker, at);
    const std::u16string_view written = Written(at);
    const bool bare = written == u"\\s" || written == u"\\S";
    Nodes()[node].group = plan.marker;
    Nodes()[node].description = DescribeMarker(plan.marker, bare, w_);
    if (bare) Warn("stray-marker", at, StrayMarkerWarning(plan.marker, w_));
    return node;
  }

  uint32_t Lookahead(const Node* node, const Plan& plan, Stretch at) {
    const uint32_t lookahead =
        Add(plan.positive ? NodeKind::kLookahead : NodeKind::kNegativeLookahead, at);
    Stretch inside = at;
    if (node->origin >= 0) {
      const size_t o = static_cast<size_t>(node->origin);
      inside = {r_.Source(o + 2, o + 3).end, r_.Source(o + plan.atomLength - 1, o).start};
    }
    Nodes()[lookahead].children = {Sequence(plan.probe, nullptr, inside, 0)};
    Nodes()[lookahead].description = DescribeGroup(Nodes()[lookahead]);
    return lookahead;
  }

  // A group: each attempt of its plan is an alternative between its markers, followed by the
  // rest after the group.
  uint32_t Group(const Node* node, const Plan& plan, Stretch at) {
    const std::u16string_view internal = r_.internal();
    const size_t o = static_cast<size_t>(std::max<int64_t>(node->origin, 0));
    const std::u16string_view atom = internal.substr(o, plan.atomLength);
    const bool capturing = atom.size() >= 4 && GetGroupMarker(atom.substr(1)) >= 1 &&
                           GetGroupMarker(atom.substr(atom.size() - 2)) >= 1;
    const int16_t marker = capturing ? GetGroupMarker(atom.substr(1)) : 0;
    const uint32_t group = Add(capturing ? NodeKind::kGroup : NodeKind::kPlainGroup, at);
    Nodes()[group].group = marker;
    const size_t open = capturing ? 1 : 0;
    size_t start = at.start + (Written(at).starts_with(u"(?:") ? 3 : 1);
    std::vector<uint32_t> alternatives;
    for (const Node* attempt : plan.attempts) {
      Stretch bounds{start, at.end > 0 ? at.end - 1 : 0};
      if (attempt->origin >= 0 && node->origin >= 0) {
        const size_t end = static_cast<size_t>(attempt->origin) + attempt->segment - open;
        bounds.end = std::max(start, r_.Source(end, end + 1).start);
        start = r_.Source(end, end + 1).end;
      }
      alternatives.push_back(Sequence(attempt, plan.rest, bounds, marker));
    }
    if (plan.error) {
      const uint32_t error = Add(NodeKind::kError, {start, std::max(start, at.end - 1)});
      Nodes()[error].error = plan.error;
      Nodes()[error].description =
          "the engine cannot cut this alternative: " + plan.error->report();
      alternatives.push_back(error);
      tree_.regular = false;
    }
    Nodes()[group].children = std::move(alternatives);
    Nodes()[group].description = DescribeGroup(Nodes()[group]);
    return group;
  }

  Reading& r_;
  Wording w_;
  Tree tree_;
  int nesting_ = 0;
  int standalone_ = 0;  // reading inside a quantified atom, alone
};

}  // namespace

Tree Explain(Reading& reading) {
  return Explainer(reading).Run();
}

}  // namespace quarn
