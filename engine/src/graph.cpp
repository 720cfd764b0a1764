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

// The bit of the group that a backslash before c refers to, or 0.
uint32_t ReferenceBit(char16_t c) {
  return c >= u'1' && c <= u'9' ? uint32_t{1} << (c - u'0') : 0;
}

// The groups that back references in a stretch of a periodic piece (and a backslash at its
// end, pairing with what follows) may read.
uint32_t ReferencedGroups(const Piece& piece, uint64_t phase, uint64_t segment, const Node* next) {
  const size_t period = piece.text.size();
  uint32_t groups = 0;
  for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
    if (Covers(piece.references[digit - u'0'], period, phase, segment)) {
      groups |= ReferenceBit(digit);
    }
  }
  // A copy that ends in a backslash is followed by the next copy, or by the next text.
  if (piece.endsWithBackslash && phase + segment > period) groups |= ReferenceBit(piece.text[0]);
  if (next != nullptr && piece.text[(phase + segment - 1) % period] == u'\\') {
    groups |= ReferenceBit(next->piece->text[next->phase]);
  }
  return groups;
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
  if (node->origin < 0 || offset >= node->segment) return std::nullopt;
  const uint64_t period = node->piece->text.size();
  return static_cast<size_t>(node->origin - node->phase + (node->phase + offset) % period);
}

