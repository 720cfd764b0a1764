// The search: the start scan with its filter, the depth-first exploration of the pattern
// graph, loops over one character, and remembered failures (see search.h).
#include "search.h"

#include <algorithm>

#include "first.h"
#include "text.h"

namespace quarn {

namespace {

constexpr size_t kMemoSlots = size_t{1} << 21;  // 24 MiB at most
constexpr uint64_t kCheckEvery = 1024;          // steps between looks at the cancel flag

bool LineBreakAt(std::u16string_view s, uint64_t pos) {
  return pos + 1 < s.size() && s[pos] == u'\r' && s[pos + 1] == u'\n';
}

size_t Slot(uint64_t key) {
  key ^= key >> 31;
  key *= 0x9E3779B97F4A7C15ULL;
  return static_cast<size_t>(key >> 20);
}

}  // namespace

void MatchState::FailureMemo::Reset() {
  if (used_ == 0) return;
  std::fill(keys_.begin(), keys_.end(), 0);
  used_ = 0;
}

const uint32_t* MatchState::FailureMemo::Find(uint64_t key) const {
  if (keys_.empty()) return nullptr;
  for (size_t i = Slot(key) & (keys_.size() - 1);; i = (i + 1) & (keys_.size() - 1)) {
    if (keys_[i] == key) return &below_[i];
    if (keys_[i] == 0) return nullptr;
  }
}

void MatchState::FailureMemo::Insert(uint64_t key, uint32_t below) {
  if (keys_.empty()) {
    keys_.assign(size_t{1} << 12, 0);
    below_.assign(keys_.size(), 0);
  }
  if (2 * (used_ + 1) > keys_.size()) {
    if (keys_.size() >= kMemoSlots) return;  // full: forgetting costs time, never exactness
    std::vector<uint64_t> keys(keys_.size() * 2, 0);
    std::vector<uint32_t> below(keys.size(), 0);
    for (size_t i = 0; i < keys_.size(); ++i) {
      if (keys_[i] == 0) continue;
      size_t j = Slot(keys_[i]) & (keys.size() - 1);
      while (keys[j] != 0)
        j = (j + 1) & (keys.size() - 1);
      keys[j] = keys_[i];
      below[j] = below_[i];
    }
    keys_.swap(keys);
    below_.swap(below);
  }
  size_t i = Slot(key) & (keys_.size() - 1);
  while (keys_[i] != 0 && keys_[i] != key)
    i = (i + 1) & (keys_.size() - 1);
  if (keys_[i] == 0) ++used_;
  keys_[i] = key;
  below_[i] = below;
}

SearchOutcome MatchState::Search(const Program& program, std::u16string_view text, uint64_t from,
                                 const SearchLimits& limits) {
  SearchOutcome outcome;
  program_ = &program;
  graph_ = &program.Nodes();
  subject_ = {text, program.IgnoreCase(), program.SingleLine(), program.Multiline()};
  limits_ = limits;
  groupCount_ = program.GroupCount();
  std::fill_n(table_.begin() + 1, groupCount_, Capture());
  trail_.clear();
  memo_.Reset();
  remember_ = limits.rememberAtOnce;
  steps_ = 0;
  closings_ = 0;
  deepest_ = 0;
  error_.reset();
  auto finish = [&](SearchStatus status) {
    outcome.status = status;
    outcome.deepest = deepest_;
    outcome.steps = steps_;
    outcome.error = std::move(error_);
    return outcome;
  };

  if (limits.cancel != nullptr && Interrupted()) return finish(SearchStatus::kError);
  if (text.size() > limits.subjectLength) {
    error_ = SubjectLengthError();
    return finish(SearchStatus::kError);
  }
  const StartFilter& filter = program.Filter();
  const bool skip = filter.Active() && filter.Levels() <= limits.depth;
  for (uint64_t start = from; start <= text.size(); ++start) {
    if (skip) start = filter.Next(text, start);
    if (limits.anchor != Anchor::kNone && start != from) break;
    // Backtracking that does far more steps than there are positions is worth remembering.
    rememberAfter_ = steps_ + 4096 + 16 * (start - from);
    nextCheck_ = NextCheck();
    const SearchStatus status = Explore(graph_->Root(), start);
    if (status == SearchStatus::kNoMatch) continue;
    if (status == SearchStatus::kMatched) {
      outcome.matchStart = start;
      outcome.matchEnd = matchEnd_;
    }
    return finish(status);
  }
  // Only the scan over every start position counts them in 16 bits.
  if (limits.anchor == Anchor::kNone && limits.subjectLength <= kDefaultSubjectLimit &&
      text.size() == kDefaultSubjectLimit) {
    error_ = SubjectLengthError();
    return finish(SearchStatus::kError);
  }
  return finish(SearchStatus::kNoMatch);
}

SearchStatus MatchState::Fail(Error error) {
  error_ = std::move(error);
  return Stop();
}

SearchStatus MatchState::FailAt(Error error, const Node* node, std::optional<uint32_t> offset) {
  if (offset) error.position = program_->PatternPosition(node, *offset);
  return Fail(std::move(error));
}

SearchStatus MatchState::Stop() {
  stack_.Clear();
  return SearchStatus::kError;
}

// The step at which the search next looks at its budget, the cancel flag and whether to
// start remembering failures.
uint64_t MatchState::NextCheck() const {
  uint64_t next = steps_ + kCheckEvery;
  if (!remember_) next = std::min(next, rememberAfter_);
  if (limits_.steps != 0) next = std::min(next, limits_.steps);
  return std::max(next, steps_);
}

bool MatchState::Interrupted() {
  if (limits_.steps != 0 && steps_ > limits_.steps) {
    error_ = StepBudgetError();
    return true;
  }
  if (limits_.cancel != nullptr && limits_.cancel->load(std::memory_order_relaxed)) {
    error_ = CancelledError();
    return true;
  }
  return false;
}

// A literal atom: one character, folded under ignore case as the literal already is.
inline int MatchState::TakeLiteral(char16_t literal, uint64_t pos) const {
  const std::u16string_view s = subject_.text;
  if (pos >= s.size()) return kNoMatch;
  return (subject_.ignoreCase ? LowerCase(s[pos]) : s[pos]) == literal ? 1 : kNoMatch;
}

// The atom of a loop: a literal, a bracket expression or ".".
inline int MatchState::Take(const AtomTest& atom, uint64_t pos) const {
  switch (atom.kind) {
    case AtomKind::kLiteral:
      return TakeLiteral(atom.literal, pos);
    case AtomKind::kBracket:
      return atom.bracket->Match(subject_, pos);
    default:
      return TestAtom(atom, pos);
  }
}

int MatchState::TestAtom(const AtomTest& atom, uint64_t pos) const {
  const std::u16string_view s = subject_.text;
  const bool fold = subject_.ignoreCase;
  switch (atom.kind) {
    case AtomKind::kLiteral:
      return TakeLiteral(atom.literal, pos);
    case AtomKind::kEndOnly:
      return pos == s.size() ? 0 : kNoMatch;
    case AtomKind::kCaret:
      return pos == 0 || (subject_.multiline && pos >= 2 && LineBreakAt(s, pos - 2)) ? 0 : kNoMatch;
    case AtomKind::kDollar:
      if (pos == s.size()) return 0;
      if (subject_.multiline) return LineBreakAt(s, pos) ? 0 : kNoMatch;
      return s.size() - pos == 2 && LineBreakAt(s, pos) ? 0 : kNoMatch;
    case AtomKind::kDot:
      if (pos >= s.size()) return kNoMatch;
      if (subject_.singleLine) return 1;
      // Neither character of a CR LF pair is matched, wherever the match starts.
      if (LineBreakAt(s, pos)) return kNoMatch;
      return s[pos] == u'\n' && pos > 0 && s[pos - 1] == u'\r' ? kNoMatch : 1;
    case AtomKind::kBackReference: {
      const Capture& c = table_[atom.group];
      if (!c.complete) return kNoMatch;
      const int64_t length = std::max<int64_t>(c.end - c.start, 0);
      if (static_cast<uint64_t>(length) > s.size() - pos) return kNoMatch;
      for (int64_t k = 0; k < length; ++k) {
        const char16_t a = s[pos + k];
        const char16_t b = s[c.start + k];
        if (a != b && (!fold || LowerCase(a) != LowerCase(b))) return kNoMatch;
      }
      return static_cast<int>(length);
    }
    case AtomKind::kTextStart:
      return pos == 0 ? 0 : kNoMatch;
    case AtomKind::kTextEnd:
      return pos == s.size() || (s.size() - pos == 2 && LineBreakAt(s, pos)) ? 0 : kNoMatch;
    case AtomKind::kLineBreak:
      return LineBreakAt(s, pos) ? 2 : kNoMatch;
    case AtomKind::kWordBoundary:
    case AtomKind::kNotWordBoundary: {
      const bool before = pos > 0 && IsWordCharacter(s[pos - 1], fold);
      const bool here = pos < s.size() && IsWordCharacter(s[pos], fold);
      const bool boundary = here ? pos == 0 || !before : before;
      return boundary == (atom.kind == AtomKind::kWordBoundary) ? 0 : kNoMatch;
    }
    case AtomKind::kBracket:
      return atom.bracket->Match(subject_, pos);
  }
  return kNoMatch;
}

// A marker opens its group when the group is not open and closes it when it is. A marker
// beyond the pattern's groups (a stray control character) changes a record that nothing
// reads, so it is not kept at all.
void MatchState::PassMarker(int16_t group, uint64_t pos) {
  if (group > groupCount_) return;
  Capture& c = table_[group];
  trail_.push_back({static_cast<uint8_t>(group), c});
  if (!c.opened || c.complete) {
    c.opened = true;
    c.complete = false;
    c.start = static_cast<int64_t>(pos);
  } else {
    c.complete = true;
    c.end = static_cast<int64_t>(pos);
    c.closing = ++closings_;
  }
}

void MatchState::Undo(uint32_t mark) {
  while (trail_.size() > mark) {
    table_[trail_.back().group] = trail_.back().before;
    trail_.pop_back();
  }
}

// The depth-first exploration from one start position, in the order of the rewriting
// matcher. depth is the depth of the text being entered; a step that takes an atom or passes
// a marker has nothing left to try when what follows fails, so it needs no frame, and
// neither does the last attempt of a step (unless failures are being remembered, which
// needs the frame to record). A frame keeps the deepest depth reached below it, so that a
// remembered failure knows how much depth its exploration needs.
SearchStatus MatchState::Explore(const Node* root, uint64_t start) {
  stack_.Clear();
  const uint32_t limit = limits_.depth;
  const Node* target = root;
  uint64_t at = start;
  uint32_t depth = 1;
  uint32_t reached = 0;  // the deepest depth of a step on the path that just ended
  int taken = 0;

enter:
  for (;;) {
    if (target->length == 0) goto succeeded;  // an empty text matches at once, taking no step
    if (depth > limit) return FailDeep();
    if (++steps_ > nextCheck_) {
      if (Interrupted()) return Stop();
      remember_ = remember_ || steps_ > rememberAfter_;
      nextCheck_ = NextCheck();
    }
    const Plan& plan = graph_->PlanOf(target);
    switch (plan.kind) {
      case PlanKind::kLiteral:
        taken = TakeLiteral(plan.atom.literal, at);
        break;
      case PlanKind::kBracket:
        taken = plan.atom.bracket->Match(subject_, at);
        if (taken == kClassError) return FailAt(plan.atom.bracket->Error(), target, 0);
        break;
      case PlanKind::kAtom:
        taken = TestAtom(plan.atom, at);
        break;
      case PlanKind::kMarker:
        PassMarker(plan.marker, at);
        taken = 0;
        break;
      case PlanKind::kError:
        return FailAt(*plan.error, target, plan.errorAt);
      case PlanKind::kAttempts:
      case PlanKind::kLoop:
      case PlanKind::kLookahead:
        if (remember_ && Remembered(target, at, depth, reached)) {
          if (reached > limit) return FailDeep();
          goto failed;
        }
        if (plan.kind == PlanKind::kLoop) {
          const SearchStatus status = EnterLoop(plan, target, at, depth);
          if (status == SearchStatus::kError) return status;
          if (status == SearchStatus::kNoMatch) {
            reached = DropFailedFrame();
            goto failed;
          }
          target = plan.loop->rest;
          continue;
        }
        if (plan.kind == PlanKind::kLookahead) {
          stack_.Push({&plan, target, at, depth, depth, static_cast<uint32_t>(trail_.size()), 0});
          target = plan.probe;
          ++depth;
          continue;
        }
        if (plan.attempts.size() > 1 || remember_ || plan.error) {
          stack_.Push({&plan, target, at, depth, depth, static_cast<uint32_t>(trail_.size()), 1});
        } else if (plan.attempts.empty()) {
          reached = depth;
          goto failed;
        }
        target = plan.attempts[0];
        ++depth;
        continue;
    }
    // An atom or a marker: go on with the rest after what it took.
    if (taken < 0) {
      reached = depth;
      goto failed;
    }
    at += static_cast<uint64_t>(taken);
    target = plan.rest;
    ++depth;
  }

failed:
  // The attempt that the top frame made has failed, having reached depth reached.
  deepest_ = std::max(deepest_, reached);
  for (;;) {
    if (stack_.Empty()) {
      Undo(0);  // the start position failed: the table is as clean as before it
      return SearchStatus::kNoMatch;
    }
    Frame& f = stack_.Back();
    f.deepest = std::max(f.deepest, reached);
    Undo(f.trail);
    const Plan& plan = *f.plan;
    if (plan.kind == PlanKind::kAttempts) {
      if (f.next < plan.attempts.size()) {
        target = plan.attempts[f.next++];
        at = f.pos;
        depth = f.depth + 1;
        if (f.next == plan.attempts.size() && !plan.error && !remember_) PopInto();
        goto enter;
      }
      if (plan.error) return Fail(*plan.error);
    } else if (plan.kind == PlanKind::kLoop) {
      const SearchStatus status = NextInLoop(f, target, at, depth);
      if (status == SearchStatus::kError) return status;
      if (status == SearchStatus::kMatched) goto enter;  // another attempt of the rest
    } else if (f.next == 0 && !plan.positive) {
      f.next = 1;  // the inside of a negative lookahead failed: go on with the rest
      target = plan.rest;
      at = f.pos;
      depth = f.depth + 1;
      if (!remember_) PopInto();
      goto enter;
    }
    reached = DropFailedFrame();  // every attempt of the frame has failed
  }

succeeded:
  // Success returns through every frame up to a lookahead waiting for its inside (whose
  // captures stay) or to the start position. A whole match must end at the end of the text:
  // short of it, the pattern's other paths are tried.
  reached = depth - 1;
  if (limits_.anchor == Anchor::kWhole && at != subject_.text.size() && !stack_.HasProbe()) {
    goto failed;
  }
  deepest_ = std::max(deepest_, reached);
  for (;;) {
    if (stack_.Empty()) {
      matchEnd_ = at;
      return SearchStatus::kMatched;
    }
    Frame& f = stack_.Back();
    f.deepest = std::max(f.deepest, reached);
    if (f.plan->kind == PlanKind::kLookahead && f.next == 0) {
      f.next = 1;
      if (!f.plan->positive) goto failed;  // reached already counts the inside
      target = f.plan->rest;
      at = f.pos;
      depth = f.depth + 1;
      if (!remember_) PopInto();
      goto enter;
    }
    reached = PopFrame().deepest;
  }
}

// Pops the top frame: the frame below it is exact only if the popped one was.
MatchState::Frame MatchState::PopFrame() {
  const Frame top = stack_.Back();
  stack_.Pop();
  if (!stack_.Empty()) stack_.Back().exact = stack_.Back().exact && top.exact;
  return top;
}

// Pops the top frame, all of whose attempts have failed, remembering the failure when that
// is wanted; gives the depth its exploration reached.
uint32_t MatchState::DropFailedFrame() {
  const Frame f = PopFrame();
  if (remember_ && f.exact) {
    if (const std::optional<uint64_t> key = MemoKey(f.node, f.pos)) {
      memo_.Insert(*key, f.deepest - f.depth);
    }
  }
  return f.deepest;
}

// The memo's key of a step: none for nodes whose failure depends on the captures, or for
// positions beyond 32 bits.
std::optional<uint64_t> MatchState::MemoKey(const Node* node, uint64_t pos) {
  if (node->readsCaptures || pos >= (uint64_t{1} << 32)) return std::nullopt;
  return (uint64_t{node->id} << 32) | pos;
}

// Whether node failed at pos before; if so, reached is how deep its exploration went from
// depth, which the caller checks against the depth limit.
bool MatchState::Remembered(const Node* node, uint64_t pos, uint32_t depth,
                            uint32_t& reached) const {
  const std::optional<uint64_t> key = MemoKey(node, pos);
  if (!key) return false;
  const uint32_t* below = memo_.Find(*key);
  if (below == nullptr) return false;
  reached = depth + *below;
  return true;
}

// The depth limit's error, met by a step one level past the limit.
SearchStatus MatchState::FailDeep() {
  deepest_ = std::max(deepest_, limits_.depth + 1);
  return Fail(DepthLimitError());
}

// Drops the top frame, which has nothing left to try but what it is about to enter; the
// frame below keeps the depth it reached.
void MatchState::PopInto() {
  const Frame top = PopFrame();
  if (!stack_.Empty()) stack_.Back().deepest = std::max(stack_.Back().deepest, top.deepest);
}

// Tests a loop's atom at pos as the step at depth would: the depth limit first, then the
// atom, which may raise its bracket's error. True when it took the character.
bool MatchState::LoopTakes(const Loop& loop, uint64_t pos, uint32_t depth, SearchStatus& status) {
  if (depth > limits_.depth) {
    status = FailDeep();
    return false;
  }
  ++steps_;
  const int taken = Take(loop.atom, pos);
  if (taken == kClassError) status = Fail(loop.atom.bracket->Error());
  return taken > 0;
}

// Enters "X*" (greedy) or "X*?" (lazy) at depth. The rewriting would step "X*R" to "XX*R",
// take X and be back at "X*R" two levels deeper, so the j-th repetition stands at depth
// + 2j, and the rest R is tried at depth + 2j + 1. Greedy: take X while it holds, then try R
// from the last position back to the first. Lazy: try R, and take one more X each time it
// fails. The frame's next is the j whose R is being tried. kMatched when R is to be entered
// (at and depth set), kNoMatch when the loop has failed at once, kError on an error.
SearchStatus MatchState::EnterLoop(const Plan& plan, const Node* node, uint64_t& at,
                                   uint32_t& depth) {
  const Loop& loop = *plan.loop;
  stack_.Push({&plan, node, at, depth, depth, static_cast<uint32_t>(trail_.size()), 0});
  Frame& f = stack_.Back();
  if (loop.lazy) return LazyRest(f, at, depth);
  const uint64_t start = at;
  const uint64_t base = depth;
  const uint64_t limit = limits_.depth;
  uint64_t j = 0;
  int taken = 0;
  for (;;) {
    if (base + 2 * j + 1 > limit) return FailDeep();  // "XX*R"
    taken = Take(loop.atom, start + j);
    if (taken <= 0) break;
    if (base + 2 * j + 2 > limit) return FailDeep();  // the next "X*R"
    ++j;
    if ((j & 0xFFFF) == 0 && Interrupted()) return Stop();
  }
  steps_ += 2 * j + 1;
  if (taken == kClassError) return Fail(loop.atom.bracket->Error());
  f.next = static_cast<uint32_t>(j);
  f.deepest = static_cast<uint32_t>(base + 2 * j + 1);
  deepest_ = std::max(deepest_, f.deepest);
  return GreedyRest(f, at, depth);
}

// Tries the rest of a greedy loop at repetition f.next or, where the rest is proven to fail,
// at the repetitions before it.
SearchStatus MatchState::GreedyRest(Frame& f, uint64_t& at, uint32_t& depth) {
  const RestFilter& filter = RestFilterOf(*graph_, *f.plan->loop);
  // Once the rest has failed at the last repetition, giving back characters that it can
  // never begin with is pointless, if that is proven within the depth limit.
  const bool possessive = filter.possessive && f.next > 0 &&
                          f.depth + 2 * (f.next - 1) + filter.levels <= limits_.depth;
  for (;;) {
    if (!RestFails(filter, f, f.pos + f.next, f.depth + 2 * f.next + 1)) {
      at = f.pos + f.next;
      depth = f.depth + 2 * f.next + 1;
      f.possessive = possessive;
      return SearchStatus::kMatched;
    }
    if (f.next == 0 || possessive) {
      if (possessive) f.exact = false;
      return SearchStatus::kNoMatch;
    }
    --f.next;
  }
}

// Tries the rest of a lazy loop at repetition f.next, taking one more character each time
// the rest is proven to fail.
SearchStatus MatchState::LazyRest(Frame& f, uint64_t& at, uint32_t& depth) {
  const RestFilter& filter = RestFilterOf(*graph_, *f.plan->loop);
  for (;;) {
    if (!RestFails(filter, f, f.pos + f.next, f.depth + 2 * f.next + 1)) {
      at = f.pos + f.next;
      depth = f.depth + 2 * f.next + 1;
      return SearchStatus::kMatched;
    }
    if (const SearchStatus status = TakeOneMore(f); status != SearchStatus::kMatched) {
      return status;
    }
  }
}

// A lazy loop whose rest failed at repetition f.next takes one more character: "XX*?R"
// stands where the rest was tried, the next repetition two levels deeper.
SearchStatus MatchState::TakeOneMore(Frame& f) {
  const Loop& loop = *f.plan->loop;
  SearchStatus status = SearchStatus::kMatched;
  if (!LoopTakes(loop, f.pos + f.next, f.depth + 2 * f.next + 1, status)) {
    return status == SearchStatus::kError ? status : SearchStatus::kNoMatch;
  }
  if (f.depth + 2 * f.next + 2 > limits_.depth) return FailDeep();
  ++steps_;
  ++f.next;
  f.deepest = std::max(f.deepest, f.depth + 2 * f.next);
  deepest_ = std::max(deepest_, f.deepest);
  return SearchStatus::kMatched;
}

// Whether the rest of a loop, entered at depth at pos, is proven to fail there: it needs a
// first character that pos does not hold, and its failing exploration stays within the depth
// limit. The depth that exploration reaches goes to the frame; it is exact only without
// assertions among the rest's first steps.
bool MatchState::RestFails(const RestFilter& filter, Frame& f, uint64_t pos, uint32_t depth) {
  if (!filter.proven || pos >= subject_.text.size() || filter.first.Contains(subject_.text[pos])) {
    return false;
  }
  const uint32_t reach = depth + filter.levels - 1;
  if (reach > limits_.depth) return false;
  f.deepest = std::max(f.deepest, reach);
  f.exact = f.exact && filter.exactDepth;
  deepest_ = std::max(deepest_, reach);
  return true;
}

// The rest of a loop failed at repetition f.next: greedy gives back one character, lazy
// takes one more. kMatched when the rest is to be tried again (at, depth set), kNoMatch when
// the loop has failed, kError when taking a character met an error.
SearchStatus MatchState::NextInLoop(Frame& f, const Node*& target, uint64_t& at, uint32_t& depth) {
  const Loop& loop = *f.plan->loop;
  target = loop.rest;
  if (loop.lazy) {
    if (const SearchStatus status = TakeOneMore(f); status != SearchStatus::kMatched) {
      return status;
    }
    return LazyRest(f, at, depth);
  }
  if (f.next == 0 || f.possessive) {
    if (f.possessive) f.exact = false;
    return SearchStatus::kNoMatch;
  }
  --f.next;
  return GreedyRest(f, at, depth);
}

}  // namespace quarn
