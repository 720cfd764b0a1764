// The search: the start scan with its filter, the depth-first exploration of the pattern
// graph, loops over one character, and remembered failures (see search.h).
#include "search.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "analysis.h"
#include "first.h"
#include "text.h"

namespace quarn {

namespace {

constexpr size_t kMemoSlots = size_t{1} << 21;  // 32 MiB at most
constexpr uint64_t kCheckEvery = 1024;          // steps between looks at the cancel flag

template <typename Unit>
bool LineBreakAt(Units<Unit> s, uint64_t pos) {
  return pos + 1 < s.size() && s[pos] == u'\r' && s[pos + 1] == u'\n';
}

constexpr uint32_t kCaptureIndexMask = (uint32_t{1} << 28) - 1;
constexpr size_t kMaxCaptureWords = size_t{1} << 21;  // 16 MiB at most

uint64_t Hash(const uint64_t* words, size_t size) {
  uint64_t h = words[0];
  for (size_t i = 1; i < size; ++i)
    h = (h ^ (h >> 29)) * 0xBF58476D1CE4E5B9ULL ^ words[i];
  return h;
}

size_t Spread(uint64_t key) {
  key ^= key >> 31;
  key *= 0x9E3779B97F4A7C15ULL;
  return static_cast<size_t>(key >> 20);
}

// A capture as a later step can tell it: a back reference reads a complete group's span, and
// a marker closes an open group at the place where it opened. Positions below 2^32 - 1 fit.
uint64_t CaptureWord(const Capture& c) {
  if (!c.opened) return 0;
  const uint64_t start = static_cast<uint64_t>(c.start) + 1;
  return c.complete ? start | (static_cast<uint64_t>(c.end) + 1) << 32 : start;
}

}  // namespace

void MatchState::FailureMemo::Reset() {
  if (used_ == 0) return;
  std::fill(slots_.begin(), slots_.end(), Slot());
  captures_.clear();
  used_ = 0;
}

// Keys with the same first word have the same length, since the node decides which groups
// follow.
inline bool MatchState::FailureMemo::Same(const Slot& slot, const MemoKey& key) const {
  if (slot.first != key.words[0]) return false;
  const uint64_t* words = captures_.data() + (slot.captures & kCaptureIndexMask);
  return key.size == 1 || std::equal(key.words.begin() + 1, key.words.begin() + key.size, words);
}

// The slot that holds key, or the empty one where it would go.
inline size_t MatchState::FailureMemo::Locate(const std::vector<Slot>& slots,
                                              const MemoKey& key) const {
  const size_t mask = slots.size() - 1;
  for (size_t i = Spread(Hash(key.words.data(), key.size)) & mask;; i = (i + 1) & mask) {
    if (Same(slots[i], key) || slots[i].first == 0) return i;
  }
}

size_t MatchState::FailureMemo::HeldBytes() const {
  return slots_.capacity() * sizeof(Slot) + captures_.capacity() * sizeof(uint64_t);
}

void MatchState::FailureMemo::Release() {
  std::vector<Slot>().swap(slots_);
  std::vector<uint64_t>().swap(captures_);
  used_ = 0;
}

const uint32_t* MatchState::FailureMemo::Find(const MemoKey& key) const {
  if (slots_.empty()) return nullptr;
  const Slot& slot = slots_[Locate(slots_, key)];
  return slot.first != 0 ? &slot.below : nullptr;
}

void MatchState::FailureMemo::Insert(const MemoKey& key, uint32_t below) {
  if (slots_.empty()) slots_.resize(size_t{1} << 12);
  if (2 * (used_ + 1) > slots_.size()) {
    if (slots_.size() >= kMemoSlots) return;  // full: forgetting costs time, never exactness
    std::vector<Slot> slots(slots_.size() * 2);
    MemoKey moved;
    for (const Slot& slot : slots_) {
      if (slot.first == 0) continue;
      moved.words[0] = slot.first;
      moved.size = 1 + (slot.captures >> 28);
      std::copy_n(captures_.begin() + (slot.captures & kCaptureIndexMask), moved.size - 1,
                  moved.words.begin() + 1);
      slots[Locate(slots, moved)] = slot;
    }
    slots_.swap(slots);
  }
  Slot& slot = slots_[Locate(slots_, key)];
  if (slot.first == 0) {
    if (captures_.size() + key.size > kMaxCaptureWords) return;  // full, as above
    ++used_;
    slot.first = key.words[0];
    slot.captures = static_cast<uint32_t>((key.size - 1) << 28 | captures_.size());
    captures_.insert(captures_.end(), key.words.begin() + 1, key.words.begin() + key.size);
  }
  slot.below = below;
}

SearchOutcome MatchState::Search(const Program& program, std::u16string_view text, uint64_t from,
                                 const SearchLimits& limits) {
  SearchOutcome outcome = Run<char16_t>(program, text, from, limits);
  GiveBackScratch();
  return outcome;
}

SearchOutcome MatchState::Search(const Program& program, Units<uint8_t> text, uint64_t from,
                                 const SearchLimits& limits) {
  SearchOutcome outcome = Run<uint8_t>(program, text, from, limits);
  GiveBackScratch();
  return outcome;
}

size_t MatchState::HeldBytes() const {
  return stack_.HeldBytes() + trail_.capacity() * sizeof(Change) + memo_.HeldBytes();
}

void MatchState::GiveBackScratch() {
  if (HeldBytes() <= kKeptScratch) return;
  stack_.Release();
  std::vector<Change>().swap(trail_);
  memo_.Release();
}

// The step at which the search next looks at its budget, the cancel flag and whether to
// start remembering failures.
inline uint64_t MatchState::NextCheck() const {
  uint64_t next = steps_ + kCheckEvery;
  if (!remember_) next = std::min(next, rememberAfter_);
  if (limits_.steps != 0) next = std::min(next, limits_.steps);
  return std::max(next, steps_);
}

// The last position of the run of atom that begins at pos, or pos when there is none: the
// start scan goes on from the run's end. Kept out of the scan, which most patterns need alone.
template <typename Unit>
uint64_t MatchState::LastOfRun(const AtomTest& atom, uint64_t pos) const {
  uint64_t end = pos;
  while (Take<Unit>(atom, end) == 1)
    ++end;
  return end > pos ? end - 1 : pos;
}

template <typename Unit>
SearchOutcome MatchState::Run(const Program& program, Units<Unit> text, uint64_t from,
                              const SearchLimits& limits) {
  program_ = &program;
  graph_ = &program.Nodes();
  // Set field by field: copying a whole Subject built on the stack stalls on its byte fields.
  Subject<Unit>& subject = SubjectOf<Unit>();
  subject.text = text;
  subject.ignoreCase = program.IgnoreCase();
  subject.singleLine = program.SingleLine();
  subject.multiline = program.Multiline();
  limits_ = limits;
  groupCount_ = program.GroupCount();
  groupBits_ = (uint32_t{2} << std::min<int16_t>(groupCount_, 30)) - 2;
  memoFits_ = text.size() < UINT32_MAX;
  std::fill_n(table_.begin() + 1, groupCount_, Capture());
  trail_.clear();
  memo_.Reset();
  remember_ = limits.rememberAtOnce;
  steps_ = 0;
  closings_ = 0;
  deepest_ = 0;
  error_.reset();
  // Made in one go, field by field: an outcome made first and filled in later is zeroed whole.
  auto finish = [&](SearchStatus status, uint64_t matchStart = 0, uint64_t matchEnd = 0) {
    program.NoteSteps(steps_);
    return SearchOutcome{status, matchStart, matchEnd, std::move(error_), deepest_, steps_};
  };

  if (limits.cancel != nullptr && Interrupted()) return finish(SearchStatus::kError);
  if (text.size() > limits.subjectLength) {
    error_ = SubjectLengthError();
    return finish(SearchStatus::kError);
  }
  // A subject that the pattern's facts prove cannot match is answered at once; the facts only
  // speak for subjects short enough that the depth limit cannot be reached, which a depth
  // limit of this size bounds first.
  const PatternFacts* facts = program.FactsWorthUsing(limits.steps != 0);
  if (facts && from <= text.size() && text.size() - from <= limits.depth &&
      CannotMatch(*facts, text, from, limits.depth, limits.subjectLength)) {
    return finish(SearchStatus::kNoMatch);
  }
  // Starts that cannot begin a match are passed over where no search from them can reach the
  // depth limit (the facts are proven free of faults).
  StartSkip byFacts(facts);
  // The skip applies to starts at most this far from the end (0: none).
  uint64_t skipFrom = 0;
  if (byFacts.Active()) skipFrom = facts->depthSafeLength(limits.depth).value_or(0);
  const StartFilter& filter = program.Filter();
  const bool skip = filter.Active() && filter.Levels() <= limits.depth;
  const AtomTest* run = program.LeadingRun();
  for (uint64_t start = from; start <= text.size(); ++start) {
    if (text.size() - start < skipFrom) [[unlikely]] {
      start = byFacts.Next(text, start);
      if (start > text.size()) break;
    }
    if (skip) {
      start = filter.Next(text, start);
      if (start == text.size() && !filter.AdmitsEnd()) break;
    }
    if (limits.anchor != Anchor::kNone && start != from) break;
    // Backtracking that does far more steps than there are positions is worth remembering.
    rememberAfter_ = steps_ + 4096 + 16 * (start - from);
    nextCheck_ = NextCheck();
    const SearchStatus status = Explore<Unit>(graph_->Root(), start);
    if (status == SearchStatus::kNoMatch) {
      if (run != nullptr) [[unlikely]]
        start = LastOfRun<Unit>(*run, start);
      continue;
    }
    if (status == SearchStatus::kMatched) return finish(status, start, matchEnd_);
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
template <typename Unit>
inline int MatchState::TakeLiteral(char16_t literal, uint64_t pos) const {
  const Subject<Unit>& subject = SubjectOf<Unit>();
  const Units<Unit> s = subject.text;
  if (pos >= s.size()) return kNoMatch;
  return (subject.ignoreCase ? LowerCase(s[pos]) : s[pos]) == literal ? 1 : kNoMatch;
}

// The atom of a loop: a literal, a bracket expression or ".", the common cases inline.
template <typename Unit>
inline int MatchState::Take(const AtomTest& atom, uint64_t pos) const {
  switch (atom.kind) {
    case AtomKind::kLiteral:
      return TakeLiteral<Unit>(atom.literal, pos);
    case AtomKind::kBracket:
      return atom.bracket->Match(SubjectOf<Unit>(), pos);
    case AtomKind::kDot: {
      // Characters above CR are never part of a line break: "." takes them in any mode.
      const Units<Unit> s = SubjectOf<Unit>().text;
      if (pos < s.size() && s[pos] > u'\r') return 1;
      return TestAtom<Unit>(atom, pos);
    }
    default:
      return TestAtom<Unit>(atom, pos);
  }
}

template <typename Unit>
int MatchState::TestAtom(const AtomTest& atom, uint64_t pos) const {
  const Subject<Unit>& subject = SubjectOf<Unit>();
  const Units<Unit> s = subject.text;
  const bool fold = subject.ignoreCase;
  switch (atom.kind) {
    case AtomKind::kLiteral:
      return TakeLiteral<Unit>(atom.literal, pos);
    case AtomKind::kEndOnly:
      return pos == s.size() ? 0 : kNoMatch;
    case AtomKind::kCaret:
      return pos == 0 || (subject.multiline && pos >= 2 && LineBreakAt(s, pos - 2)) ? 0 : kNoMatch;
    case AtomKind::kDollar:
      if (pos == s.size()) return 0;
      if (subject.multiline) return LineBreakAt(s, pos) ? 0 : kNoMatch;
      return s.size() - pos == 2 && LineBreakAt(s, pos) ? 0 : kNoMatch;
    case AtomKind::kDot:
      if (pos >= s.size()) return kNoMatch;
      if (subject.singleLine) return 1;
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
      return atom.bracket->Match(subject, pos);
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
template <typename Unit>
SearchStatus MatchState::Explore(const Node* root, uint64_t start) {
  stack_.Clear();
  const uint32_t limit = limits_.depth;
  const Node* target = root;
  uint64_t at = start;
  uint32_t depth = 1;
  uint32_t reached = 0;         // the deepest depth of a step on the path that just ended
  const Plan* known = nullptr;  // the plan of target, when the step before found it

enter:
  for (;;) {
    if (known == nullptr) {
      if (target->length == 0) goto succeeded;  // an empty text matches at once, taking no step
      known = &graph_->PlanOf(target);
    }
    const Plan& plan = *std::exchange(known, nullptr);
    if (depth > limit) return FailDeep();
    if (++steps_ > nextCheck_) {
      if (Interrupted()) return Stop();
      remember_ = remember_ || steps_ > rememberAfter_;
      nextCheck_ = NextCheck();
    }
    int taken = 0;  // by an atom: its length, or kNoMatch
    switch (plan.kind) {
      case PlanKind::kLiteral:
        taken = TakeLiteral<Unit>(plan.atom.literal, at);
        break;
      case PlanKind::kBracket:
        taken = plan.atom.bracket->Match(SubjectOf<Unit>(), at);
        if (taken == kClassError) return FailAt(plan.atom.bracket->Error(), target, 0);
        break;
      case PlanKind::kAtom:
        taken = TestAtom<Unit>(plan.atom, at);
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
          const SearchStatus status = EnterLoop<Unit>(plan, target, at, depth);
          if (status == SearchStatus::kError) return status;
          if (status == SearchStatus::kNoMatch) {
            reached = DropFailedFrame();
            goto failed;
          }
          at = RestAt(stack_.Back());
          depth = RestDepth(stack_.Back());
          target = plan.loop->rest;
          known = graph_->PlanAfter(plan, target);
          continue;
        }
        if (plan.kind == PlanKind::kLookahead) {
          stack_.Push({&plan, target, at, depth, depth, static_cast<uint32_t>(trail_.size()), 0});
          stack_.Back().probing = true;
          target = plan.probe;
          known = graph_->PlanAfter(plan, target);
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
        known = graph_->PlanAfter(plan, target);
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
    known = graph_->PlanAfter(plan, target);
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
      const SearchStatus status = NextInLoop<Unit>(f);
      if (status == SearchStatus::kError) return status;
      if (status == SearchStatus::kMatched) {  // another attempt of the rest
        target = plan.loop->rest;
        known = graph_->PlanAfter(plan, target);
        at = RestAt(f);
        depth = RestDepth(f);
        goto enter;
      }
    } else if (f.probing && !plan.positive) {
      f.probing = false;  // the inside of a negative lookahead failed: go on with the rest
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
  if (limits_.anchor == Anchor::kWhole && at != SubjectOf<Unit>().text.size() &&
      !stack_.HasProbe()) {
    goto failed;
  }
  deepest_ = std::max(deepest_, reached);
  // With no lookahead waiting, the frames have nothing left to do: every depth they reached
  // is in deepest_ already.
  if (!stack_.HasProbe()) stack_.Clear();
  for (;;) {
    if (stack_.Empty()) {
      matchEnd_ = at;
      return SearchStatus::kMatched;
    }
    Frame& f = stack_.Back();
    f.deepest = std::max(f.deepest, reached);
    if (f.probing) {
      f.probing = false;
      if (!f.plan->positive) goto failed;  // reached already counts the inside
      target = f.plan->rest;
      at = f.pos;
      depth = f.depth + 1;
      if (!remember_) PopInto();
      goto enter;
    }
    reached = PopFrame();
  }
}

// Pops the top frame and gives the deepest depth it reached: the frame below it is exact
// only if the popped one was. Fields are read one by one: the frame was just written so.
uint32_t MatchState::PopFrame() {
  const Frame& top = stack_.Back();
  const uint32_t deepest = top.deepest;
  const bool exact = top.exact;
  stack_.Pop();
  if (!exact && !stack_.Empty()) stack_.Back().exact = false;
  return deepest;
}

// Pops the top frame, all of whose attempts have failed, remembering the failure when that
// is wanted; gives the depth its exploration reached. The table is as the step found it.
uint32_t MatchState::DropFailedFrame() {
  const Frame& f = stack_.Back();
  MemoKey key;
  if (remember_ && f.exact && KeyOf(f.node, f.pos, f.inProbe, key)) {
    memo_.Insert(key, f.deepest - f.depth);
  }
  return PopFrame();
}

// The memo's key of a step at pos with the table as it stands, inside a lookahead or not;
// none when a position may not fit it.
bool MatchState::KeyOf(const Node* node, uint64_t pos, bool inProbe, MemoKey& key) const {
  if (!memoFits_ || node->id >= uint32_t{1} << 31) return false;
  const bool probing = inProbe && limits_.anchor == Anchor::kWhole;
  key.words[0] = uint64_t{node->id} << 33 | uint64_t{probing} << 32 | pos;
  key.size = 1;
  for (uint32_t groups = node->references & groupBits_; groups != 0; groups &= groups - 1) {
    key.words[key.size++] = CaptureWord(table_[std::countr_zero(groups)]);
  }
  return true;
}

// Whether node failed at pos before, with the captures it can read as they are now; if so,
// reached is how deep its exploration went from depth, which the caller checks against the
// depth limit.
bool MatchState::Remembered(const Node* node, uint64_t pos, uint32_t depth,
                            uint32_t& reached) const {
  MemoKey key;
  if (!KeyOf(node, pos, stack_.HasProbe(), key)) return false;
  const uint32_t* below = memo_.Find(key);
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
  const uint32_t deepest = PopFrame();
  if (!stack_.Empty()) stack_.Back().deepest = std::max(stack_.Back().deepest, deepest);
}

// Tests a loop's atom at pos as the step at depth would: the depth limit first, then the
// atom, which may raise its bracket's error. True when it took the character.
template <typename Unit>
bool MatchState::LoopTakes(const Loop& loop, uint64_t pos, uint32_t depth, SearchStatus& status) {
  if (depth > limits_.depth) {
    status = FailDeep();
    return false;
  }
  ++steps_;
  const int taken = Take<Unit>(loop.atom, pos);
  if (taken == kClassError) status = Fail(loop.atom.bracket->Error());
  return taken > 0;
}

// Enters "X*" (greedy) or "X*?" (lazy) at depth. The rewriting would step "X*R" to "XX*R",
// take X and be back at "X*R" two levels deeper, so the j-th repetition stands at depth
// + 2j, and the rest R is tried at depth + 2j + 1. Greedy: take X while it holds, then try R
// from the last position back to the first. Lazy: try R, and take one more X each time it
// fails. The frame's next is the j whose R is being tried. kMatched when R is to be entered
// (where the frame's RestAt and RestDepth say), kNoMatch when the loop has failed at once,
// kError on an error.
template <typename Unit>
SearchStatus MatchState::EnterLoop(const Plan& plan, const Node* node, uint64_t at,
                                   uint32_t depth) {
  const Loop& loop = *plan.loop;
  stack_.Push({&plan, node, at, depth, depth, static_cast<uint32_t>(trail_.size()), 0});
  Frame& f = stack_.Back();
  if (loop.lazy) return LazyRest<Unit>(f);
  const uint64_t start = at;
  const uint64_t base = depth;
  const uint64_t limit = limits_.depth;
  uint64_t j = 0;
  int taken = 0;
  for (;;) {
    if (base + 2 * j + 1 > limit) return FailDeep();  // "XX*R"
    taken = Take<Unit>(loop.atom, start + j);
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
  return GreedyRest<Unit>(f);
}

// Tries the rest of a greedy loop at repetition f.next or, where the rest is proven to fail,
// at the repetitions before it.
template <typename Unit>
SearchStatus MatchState::GreedyRest(Frame& f) {
  const RestFilter& filter = RestFilterOf(*graph_, *f.plan->loop);
  // Once the rest has failed at the last repetition, giving back characters that it can
  // never begin with is pointless, if that is proven within the depth limit (and, while
  // failures are remembered, with the depth those tries would reach).
  const bool possessive = filter.possessive && f.next > 0 && (filter.exactDepth || !remember_) &&
                          f.depth + 2 * (f.next - 1) + filter.levels <= limits_.depth;
  for (;;) {
    if (!RestFails<Unit>(filter, f, RestAt(f), RestDepth(f))) {
      f.possessive = possessive;
      return SearchStatus::kMatched;
    }
    if (possessive) return GiveNothingBack(f, filter);
    if (f.next == 0) return SearchStatus::kNoMatch;
    --f.next;
  }
}

// A possessive loop whose rest failed at repetition f.next fails without trying the rest at
// the repetitions before it: each try would fail within the filter's levels, the deepest one
// at the repetition just before.
SearchStatus MatchState::GiveNothingBack(Frame& f, const RestFilter& filter) {
  if (!filter.exactDepth) {
    f.exact = false;
    return SearchStatus::kNoMatch;
  }
  const uint32_t reach = f.depth + 2 * (f.next - 1) + filter.levels;
  f.deepest = std::max(f.deepest, reach);
  deepest_ = std::max(deepest_, reach);
  return SearchStatus::kNoMatch;
}

// Tries the rest of a lazy loop at repetition f.next, taking one more character each time
// the rest is proven to fail.
template <typename Unit>
SearchStatus MatchState::LazyRest(Frame& f) {
  const RestFilter& filter = RestFilterOf(*graph_, *f.plan->loop);
  for (;;) {
    if (!RestFails<Unit>(filter, f, RestAt(f), RestDepth(f))) return SearchStatus::kMatched;
    if (const SearchStatus status = TakeOneMore<Unit>(f); status != SearchStatus::kMatched) {
      return status;
    }
  }
}

// A lazy loop whose rest failed at repetition f.next takes one more character: "XX*?R"
// stands where the rest was tried, the next repetition two levels deeper.
template <typename Unit>
SearchStatus MatchState::TakeOneMore(Frame& f) {
  const Loop& loop = *f.plan->loop;
  SearchStatus status = SearchStatus::kMatched;
  if (!LoopTakes<Unit>(loop, RestAt(f), RestDepth(f), status)) {
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
// assertions among the rest's first steps, so while failures are remembered (which needs
// that depth) such a rest is tried instead.
template <typename Unit>
bool MatchState::RestFails(const RestFilter& filter, Frame& f, uint64_t pos, uint32_t depth) {
  const Units<Unit> s = SubjectOf<Unit>().text;
  if (!filter.proven || pos >= s.size() || filter.first.Contains(s[pos]) ||
      (remember_ && !filter.exactDepth)) {
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
// takes one more. kMatched when the rest is to be tried again (where RestAt and RestDepth
// say), kNoMatch when the loop has failed, kError when taking a character met an error.
template <typename Unit>
SearchStatus MatchState::NextInLoop(Frame& f) {
  const Loop& loop = *f.plan->loop;
  if (loop.lazy) {
    if (const SearchStatus status = TakeOneMore<Unit>(f); status != SearchStatus::kMatched) {
      return status;
    }
    return LazyRest<Unit>(f);
  }
  if (f.possessive) return GiveNothingBack(f, RestFilterOf(*graph_, loop));
  if (f.next == 0) return SearchStatus::kNoMatch;
  --f.next;
  return GreedyRest<Unit>(f);
}

}  // namespace quarn
