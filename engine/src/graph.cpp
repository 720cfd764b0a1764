// Making nodes and plans. A plan is what one step of the rewriting matcher does with a text:
//
//   - a "|" outside every group and bracket expression: try the text before it, then the
//     text after it;
//   - an atom A with a quantifier Q and the rest R: try the rewrites in their order ("*":
//     A A* R, then R; "*?": R, then A A*? R; "+": A A* R; "?": A R, then R; braces: their
//     expansion, "x{2,4}" being "xx(x(x)?)?", then R);
//   - a lookahead: search its inside alone, then R;
//   - a group: each alternative between the group's markers, followed by R;
//   - a group marker: open or close its group, then R;
//   - any other atom: test it, then R after what it took.
//
// The cutting is done by the scanner's functions on the text's first characters, so every
// error and overflow of a step is the scanner's own; an error becomes a plan that raises it
// when a search reaches the step.
#include "graph.h"

#include <algorithm>

#include "scanner.h"
#include "text.h"

namespace quarn {

using namespace std::string_view_literals;

namespace {

// Whether one of the sorted positions lies in the stretch of a periodic piece of length
// period that starts at phase and is segment long.
bool Covers(const std::vector<uint32_t>& positions, size_t period, uint64_t phase,
            uint64_t segment) {
  if (positions.empty()) return false;
  if (segment >= period) return true;
  auto any = [&](uint64_t lo, uint64_t hi) {
    const auto it = std::lower_bound(positions.begin(), positions.end(), lo);
    return it != positions.end() && *it < hi;
  };
  const uint64_t end = phase + segment;
  if (end <= period) return any(phase, end);
  return any(phase, period) || any(0, end - period);
}

}  // namespace

size_t Graph::NodeKeyHash::operator()(const NodeKey& k) const {
  uint64_t h = reinterpret_cast<uintptr_t>(k.piece);
  h = h * 0x9E3779B97F4A7C15ULL ^ k.phase;
  h = h * 0x9E3779B97F4A7C15ULL ^ k.segment;
  h = h * 0x9E3779B97F4A7C15ULL ^ reinterpret_cast<uintptr_t>(k.next);
  return static_cast<size_t>(h ^ (h >> 29));
}

namespace {

bool IsBracketExpression(std::u16string_view atom) {
  return atom.size() >= 2 && atom.starts_with(u'[') && atom.ends_with(u']');
}

}  // namespace

Graph::Graph(std::u16string_view internal, bool ignoreCase, int16_t groupCount)
    : ignoreCase_(ignoreCase), groupCount_(groupCount) {
  root_ = Flat(internal, 0);
}

std::optional<size_t> Graph::InternalPosition(const Node* node, uint64_t offset) const {
  if (node->origin < 0 || offset >= node->segment ||
      node->phase + offset >= node->piece->text.size()) {
    return std::nullopt;
  }
  return static_cast<size_t>(node->origin) + offset;
}

const Piece* Graph::InternPiece(std::u16string_view text) const {
  if (const auto found = pieceIndex_.find(text); found != pieceIndex_.end()) return found->second;
  Piece& piece = pieces_.emplace_back();
  piece.text.assign(text);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'|') piece.bars.push_back(static_cast<uint32_t>(i));
    if (text[i] == u'\\' && i + 1 < text.size() && text[i + 1] >= u'1' && text[i + 1] <= u'9') {
      piece.escapes.push_back(static_cast<uint32_t>(i));
    }
  }
  piece.endsWithBackslash = text.ends_with(u'\\');
  pieceIndex_.emplace(piece.text, &piece);
  return &piece;
}

// The node for segment characters of piece from phase on, followed by next (a text; the
// empty text is allowed).
const Node* Graph::Intern(const Piece* piece, uint64_t phase, uint64_t segment, const Node* next,
                          int64_t origin) const {
  if (next != nullptr && next->length == 0) next = nullptr;
  if (segment == 0) return next != nullptr ? next : &empty_;
  const size_t period = piece->text.size();
  const NodeKey key{piece, static_cast<uint32_t>(phase % period), segment, next};
  if (const auto found = nodeIndex_.find(key); found != nodeIndex_.end()) return found->second;
  Node& node = nodes_.emplace_back();
  node.piece = piece;
  node.phase = key.phase;
  node.segment = segment;
  node.next = next;
  node.length = segment + (next != nullptr ? next->length : 0);
  node.id = static_cast<uint32_t>(nodes_.size());
  node.origin = origin;
  node.hasBar = Covers(piece->bars, period, node.phase, segment) || (next && next->hasBar);
  // A backslash that ends the piece may pair with a digit after it: counted as a reference.
  node.readsCaptures = Covers(piece->escapes, period, node.phase, segment) ||
                       piece->endsWithBackslash || (next && next->readsCaptures);
  nodeIndex_.emplace(key, &node);
  return &node;
}

