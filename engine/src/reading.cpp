// The shared context of the analysis: its own graph, the budget, pattern stretches, and the
// steps that take no character.
#include "reading.h"

#include <algorithm>

namespace quarn {

namespace {

// Texts the analysis may read: enough for every construct of a pattern a few times over,
// and for each brace's copies, while a pattern whose reading multiplies beyond that gives up.
// A text's first reading costs its plan, which reads the text's front, or the whole text (up
// to a window) when a "|" stands in it: those characters are counted too, so that the
// analysis stays linear in the pattern however its texts are cut.
constexpr uint64_t kTextsPerCharacter = 64;
constexpr uint64_t kTextsBase = 65536;
constexpr uint64_t kCharactersPerCharacter = 2048;
constexpr uint64_t kCharactersBase = uint64_t{1} << 25;
constexpr uint64_t kFront = 64;  // what a plan reads of a text without a "|", as a rule

bool TakesCharacter(const AtomTest& atom) {
  switch (atom.kind) {
    case AtomKind::kLiteral:
    case AtomKind::kDot:
    case AtomKind::kLineBreak:
    case AtomKind::kBracket:
      return true;
    default:
      return false;  // assertions, the end, and back references, which may take nothing
  }
}

}  // namespace

Reading::Reading(const Program& program)
    : program_(program),
      internal_(program.Internal()),
      graph_(internal_, program.IgnoreCase(), program.GroupCount()),
      texts_(kTextsBase + kTextsPerCharacter * internal_.size()),
      characters_(kCharactersBase + kCharactersPerCharacter * internal_.size()) {}

const Plan* Reading::Read(const Node* node) {
  const bool planned = node->plan.load(std::memory_order_acquire) != nullptr;
  const uint64_t window = node->hasBar ? Graph::kPlanWindow : kFront;
  const uint64_t looked = planned ? 0 : std::min<uint64_t>(node->length, window);
  if (texts_ == 0 || characters_ < looked) {
    exhausted_ = true;
    return nullptr;
  }
  --texts_;
  characters_ -= looked;
  return &graph_.PlanOf(node);
}

Stretch Reading::Source(size_t from, size_t to) const {
  if (from >= internal_.size()) return {pattern().size(), pattern().size()};
  const size_t start = program_.SourceStart(from);
  if (to <= from) return {start, start};
  to = std::min(to, internal_.size());
  return {start, std::max(start, program_.SourceEnd(to - 1))};
}

std::optional<Stretch> Reading::ItemSource(const Node* node, const Plan& plan) const {
  if (node->origin < 0) return std::nullopt;
  const size_t from = static_cast<size_t>(node->origin);
  const size_t length = plan.atomLength + (plan.quantifier ? plan.quantifier->text.size() : 0);
  return Source(from, from + std::max<size_t>(length, 1));
}

std::vector<const Node*> Reading::Onward(const Plan& plan, bool& consuming) {
  consuming = false;
  switch (plan.kind) {
    case PlanKind::kLiteral:
      consuming = true;
      return {};
    case PlanKind::kBracket:
      consuming = plan.atom.bracket->TakesSome();  // one that never does leads nowhere
      return {};
    case PlanKind::kAtom:
      consuming = TakesCharacter(plan.atom);
      if (consuming) return {};
      return {plan.rest};
    case PlanKind::kMarker:
      return {plan.rest};
    case PlanKind::kLookahead:
      return {plan.probe, plan.rest};
    case PlanKind::kAttempts:
    case PlanKind::kLoop:
      return plan.attempts;
    case PlanKind::kError:
      break;
  }
  return {};
}

bool Reading::Nullable(const Piece* atom) {
  if (const auto known = nullable_.find(atom); known != nullable_.end()) return known->second;
  bool nullable = false;
  std::vector<const Node*> stack = {graph_.Standalone(atom->text, -1)};
  std::unordered_map<const Node*, bool> seen;
  while (!stack.empty() && !nullable) {
    const Node* node = stack.back();
    stack.pop_back();
    if (node->length == 0) {
      nullable = true;
      break;
    }
    if (!seen.emplace(node, true).second) continue;
    const Plan* plan = Read(node);
    if (plan == nullptr) {
      nullable = true;  // unknown: assume the worst
      break;
    }
    bool consuming = false;
    for (const Node* next : Onward(*plan, consuming)) {
      // A lookahead's inside ends where it began: only the rest after it goes on.
      if (plan->kind != PlanKind::kLookahead || next == plan->rest) stack.push_back(next);
    }
  }
  nullable_.emplace(atom, nullable);
  return nullable;
}

}  // namespace quarn
