// The exploration of every reachable text (see explore.h).
#include "explore.h"

#include <algorithm>
#include <unordered_map>

#include "quarn/utf.h"
#include "scanner.h"
#include "text.h"

namespace quarn {

namespace {

// A brace's optional copies: the outermost level, what follows the brace, the quantifier of
// each level ("?" or "??"), the atom, and the node with two levels left.
struct Expansion {
  const Node* outermost;
  const Node* rest;
  std::u16string_view lazy;
  std::u16string atom;
  const Node* twoLevels;
};

// Whether a group atom is a level of at least three of the optional copies of atom:
// "(A" * j + (")" + q) * (j - 1) + ")".
bool IsDeepLevel(std::u16string_view group, std::u16string_view atom, std::u16string_view q) {
  size_t at = 0;
  size_t levels = 0;
  while (group.substr(at, 1) == u"(" && group.substr(at + 1, atom.size()) == atom) {
    at += 1 + atom.size();
    ++levels;
  }
  if (levels < 3) return false;
  for (size_t k = 1; k < levels; ++k) {
    if (group.substr(at, 1) != u")" || group.substr(at + 1, q.size()) != q) return false;
    at += 1 + q.size();
  }
  return group.substr(at) == u")";
}

class Explorer {
 public:
  explicit Explorer(Reading& reading) : r_(reading) {}

  Exploration Run() {
    Visit(r_.graph().Root(), std::nullopt);
    while (!stack_.empty()) {
      const uint32_t v = stack_.back();
      stack_.pop_back();
      Step(v);
      if (r_.Exhausted()) break;
    }
    result_.levelsPerCharacter = LevelsPerCharacter();
    return std::move(result_);
  }

 private:
  struct Vertex {
    const Node* node;
    std::optional<Stretch> anchor;  // the construct as written that the text belongs to
    bool consuming = false;
    std::vector<uint32_t> onward;  // steps at the next level that take no character first
  };

  // The vertex of a node, made (and queued) the first time the node is reached.
  uint32_t Visit(const Node* node, std::optional<Stretch> anchor) {
    if (const auto to = redirect_.find(node); to != redirect_.end()) node = to->second;
    const auto [found, added] = index_.try_emplace(node, static_cast<uint32_t>(vertices_.size()));
    if (added) {
      vertices_.push_back({node, anchor, false, {}});
      if (node->length != 0) stack_.push_back(found->second);
    }
    return found->second;
  }

  void Step(uint32_t v) {
    const Node* node = vertices_[v].node;
    const Plan* plan = r_.Read(node);
    if (plan == nullptr) return;
    // The construct as written: this item's own when it was read, else the one it came from.
    std::optional<Stretch> anchor = vertices_[v].anchor;
    const std::optional<Stretch> own = r_.ItemSource(node, *plan);
    if (own && (plan->atomLength > 0 || !anchor)) anchor = own;
    if (const Node* jump = DeepLevel(node, *plan)) {
      Link(v, Visit(jump, anchor));
      return;
    }
    Collect(node, *plan, anchor);
    RegisterBraces(*plan);
    NoteEmptyLoop(*plan, anchor);
    bool consuming = false;
    const std::vector<const Node*> onward = Reading::Onward(*plan, consuming);
    vertices_[v].consuming = consuming;
    for (const Node* next : onward)
      Link(v, Visit(next, anchor));
    if (consuming) Visit(plan->rest, anchor);
  }

  void Link(uint32_t from, uint32_t to) { vertices_[from].onward.push_back(to); }

  // A fault, shown at the construct: where the error says, to the end of the construct it
  // belongs to when that is known, or the whole construct.
  void Fault(const Error& error, std::optional<Stretch> anchor) {
    Stretch at = anchor.value_or(Stretch{});
    if (error.position) {
      const size_t p = *error.position;
      at = {p, anchor && anchor->start <= p && p < anchor->end ? anchor->end : p + 1};
    }
    // The same fault met again, at the same place or at one the search does not tell.
    std::vector<size_t>& same =
        faultsByText_[std::to_string(error.number) + ' ' + Utf16ToUtf8(error.description)];
    for (const size_t k : same) {
      Exploration::Found& known = result_.faults[k];
      if (known.error.position == error.position || !error.position) return;
      if (!known.error.position) {
        known = {error, at};
        return;
      }
    }
    same.push_back(result_.faults.size());
    result_.faults.push_back({error, at});
  }

  // The faults a search meets at this step: its plan's error, or a bracket's faulty range
  // that some character reaches (a loop over a bracket expression reaches the same bracket
  // as the step of its first copy).
  void Collect(const Node* node, const Plan& plan, std::optional<Stretch> anchor) {
    const Program& program = r_.program();
    switch (plan.kind) {
      case PlanKind::kError: {
        Error error = *plan.error;
        if (plan.errorAt) error.position = program.PatternPosition(node, *plan.errorAt);
        Fault(error, anchor);
        break;
      }
      case PlanKind::kBracket:
        if (plan.atom.bracket->ErrorReachable()) {
          Error error = plan.atom.bracket->Error();
          error.position = program.PatternPosition(node, 0);
          Fault(error, anchor);
        }
        break;
      case PlanKind::kAttempts:
        if (plan.error) Fault(*plan.error, anchor);
        break;
      default:
        break;
    }
  }