const Node* Graph::Repeat(const Piece* piece, uint64_t copies, const Node* next,
                          int64_t origin) const {
  return Intern(piece, 0, copies * piece->text.size(), next, origin);
}

const Node* Graph::Flat(std::u16string_view text, int64_t origin, const Node* next) const {
  if (text.empty()) return next != nullptr && next->length != 0 ? next : &empty_;
  return Intern(InternPiece(text), 0, text.size(), next, origin);
}

const Node* Graph::Suffix(const Node* node, uint64_t offset) const {
  while (node != nullptr && node->length != 0 && offset >= node->segment) {
    offset -= node->segment;
    node = node->next;
  }
  if (node == nullptr || node->length == 0) return &empty_;
  if (offset == 0) return node;
  const int64_t origin = node->origin >= 0 ? node->origin + static_cast<int64_t>(offset) : -1;
  return Intern(node->piece, node->phase + offset, node->segment - offset, node->next, origin);
}

std::u16string Graph::Window(const Node* node) const {
  const size_t limit = static_cast<size_t>(std::min<uint64_t>(node->length, kPlanWindow));
  std::u16string window;
  window.reserve(limit);
  for (const Node* n = node; n != nullptr && window.size() < limit; n = n->next) {
    const std::u16string& text = n->piece->text;
    const size_t segment =
        static_cast<size_t>(std::min<uint64_t>(n->segment, limit - window.size()));
    const size_t from = window.size();
    // One period from the phase on, then the copies doubled: a long repetition of a short
    // piece costs a few copies, not one per character.
    window.append(text, n->phase, std::min(segment, text.size() - n->phase));
    if (window.size() - from < segment) {
      window.append(text, 0, std::min(segment - (window.size() - from), size_t{n->phase}));
    }
    while (window.size() - from < segment) {
      const size_t have = window.size() - from;
      window.append(window, from, std::min(have, segment - have));
    }
  }
  return window;
}

const Plan& Graph::MakePlan(const Node* node) const {
  std::lock_guard lock(mutex_);
  if (const Plan* plan = node->plan.load(std::memory_order_relaxed)) return *plan;
  Plan plan;
  try {
    Build(node, plan);
  } catch (const Error& error) {
    plan = Plan();
    plan.kind = PlanKind::kError;
    plan.error = error;
    plan.error->position.reset();  // a place in this text, kept apart in errorAt
    if (error.position) plan.errorAt = static_cast<uint32_t>(*error.position);
  }
  const Plan& made = plans_.emplace_back(std::move(plan));
  node->plan.store(&made, std::memory_order_release);
  return made;
}

void Graph::Build(const Node* node, Plan& plan) const {
  const std::u16string window = Window(node);
  const std::u16string_view text = window;
  if (node->hasBar) {
    if (const size_t bar = FindTopLevelBar(text); bar != std::u16string_view::npos) {
      plan.kind = PlanKind::kAttempts;
      plan.attempts = {Flat(text.substr(0, bar), node->origin), Suffix(node, bar + 1)};
      return;
    }
  }
  std::u16string_view rest = text;
  std::u16string_view quantifier;
  const std::u16string_view atom = GetNextQuarn(rest, quantifier);
  const Node* after = Suffix(node, text.size() - rest.size());
  if (quantifier.empty()) return PlanUnquantified(atom, node->origin, after, plan);
  PlanQuantified(InternPiece(atom), node->origin, quantifier, after, plan);
}

void Graph::PlanQuantified(const Piece* atom, int64_t origin, std::u16string_view quantifier,
                           const Node* rest, Plan& plan) const {
  plan.kind = PlanKind::kAttempts;
  // A star after copies of the atom, then the rest: "*" or, lazy, "*?".
  auto loop = [&](uint64_t copies, bool lazy) {
    const std::u16string_view star = lazy ? u"*?" : u"*";
    return Repeat(atom, copies, Flat(star, -1, rest), origin);
  };
  const bool lazy = quantifier.size() == 2 && quantifier[1] == u'?';
  switch (quantifier[0]) {
    case u'*':
      plan.attempts = lazy ? std::vector{rest, loop(2, true)} : std::vector{loop(2, false), rest};
      plan.loop = OneCharacterLoop(atom, rest, lazy);
      if (plan.loop) plan.kind = PlanKind::kLoop;
      return;
    case u'+':
      plan.attempts = {loop(2, lazy)};
      return;
    case u'?':
      plan.attempts = lazy ? std::vector{rest, Repeat(atom, 1, rest, origin)}
                           : std::vector{Repeat(atom, 1, rest, origin), rest};
      return;
    default:
      break;
  }
  // "x{2,}" is "xxx*"; "x{2,4}" is "xx" + "(x(x" + ")?)?", its lazy form "xx(x(x)??)??".
  BraceCount count;
  try {
    count = ReadBraces(quantifier);
  } catch (Error& error) {
    error.position = atom->text.size();
    throw;
  }
  const std::u16string_view a = atom->text;
  if (count.open) {
    plan.attempts = {loop(uint64_t(count.lower) + 1, count.lazy)};
    return;
  }
  const uint64_t copies = static_cast<uint64_t>(count.upper - count.lower);
  const Piece* open = InternPiece(u"(" + std::u16string(a));
  const Piece* close = InternPiece(count.lazy ? u")??" : u")?");
  plan.attempts = {
      Repeat(atom, count.lower, Repeat(open, copies, Repeat(close, copies, rest)), origin)};
}