const Piece* Graph::InternPiece(std::u16string_view text) const {
  if (const auto found = pieceIndex_.find(text); found != pieceIndex_.end()) return found->second;
  Piece& piece = pieces_.emplace_back();
  piece.text.assign(text);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'|') piece.bars.push_back(static_cast<uint32_t>(i));
    if (text[i] == u'\\' && i + 1 < text.size() && ReferenceBit(text[i + 1]) != 0) {
      piece.references[text[i + 1] - u'0'].push_back(static_cast<uint32_t>(i));
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
  node.references = ReferencedGroups(*piece, node.phase, segment, next) |
                    (next != nullptr ? next->references : 0);
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

// The node of a stretch of node's text, followed by next: text views the stretch in a copy
// of the text that begins at start. A stretch of the first segment takes no copy.
const Node* Graph::Slice(const Node* node, std::u16string_view text, const char16_t* start,
                         const Node* next) const {
  const uint64_t offset = static_cast<uint64_t>(text.data() - start);
  const int64_t origin = node->origin >= 0 ? node->origin + static_cast<int64_t>(offset) : -1;
  if (text.empty()) return next != nullptr && next->length != 0 ? next : &empty_;
  if (offset + text.size() > node->segment) return Flat(text, origin, next);
  return Intern(node->piece, node->phase + offset, text.size(), next, origin);
}

const Node* Graph::Suffix(const Node* node, uint64_t offset) const {
  while (node != nullptr && node->length != 0 && offset >= node->segment) {
    offset -= node->segment;
    node = node->next;
  }
  if (node == nullptr || node->length == 0) return &empty_;
  if (offset == 0) return node;
  // A later copy of a repeated piece stands for the same characters as the first.
  const uint64_t period = node->piece->text.size();
  const int64_t origin =
      node->origin >= 0
          ? node->origin - node->phase + static_cast<int64_t>((node->phase + offset) % period)
          : -1;
  return Intern(node->piece, node->phase + offset, node->segment - offset, node->next, origin);
}

const Piece* Graph::PieceOf(std::u16string_view text) const {
  std::lock_guard lock(mutex_);
  return InternPiece(text);
}

const Node* Graph::Copies(const Piece* piece, uint64_t copies, const Node* next,
                          int64_t origin) const {
  std::lock_guard lock(mutex_);
  return Repeat(piece, copies, next, origin);
}

const Node* Graph::After(const Node* node, uint64_t offset) const {
  std::lock_guard lock(mutex_);
  return Suffix(node, offset);
}

const Node* Graph::Standalone(std::u16string_view text, int64_t origin) const {
  std::lock_guard lock(mutex_);
  return Flat(text, origin);
}

std::u16string Graph::Window(const Node* node, uint64_t from, size_t limit) const {
  std::u16string window;
  if (from >= node->length) return window;
  const size_t count = static_cast<size_t>(std::min<uint64_t>(node->length - from, limit));
  window.reserve(count);
  const Node* n = node;
  for (; from >= n->segment; n = n->next)
    from -= n->segment;
  for (; n != nullptr && window.size() < count; n = n->next, from = 0) {
    const std::u16string& text = n->piece->text;
    const size_t start = static_cast<size_t>((n->phase + from) % text.size());
    const size_t segment =
        static_cast<size_t>(std::min<uint64_t>(n->segment - from, count - window.size()));
    const size_t begin = window.size();
    // One period from the start on, then the copies doubled: a long repetition of a short
    // piece costs a few copies, not one per character.
    window.append(text, start, std::min(segment, text.size() - start));
    if (window.size() - begin < segment) {
      window.append(text, 0, std::min(segment - (window.size() - begin), start));
    }
    while (window.size() - begin < segment) {
      const size_t have = window.size() - begin;
      window.append(window, begin, std::min(have, segment - have));
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
    Plan read;  // what was read before the error
    read.atomLength = plan.atomLength;
    read.quantifier = plan.quantifier;
    plan = std::move(read);
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
  if (!node->hasBar && BuildFromFront(node, plan)) return;
  const std::u16string window = Window(node);
  const std::u16string_view text = window;
  if (node->hasBar) {
    if (const size_t bar = FindTopLevelBar(text); bar != std::u16string_view::npos) {
      plan.kind = PlanKind::kAttempts;
      plan.split = true;
      plan.attempts = {Slice(node, text.substr(0, bar), text.data(), nullptr),
                       Suffix(node, bar + 1)};
      return;
    }
  }
  std::u16string_view rest = text;
  std::u16string_view quantifier;
  const std::u16string_view atom = GetNextQuarn(rest, quantifier);
  PlanAtom(node, atom, quantifier, plan);
}

// Plans a text without a "|" from its first characters, when they decide the step: the atom
// (a group whose close its piece's table knows, or another atom within the first few
// characters) and the quantifier, which the three characters after the atom decide unless
// a brace stands among them (a "{" is a quantifier when a "}" follows anywhere after it).
bool Graph::BuildFromFront(const Node* node, Plan& plan) const {
  constexpr size_t kFront = 64;
  std::u16string front;
  std::u16string_view atom;
  if (node->piece->text[node->phase] == u'(') {
    const std::optional<std::u16string_view> group = LeadingGroup(node);
    if (!group) return false;
    atom = *group;
  } else {
    front = Window(node, 0, kFront);
    std::u16string_view cut = front;
    atom = CutAtom(cut);
    // A bracket expression that does not close within the front may close after it.
    if (atom.empty() || (atom.size() == front.size() && front.size() < node->length)) {
      return false;
    }
  }
  const std::u16string after = Window(node, atom.size(), 3);
  if (atom.size() + after.size() < node->length && after.find(u'{') != std::u16string::npos) {
    return false;
  }
  std::u16string_view rest = after;
  const std::u16string_view quantifier = CutQuantifier(rest, atom.size());
  PlanAtom(node, atom, quantifier, plan);
  return true;
}

// The group at the front of node's text, when its piece's table knows that it closes within
// the node's first segment, and within the finder's 16-bit reach.
std::optional<std::u16string_view> Graph::LeadingGroup(const Node* node) const {
  const Piece& piece = *node->piece;
  if (!piece.groups) piece.groups = std::make_unique<GroupEnds>(piece.text);
  const std::optional<size_t> close = piece.groups->Close(node->phase);
  if (!close || *close - node->phase >= node->segment || *close - node->phase >= INT16_MAX) {
    return std::nullopt;
  }
  return std::u16string_view(piece.text).substr(node->phase, *close - node->phase + 1);
}

// The plan of a text whose first atom and quantifier are cut: the step on the atom, followed
// by the text after both.
void Graph::PlanAtom(const Node* node, std::u16string_view atom, std::u16string_view quantifier,
                     Plan& plan) const {
  const Node* after = Suffix(node, atom.size() + quantifier.size());
  plan.atomLength = static_cast<uint32_t>(atom.size());
  if (quantifier.empty()) return PlanUnquantified(node, atom, after, plan);
  plan.quantifier = InternPiece(quantifier);
  plan.atomPiece = InternPiece(atom);
  plan.rest = after;
  PlanQuantified(plan.atomPiece, node->origin, quantifier, after, plan);
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

void Graph::PlanGroup(const Node* node, std::u16string_view atom, const Node* rest,
                      Plan& plan) const {
  plan.kind = PlanKind::kAttempts;
  const int64_t origin = node->origin;
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
      // The alternative as written, its marker counted as the character before it.
      const int64_t at = origin < 0 ? -1
                                    : origin + (alternative.data() - atom.data()) -
                                          static_cast<int64_t>(open.size());
      if (open.empty() || alternative.size() + 2 == atom.size() - 2) {
        // The alternative stands between the markers in the text itself.
        const std::u16string_view between(alternative.data() - open.size(),
                                          alternative.size() + open.size() + close.size());
        plan.attempts.push_back(Slice(node, between, atom.data(), rest));
      } else {
        std::u16string text(open);
        (text += alternative) += close;
        plan.attempts.push_back(Flat(text, at, rest));
      }
      inner = others;
    }
  } catch (const Error& error) {
    plan.error = error;
  }
}

void Graph::PlanUnquantified(const Node* node, std::u16string_view atom, const Node* rest,
                             Plan& plan) const {
  plan.rest = rest;
  const bool closedGroup = atom.starts_with(u'(') && atom.ends_with(u')');
  if (closedGroup && atom.size() >= 4 && (atom.starts_with(u"(?=") || atom.starts_with(u"(?!"))) {
    plan.kind = PlanKind::kLookahead;
    plan.positive = atom[2] == u'=';
    plan.probe = Slice(node, atom.substr(3, atom.size() - 4), atom.data(), nullptr);
    return;
  }
  if (closedGroup) return PlanGroup(node, atom, rest, plan);
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