  // The copies of a brace: jumps over the middle of each run (see explore.h).
  void RegisterBraces(const Plan& plan) {
    if (plan.kind != PlanKind::kAttempts || plan.quantifier == nullptr ||
        plan.quantifier->text[0] != u'{' || plan.attempts.empty()) {
      return;
    }
    const BraceCount count = ReadBraces(plan.quantifier->text);
    const Graph& graph = r_.graph();
    const Piece* atom = plan.atomPiece;
    const uint64_t size = atom->text.size();
    const Node* first = plan.attempts[0];
    const uint64_t copies = count.open ? uint64_t(count.lower) + 1 : uint64_t(count.lower);
    if (copies >= 4) {
      redirect_.emplace(graph.After(first, size), graph.After(first, (copies - 2) * size));
      skipped_.push_back(atom);
    }
    const uint64_t levels = count.open ? 0 : uint64_t(count.upper - count.lower);
    if (levels < 3) return;
    const std::u16string_view lazy = count.lazy ? u"??" : u"?";
    const Piece* open = graph.PieceOf(u"(" + atom->text);
    const Piece* close = graph.PieceOf(u")" + std::u16string(lazy));
    expansions_.push_back({graph.After(first, copies * size), plan.rest, lazy, atom->text,
                           graph.Copies(open, 2, graph.Copies(close, 2, plan.rest))});
    skipped_.push_back(atom);
  }

  // A deeper level of a brace's optional copies, to be read as the level with two left.
  const Node* DeepLevel(const Node* node, const Plan& plan) const {
    if (plan.kind != PlanKind::kAttempts || plan.quantifier == nullptr ||
        plan.atomPiece == nullptr) {
      return nullptr;
    }
    for (const Expansion& e : expansions_) {
      if (node != e.outermost && plan.rest == e.rest && plan.quantifier->text == e.lazy &&
          IsDeepLevel(plan.atomPiece->text, e.atom, e.lazy)) {
        return e.twoLevels;
      }
    }
    return nullptr;
  }

  // A loop ("*", "+", "{n,}") whose atom can match nothing repeats it at one place until the
  // depth limit ends the search.
  void NoteEmptyLoop(const Plan& plan, std::optional<Stretch> anchor) {
    if (plan.quantifier == nullptr || plan.atomPiece == nullptr || !anchor) return;
    const std::u16string_view q = plan.quantifier->text;
    const bool loop = q[0] == u'*' || q[0] == u'+' || (q[0] == u'{' && q.find(u",}") != q.npos);
    // A one-character loop (kLoop) always takes a character.
    if (!loop || plan.kind != PlanKind::kAttempts) return;
    if (!r_.Nullable(plan.atomPiece)) return;
    for (const Stretch& known : result_.emptyLoops) {
      if (known.start == anchor->start && known.end == anchor->end) return;
    }
    result_.emptyLoops.push_back(*anchor);
  }

  // The longest run of steps that take no character, over every text explored; none when a
  // run can go round for ever, or when the jumps over copies skipped atoms that take nothing.
  std::optional<uint32_t> LevelsPerCharacter() {
    if (r_.Exhausted()) return std::nullopt;
    for (const Piece* atom : skipped_) {
      if (r_.Nullable(atom)) return std::nullopt;
    }
    enum : uint8_t { kNew, kOpen, kDone };
    std::vector<uint8_t> state(vertices_.size(), kNew);
    std::vector<uint32_t> longest(vertices_.size(), 0);
    uint32_t most = 0;
    std::vector<std::pair<uint32_t, size_t>> path;  // vertex, next onward step to look at
    for (uint32_t root = 0; root < vertices_.size(); ++root) {
      if (state[root] != kNew) continue;
      path.push_back({root, 0});
      state[root] = kOpen;
      while (!path.empty()) {
        auto& [v, next] = path.back();
        const Vertex& vertex = vertices_[v];
        if (next < vertex.onward.size()) {
          const uint32_t w = vertex.onward[next++];
          if (state[w] == kOpen) return std::nullopt;  // a round without taking a character
          if (state[w] == kNew) {
            state[w] = kOpen;
            path.push_back({w, 0});
          }
          continue;
        }
        uint32_t below = 0;
        for (const uint32_t w : vertex.onward)
          below = std::max(below, longest[w]);
        longest[v] = vertex.consuming || vertex.node->length == 0 ? 0 : below + 1;
        most = std::max(most, longest[v]);
        state[v] = kDone;
        path.pop_back();
      }
    }
    return most;
  }

  Reading& r_;
  Exploration result_;
  std::vector<Vertex> vertices_;
  std::unordered_map<const Node*, uint32_t> index_;
  std::vector<uint32_t> stack_;
  std::unordered_map<const Node*, const Node*> redirect_;
  std::vector<Expansion> expansions_;
  std::vector<const Piece*> skipped_;
  std::unordered_map<std::string, std::vector<size_t>> faultsByText_;  // number and text
};

}  // namespace

Exploration Explore(Reading& reading) {
  return Explorer(reading).Run();
}

}  // namespace quarn