// The loop of "X*" or "X*?" when X takes exactly one character: a literal, ".", or a bracket
// expression without the line-break member (which takes two).
std::unique_ptr<Loop> Graph::OneCharacterLoop(const Piece* atom, const Node* rest,
                                              bool lazy) const {
  const std::u16string_view a = atom->text;
  auto loop = std::make_unique<Loop>();
  loop->rest = rest;
  loop->lazy = lazy;
  if (IsBracketExpression(a)) {
    const BracketClass* bracket = Bracket(atom);
    if (bracket->TakesLineBreak()) return nullptr;
    loop->atom.kind = AtomKind::kBracket;
    loop->atom.bracket = bracket;
    return loop;
  }
  // In "XX*R" the second X must not read as a quantifier or an alternation, or the step would
  // not be "take X" at all ("**" raises the nested-quantifier error there).
  const bool escaped = a.size() == 2 && a[0] == u'\\';
  if (!escaped && (a.size() != 1 || GetGroupMarker(a) >= 1 ||
                   u"*+?{|"sv.find(a[0]) != std::u16string_view::npos)) {
    return nullptr;
  }
  try {
    loop->atom = AtomTest::Read(a, ignoreCase_, groupCount_);
  } catch (const Error&) {
    return nullptr;
  }
  if (loop->atom.kind != AtomKind::kLiteral && loop->atom.kind != AtomKind::kDot) return nullptr;
  return loop;
}

const BracketClass* Graph::Bracket(const Piece* atom) const {
  auto [found, added] = bracketIndex_.try_emplace(atom, nullptr);
  if (added) found->second = &brackets_.emplace_back(atom->text, ignoreCase_);
  return found->second;
}

void Graph::PlanGroup(std::u16string_view atom, int64_t origin, const Node* rest,
                      Plan& plan) const {
  plan.kind = PlanKind::kAttempts;
  std::u16string_view inner = atom.substr(1, atom.size() - 2);
  std::u16string_view open;
  std::u16string_view close;
  if (inner.size() >= 2 && GetGroupMarker(inner) >= 1 &&
      GetGroupMarker(inner.substr(inner.size() - 1)) >= 1) {
    open = inner.substr(0, 1);
    close = inner.substr(inner.size() - 1);
    inner = inner.substr(1, inner.size() - 2);
  }
  // Each alternative is tried between the markers and followed by the whole rest; an
  // alternative that cannot be cut raises its error only once those before it have failed.
  try {
    for (bool more = true; more;) {
      std::u16string_view alternative;
      std::u16string_view others;
      more = SplitAlternatives(inner, alternative, others);
      if (!more) alternative = inner;
      std::u16string text(open);
      (text += alternative) += close;
      // The alternative as written, its marker counted as the character before it.
      const int64_t at = origin < 0 ? -1
                                    : origin + (alternative.data() - atom.data()) -
                                          static_cast<int64_t>(open.size());
      plan.attempts.push_back(Flat(text, at, rest));
      inner = others;
    }
  } catch (const Error& error) {
    plan.error = error;
  }
}

void Graph::PlanUnquantified(std::u16string_view atom, int64_t origin, const Node* rest,
                             Plan& plan) const {
  plan.rest = rest;
  const bool closedGroup = atom.starts_with(u'(') && atom.ends_with(u')');
  if (closedGroup && atom.size() >= 4 && (atom.starts_with(u"(?=") || atom.starts_with(u"(?!"))) {
    plan.kind = PlanKind::kLookahead;
    plan.positive = atom[2] == u'=';
    plan.probe = Flat(atom.substr(3, atom.size() - 4), origin >= 0 ? origin + 3 : -1);
    return;
  }
  if (closedGroup) return PlanGroup(atom, origin, rest, plan);
  if (atom.size() == 1 && GetGroupMarker(atom) >= 1) {
    plan.kind = PlanKind::kMarker;
    plan.marker = GetGroupMarker(atom);
    return;
  }
  if (IsBracketExpression(atom)) {
    plan.kind = PlanKind::kBracket;
    plan.atom.kind = AtomKind::kBracket;
    plan.atom.bracket = Bracket(InternPiece(atom));
    return;
  }
  try {
    plan.atom = AtomTest::Read(atom, ignoreCase_, groupCount_);
  } catch (Error& error) {
    error.position = 0;
    throw;
  }
  plan.kind = plan.atom.kind == AtomKind::kLiteral ? PlanKind::kLiteral : PlanKind::kAtom;
}

}  // namespace quarn
