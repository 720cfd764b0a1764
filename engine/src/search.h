// The backtracking search over a compiled pattern.
//
// A search tries the pattern at each start position, leftmost first, and at a position
// explores the pattern graph depth first, exactly in the order of the rewriting matcher:
// every step (an atom taken, a group marker passed, a quantifier rewritten, an alternative
// or a group entered) is one level of depth, and a step that would pass the depth limit ends
// the search with the limit's error at the same point the rewriting would. The steps are
// frames on an explicit stack, so the depth limit, not the C++ stack, bounds a search.
//
// Some steps are taken without being walked one by one, where that provably changes no
// answer: start positions whose character cannot begin a match are skipped; a loop over one
// character ("[a-z]*", ".*?") takes its characters in one go, at the depths the rewriting
// would reach; and its rest is not tried at positions where it provably fails at once.
//
// Captures live in one table; a failed step undoes what it changed through a trail, which is
// what the rewriting's per-step snapshots amount to. When a search turns out to backtrack
// a lot, it starts to remember the (node, position) pairs that failed, with the depth their
// exploration needed: a later visit at a depth where that exploration fits fails at once,
// one where it does not raises the depth limit at once. Nodes that may read the capture
// table (back references) are never remembered.
//
// Thread safety: a MatchState is one search's scratch; use one per thread. Covered by the
// engine tests, the differential test against the rewriting reference and the threads test.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "program.h"

namespace quarn {

inline constexpr uint32_t kDefaultDepthLimit = 1000;
// The start scan counts positions in 16 bits: positions 1 to 32767.
inline constexpr uint64_t kDefaultSubjectLimit = 32766;

// Where a match may lie: beginning at any position from the first one on, beginning at the
// first one only, or also ending at the end of the text (other paths are tried until one does).
enum class Anchor : uint8_t { kNone, kStart, kWhole };

struct SearchLimits {
  uint32_t depth = kDefaultDepthLimit;
  // Longer subjects end the search with an overflow. At the default, the scan's 16-bit
  // counter also overflows when it would step past the last position of a subject exactly
  // this long.
  uint64_t subjectLength = kDefaultSubjectLimit;
  uint64_t steps = 0;  // 0: no budget
  const std::atomic<bool>* cancel = nullptr;
  // Remember failures from the first step instead of once the search backtracks a lot: the
  // answers are the same, which the tests check.
  bool rememberAtOnce = false;
  Anchor anchor = Anchor::kNone;
};

// One capture record. start is the index of the first character inside the group, end the
// index after its last; a group closed at a place before where it opened has end < start.
struct Capture {
  bool complete = false;  // the closing marker was passed on the current path
  bool opened = false;    // opened since the table was cleared
  int64_t start = 0;
  int64_t end = 0;
  uint64_t closing = 0;  // when complete: the how-manieth closing of the search it was
};

enum class SearchStatus : uint8_t { kMatched, kNoMatch, kError };

struct SearchOutcome {
  SearchStatus status = SearchStatus::kNoMatch;
  uint64_t matchStart = 0;  // the match is [matchStart, matchEnd)
  uint64_t matchEnd = 0;
  std::optional<Error> error;  // its position: where in the pattern the construct stands
  uint32_t deepest = 0;        // the greatest depth a step of the search reached
  uint64_t steps = 0;
};

class MatchState {
 public:
  // Searches text for the leftmost match of program at or after index from.
  SearchOutcome Search(const Program& program, std::u16string_view text, uint64_t from,
                       const SearchLimits& limits);

  // Capture record n (1 to the pattern's group count) of the last search that matched.
  const Capture& Group(int n) const { return table_[n]; }

