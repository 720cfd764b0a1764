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
// answer: a subject that the pattern's facts (analysis.h) prove cannot match is not searched
// at all, once the facts are made (by a caller, or after a costly search of the pattern);
// start positions whose character cannot begin a match are skipped; a loop over one
// character ("[a-z]*", ".*?") takes its characters in one go, at the depths the rewriting
// would reach; and its rest is not tried at positions where it provably fails at once.
//
// Captures live in one table; a failed step undoes what it changed through a trail, which is
// what the rewriting's per-step snapshots amount to. When a search turns out to backtrack
// a lot, it starts to remember the (node, position) pairs that failed, with the depth their
// exploration needed: a later visit at a depth where that exploration fits fails at once,
// one where it does not raises the depth limit at once. Where the text of a node holds back
// references, the captures they may read are remembered with the pair: the same node at the
// same position fails alike only when the groups it can read hold the same captures.
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
#include <type_traits>
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
// index after its last; a group closed at a place before where it opened has end < start,
// and a back reference reads it as the empty text.
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
  // The same over 8-bit units (Latin-1, of which ASCII is part), each the UTF-16 unit of its
  // value: the answers are those of a search of the widened text.
  SearchOutcome Search(const Program& program, Units<uint8_t> text, uint64_t from,
                       const SearchLimits& limits);

  // What the state holds between searches, in bytes. A search that needed more than
  // kKeptScratch (a deep one, or one that remembered many failures) gives it back when it
  // ends, so that one such search does not leave a thread holding its peak for good.
  static constexpr size_t kKeptScratch = size_t{8} << 20;
  size_t HeldBytes() const;

  // Capture record n (1 to the pattern's group count) of the last search that matched. A
  // group closed at a place before where it opened (only stray marker characters can do
  // that) took no part in the match: it reads as a cleared record.
  Capture Group(int n) const {
    const Capture& c = table_[n];
    return c.complete && c.end < c.start ? Capture() : c;
  }

 private:
  struct Frame {
    const Plan* plan;
    const Node* node;
    uint64_t pos;
    uint32_t depth;           // the depth of this step
    uint32_t deepest;         // the greatest depth reached by this step and those below it
    uint32_t trail;           // the trail's size when the step began
    uint32_t next;            // the attempt to make next; for a loop, the repetition whose
                              // rest is being tried
    bool possessive = false;  // a greedy loop that gives nothing back
    // deepest is what the rewriting would reach: false once a step below was skipped as
    // proven to fail, and such a frame is not remembered.
    bool exact = true;
    bool inProbe = false;  // the step stands inside a lookahead's inside (set by Push)
    bool probing = false;  // a lookahead whose inside runs
  };
  // The frames of the steps in progress; the depth limit bounds it, not the C++ stack.
  class FrameStack {
   public:
    void Clear() { size_ = 0; }
    bool Empty() const { return size_ == 0; }
    Frame& Back() { return frames_[size_ - 1]; }
    // Whether a lookahead is waiting for its inside: a step entered now stands inside it. A
    // lookahead's inside ends only while the lookahead is on top, so a frame's inProbe stays
    // true for as long as the frame is on the stack.
    bool HasProbe() const {
      if (size_ == 0) return false;
      const Frame& top = frames_[size_ - 1];
      return top.inProbe || top.probing;
    }
    void Pop() { --size_; }
    size_t HeldBytes() const { return frames_.capacity() * sizeof(Frame); }
    void Release() {
      std::vector<Frame>().swap(frames_);
      size_ = 0;
      capacity_ = 0;
    }
    void Push(const Frame& frame) {
      if (size_ == capacity_) {
        frames_.resize(std::max<size_t>(64, 2 * size_));
        capacity_ = frames_.size();
      }
      const bool inProbe = HasProbe();
      frames_[size_] = frame;
      frames_[size_++].inProbe = inProbe;
    }

   private:
    std::vector<Frame> frames_;
    size_t size_ = 0;
    size_t capacity_ = 0;  // frames_.size(), kept: the vector's size is a division away
  };
  struct Change {
    uint8_t group;
    Capture before;
  };

  // What a failure is remembered by: the node and the position in the first word, then the
  // capture of each group that a back reference in the node's text may read, since the
  // search of the text sees them (see CaptureWord). Back references name groups 1 to 9. A
  // whole match must end at the end of the text except inside a lookahead, so there the
  // first word also tells whether the step stands inside one.
  struct MemoKey {
    std::array<uint64_t, 10> words;
    uint32_t size = 0;
  };

  // Remembered failures: key -> the depth their exploration needed below the step. Open
  // addressing; it stops growing at a fixed size.
  class FailureMemo {
   public:
    void Reset();
    size_t HeldBytes() const;
    void Release();
    const uint32_t* Find(const MemoKey& key) const;
    void Insert(const MemoKey& key, uint32_t below);

   private:
    struct Slot {
      uint64_t first = 0;     // the key's first word; 0 marks an empty slot
      uint32_t captures = 0;  // the key's other words: their count << 28 | where they start
      uint32_t below = 0;
    };
    size_t Locate(const std::vector<Slot>& slots, const MemoKey& key) const;
    bool Same(const Slot& slot, const MemoKey& key) const;

    std::vector<Slot> slots_;
    std::vector<uint64_t> captures_;  // the words after the first of every key, end to end
    size_t used_ = 0;
  };

  // Where a loop's frame tries its rest: after repetition next, at two levels a repetition.
  static uint64_t RestAt(const Frame& f) { return f.pos + f.next; }
  static uint32_t RestDepth(const Frame& f) { return f.depth + 2 * f.next + 1; }

  // The search over one kind of units; the functions that read the subject are instantiated
  // for each kind.
  template <typename Unit>
  SearchOutcome Run(const Program& program, Units<Unit> text, uint64_t from,
                    const SearchLimits& limits);
  template <typename Unit>
  Subject<Unit>& SubjectOf() {
    if constexpr (std::is_same_v<Unit, char16_t>) {
      return wide_;
    } else {
      return narrow_;
    }
  }
  template <typename Unit>
  const Subject<Unit>& SubjectOf() const {
    return const_cast<MatchState*>(this)->SubjectOf<Unit>();
  }
  template <typename Unit>
  SearchStatus Explore(const Node* root, uint64_t start);
  template <typename Unit>
  int TestAtom(const AtomTest& atom, uint64_t pos) const;
  template <typename Unit>
  int TakeLiteral(char16_t literal, uint64_t pos) const;
  template <typename Unit>
  int Take(const AtomTest& atom, uint64_t pos) const;
  template <typename Unit>
  [[gnu::noinline]] uint64_t LastOfRun(const AtomTest& atom, uint64_t pos) const;
  void PassMarker(int16_t group, uint64_t pos);
  void Undo(uint32_t mark);
  uint32_t PopFrame();
  void PopInto();
  template <typename Unit>
  SearchStatus EnterLoop(const Plan& plan, const Node* node, uint64_t at, uint32_t depth);
  template <typename Unit>
  SearchStatus NextInLoop(Frame& f);
  template <typename Unit>
  SearchStatus GreedyRest(Frame& f);
  template <typename Unit>
  SearchStatus LazyRest(Frame& f);
  template <typename Unit>
  SearchStatus TakeOneMore(Frame& f);
  SearchStatus GiveNothingBack(Frame& f, const RestFilter& filter);
  template <typename Unit>
  bool RestFails(const RestFilter& filter, Frame& f, uint64_t pos, uint32_t depth);
  template <typename Unit>
  bool LoopTakes(const Loop& loop, uint64_t pos, uint32_t depth, SearchStatus& status);
  uint32_t DropFailedFrame();
  bool Interrupted();
  SearchStatus Fail(Error error);
  SearchStatus FailDeep();
  bool KeyOf(const Node* node, uint64_t pos, bool inProbe, MemoKey& key) const;
  bool Remembered(const Node* node, uint64_t pos, uint32_t depth, uint32_t& reached) const;
  SearchStatus FailAt(Error error, const Node* node, std::optional<uint32_t> offset);
  SearchStatus Stop();
  uint64_t NextCheck() const;
  void GiveBackScratch();

  const Graph* graph_ = nullptr;
  Subject<char16_t> wide_;   // the subject of a search of 16-bit units
  Subject<uint8_t> narrow_;  // or of 8-bit units
  SearchLimits limits_;
  int16_t groupCount_ = 0;
  uint32_t groupBits_ = 0;  // bit n for each group n of the pattern
  bool memoFits_ = false;   // every position and capture fits a memo key
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