 private:
  struct Frame {
    const Plan* plan;
    const Node* node;
    uint64_t pos;
    uint32_t depth;           // the depth of this step
    uint32_t deepest;         // the greatest depth reached by this step and those below it
    uint32_t trail;           // the trail's size when the step began
    uint32_t next;            // the attempt to make next; for a lookahead, 0 while its inside runs;
                              // for a loop, the repetition whose rest is being tried
    bool possessive = false;  // a greedy loop that gives nothing back
    // deepest is what the rewriting would reach: false once a step below was skipped as
    // proven to fail, and such a frame is not remembered.
    bool exact = true;
  };
  // The frames of the steps in progress; the depth limit bounds it, not the C++ stack.
  class FrameStack {
   public:
    void Clear() { size_ = 0; }
    bool Empty() const { return size_ == 0; }
    Frame& Back() { return frames_[size_ - 1]; }
    bool HasProbe() const {  // a lookahead is waiting for its inside
      return std::any_of(
          frames_.begin(), frames_.begin() + static_cast<std::ptrdiff_t>(size_),
          [](const Frame& f) { return f.plan->kind == PlanKind::kLookahead && f.next == 0; });
    }
    void Pop() { --size_; }
    void Push(const Frame& frame) {
      if (size_ == frames_.size()) frames_.resize(std::max<size_t>(64, 2 * size_));
      frames_[size_++] = frame;
    }

   private:
    std::vector<Frame> frames_;
    size_t size_ = 0;
  };
  struct Change {
    uint8_t group;
    Capture before;
  };

  // Remembered failures: (node, position) -> the depth their exploration needed below the
  // step. Open addressing; it stops growing at a fixed size.
  class FailureMemo {
   public:
    void Reset();
    const uint32_t* Find(uint64_t key) const;
    void Insert(uint64_t key, uint32_t below);

   private:
    std::vector<uint64_t> keys_;
    std::vector<uint32_t> below_;
    size_t used_ = 0;
  };

  SearchStatus Explore(const Node* root, uint64_t start);
  int TestAtom(const AtomTest& atom, uint64_t pos) const;
  int TakeLiteral(char16_t literal, uint64_t pos) const;
  int Take(const AtomTest& atom, uint64_t pos) const;
  void PassMarker(int16_t group, uint64_t pos);
  void Undo(uint32_t mark);
  Frame PopFrame();
  void PopInto();
  SearchStatus EnterLoop(const Plan& plan, const Node* node, uint64_t& at, uint32_t& depth);
  SearchStatus NextInLoop(Frame& f, const Node*& target, uint64_t& at, uint32_t& depth);
  SearchStatus GreedyRest(Frame& f, uint64_t& at, uint32_t& depth);
  SearchStatus LazyRest(Frame& f, uint64_t& at, uint32_t& depth);
  SearchStatus TakeOneMore(Frame& f);
  bool RestFails(const RestFilter& filter, Frame& f, uint64_t pos, uint32_t depth);
  bool LoopTakes(const Loop& loop, uint64_t pos, uint32_t depth, SearchStatus& status);
  uint32_t DropFailedFrame();
  bool Interrupted();
  SearchStatus Fail(Error error);
  SearchStatus FailDeep();
  static std::optional<uint64_t> MemoKey(const Node* node, uint64_t pos);
  bool Remembered(const Node* node, uint64_t pos, uint32_t depth, uint32_t& reached) const;
  SearchStatus FailAt(Error error, const Node* node, std::optional<uint32_t> offset);
  SearchStatus Stop();
  uint64_t NextCheck() const;

  const Graph* graph_ = nullptr;
  Subject subject_;
  SearchLimits limits_;
  int16_t groupCount_ = 0;
  std::array<Capture, kMaxSubexpressions + 1> table_{};
  FrameStack stack_;
  std::vector<Change> trail_;
  FailureMemo memo_;
  bool remember_ = false;
  uint64_t steps_ = 0;
  uint64_t rememberAfter_ = 0;
  uint64_t nextCheck_ = 0;
  uint64_t matchEnd_ = 0;
  uint64_t closings_ = 0;
  uint32_t deepest_ = 0;
  std::optional<Error> error_;
  const Program* program_ = nullptr;
};

}  // namespace quarn
