// The pattern graph: every pattern text that the matcher reaches, cut once.
//
// The matcher's meaning is defined by rewriting: at each step it cuts the next atom and its
// quantifier off the pattern text, and tries new texts made of copies of the atom and the
// rest ("a*" tries "aa*" before ""). This graph keeps those texts without building them: a
// text is a chain of segments, each a stretch of a piece (an atom, a group's alternative, the
// internal pattern) repeated as often as the segment needs, followed by the text after it.
// A rewrite adds a segment or two in front of the rest, so it costs no copying, and texts
// with the same segments are the same node. Each node's plan (what a matcher step on that
// text does) is worked out once, by the scanner's own functions on the text's first
// characters, and then shared by every step, start position and search that reaches it.
//
// Planning never looks further than the 16-bit positions allow: every walk of the scanner
// raises its overflow before it passes position 32767 of the text it walks, so the first
// kPlanWindow characters of a text decide its plan however long the text is. Most plans need
// far fewer: the atom at the front (a group's extent comes from its piece's table of where
// groups close) and the three characters after it, unless a brace or a "|" is involved.
//
// Thread safety: a Graph is shared by every search of its pattern. Nodes are immutable once
// made; a node's plan is published once through an atomic pointer, and everything that makes
// nodes and plans runs under the graph's mutex. A plan's link to the next plan (PlanLink) is
// set without it, through an atomic pointer: every search that sets it stores the same plan.
// Covered by the engine tests, the differential test against the rewriting reference, and the
// threads test.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "atoms.h"
#include "scanner.h"

namespace quarn {

struct Plan;

// A text that a rewrite copies: an atom, an alternative between its group's markers, the
// internal pattern, or a fixed text such as "*". Pieces with the same characters are one.
struct Piece {
  std::u16string text;
  std::vector<uint32_t> bars;  // where "|" stands
  // For each digit n from 1 to 9, where a backslash before it stands: a back reference to
  // group n, unless that backslash is itself escaped.
  std::array<std::vector<uint32_t>, 10> references;
  bool endsWithBackslash = false;  // its last backslash may pair with what follows
  // Where its groups close, once a plan has asked (under the graph's mutex).
  mutable std::unique_ptr<GroupEnds> groups;
};

// A pattern text: segment characters of piece (repeated, starting at index phase), then the
// text of next. The empty text is the node whose length is 0.
struct Node {
  const Piece* piece = nullptr;
  uint32_t phase = 0;
  uint64_t segment = 0;
  const Node* next = nullptr;
  uint64_t length = 0;
  uint32_t id = 0;
  // Where the node's first character stands in the internal pattern, when its piece is the
  // pattern as written (-1: not known). Each copy of a repeated piece stands for the same
  // characters. Only error positions and the analysis use it.
  int64_t origin = -1;
  bool hasBar = false;  // a "|" stands somewhere in the text
  // The groups that a back reference in the text may read, bit n for group n: whether a
  // search of the text fails depends on their captures as well as on the position.
  uint32_t references = 0;
  mutable std::atomic<const Plan*> plan{nullptr};
};

enum class PlanKind : uint8_t {
  kLiteral,    // test the atom, a literal character; on success continue with rest after it
  kBracket,    // the same for a bracket expression
  kAtom,       // the same for any other atom
  kMarker,     // open or close the group of marker, then continue with rest
  kAttempts,   // try each text of attempts at the same position; the first success wins
  kLoop,       // kAttempts of "X*" or "X*?" over a one-character X, run as loop says
  kLookahead,  // search probe alone; continue with rest if its success is what is wanted
  kError,      // the step raises error
};

struct RestFilter;  // first.h

// A loop over one character: the plan of "X*" or "X*?" where X is an atom that takes exactly
// one character. Searches run it as one step that takes characters while X holds, instead of
// a frame per character; its meaning is that of the rewrites it stands for.
struct Loop {
  AtomTest atom;
  const Node* rest = nullptr;  // what follows the loop
  bool lazy = false;
  // What the rest needs first, worked out the first time a search needs it, by whichever
  // search gets there, and published once.
  mutable std::atomic<const RestFilter*> restFilter{nullptr};
  ~Loop();
};

// A plan's note of the plan of the text that its step goes on with first (the rest after an
// atom or a marker, the first attempt, the rest after a loop, a lookahead's inside), set by
// the first search that looks it up: later steps then go from plan to plan without reading
// the node in between. Plans are moved only before they are published.
class PlanLink {
 public:
  PlanLink() = default;
  PlanLink(PlanLink&& other) noexcept : plan_(other.Get()) {}
  PlanLink& operator=(PlanLink&& other) noexcept {
    plan_.store(other.Get(), std::memory_order_relaxed);
    return *this;
  }
  const Plan* Get() const { return plan_.load(std::memory_order_acquire); }
  void Set(const Plan* plan) const { plan_.store(plan, std::memory_order_release); }

 private:
  mutable std::atomic<const Plan*> plan_{nullptr};
};

struct Plan {
  PlanKind kind = PlanKind::kError;
  bool positive = false;  // kLookahead: "(?=" rather than "(?!"
  int16_t marker = 0;
  AtomTest atom;
  const Node* rest = nullptr;
  const Node* probe = nullptr;
  std::vector<const Node*> attempts;
  // kError: raised on entry. kAttempts: raised after every attempt failed, for a group whose
  // later alternatives cannot be cut.
  std::optional<Error> error;
  std::optional<uint32_t> errorAt;  // where in the node's text the faulty construct begins
  std::unique_ptr<Loop> loop;       // kLoop

  // How the step read its text, for the analysis: a "|" split, or an item of atomLength
  // characters (the piece atomPiece when quantified) with its quantifier, followed by rest
  // (rest is set for every item, quantified or not). An error keeps what was read before it.
  bool split = false;
  uint32_t atomLength = 0;
  const Piece* atomPiece = nullptr;
  const Piece* quantifier = nullptr;

  PlanLink first;  // see PlanLink
};

class Graph {
 public:
  // internal is the pattern in the internal form; ignoreCase and groupCount are what its
  // atom tests need.
  Graph(std::u16string_view internal, bool ignoreCase, int16_t groupCount);
  Graph(const Graph&) = delete;
  Graph& operator=(const Graph&) = delete;

  const Node* Root() const { return root_; }
  bool IgnoreCase() const { return ignoreCase_; }

  // Where offset of node's text stands in the internal pattern, when the node is a stretch
  // of it (and not a rewritten text).
  std::optional<size_t> InternalPosition(const Node* node, uint64_t offset) const;

  const Plan& PlanOf(const Node* node) const {
    if (const Plan* plan = node->plan.load(std::memory_order_acquire)) return *plan;
    return MakePlan(node);
  }
  // The plan of node, the text that a step of from goes on with first, kept in from's link;
  // none for the empty text, which has no plan.
  const Plan* PlanAfter(const Plan& from, const Node* node) const {
    if (const Plan* plan = from.first.Get()) return plan;
    if (node->length == 0) return nullptr;
    const Plan* plan = &PlanOf(node);
    from.first.Set(plan);
    return plan;
  }

  // The characters that a plan may look at: see the note at the top.
  static constexpr size_t kPlanWindow = size_t{4} << 15;

  // Texts made from pieces, for the analysis, which walks a graph of its own: a piece's text,
  // copies of a piece followed by next, the suffix of a node, and the text alone.
  const Piece* PieceOf(std::u16string_view text) const;
  const Node* Copies(const Piece* piece, uint64_t copies, const Node* next,
                     int64_t origin = -1) const;
  const Node* After(const Node* node, uint64_t offset) const;
  const Node* Standalone(std::u16string_view text, int64_t origin) const;

 private:
  struct NodeKey {
    const Piece* piece;
    uint32_t phase;
    uint64_t segment;
    const Node* next;
    bool operator==(const NodeKey&) const = default;
  };
  struct NodeKeyHash {
    size_t operator()(const NodeKey& k) const;
  };

  const Plan& MakePlan(const Node* node) const;
  void Build(const Node* node, Plan& plan) const;
  bool BuildFromFront(const Node* node, Plan& plan) const;
  std::optional<std::u16string_view> LeadingGroup(const Node* node) const;
  void PlanAtom(const Node* node, std::u16string_view atom, std::u16string_view quantifier,
                Plan& plan) const;
  void PlanQuantified(const Piece* atom, int64_t origin, std::u16string_view quantifier,
                      const Node* rest, Plan& plan) const;
  void PlanGroup(const Node* node, std::u16string_view atom, const Node* rest, Plan& plan) const;
  void PlanUnquantified(const Node* node, std::u16string_view atom, const Node* rest,
                        Plan& plan) const;
  std::unique_ptr<Loop> OneCharacterLoop(const Piece* atom, const Node* rest, bool lazy) const;
  const BracketClass* Bracket(const Piece* atom) const;

  const Piece* InternPiece(std::u16string_view text) const;
  const Node* Intern(const Piece* piece, uint64_t phase, uint64_t segment, const Node* next,
                     int64_t origin = -1) const;
  const Node* Repeat(const Piece* piece, uint64_t copies, const Node* next,
                     int64_t origin = -1) const;
  // The node of text followed by next (nothing when null).
  const Node* Flat(std::u16string_view text, int64_t origin = -1, const Node* next = nullptr) const;
  const Node* Slice(const Node* node, std::u16string_view text, const char16_t* start,
                    const Node* next) const;
  const Node* Suffix(const Node* node, uint64_t offset) const;
  std::u16string Window(const Node* node, uint64_t from = 0, size_t limit = kPlanWindow) const;

  bool ignoreCase_;
  int16_t groupCount_;
  mutable std::mutex mutex_;
  mutable std::deque<Piece> pieces_;
  mutable std::unordered_map<std::u16string_view, const Piece*> pieceIndex_;
  mutable std::deque<Node> nodes_;
  mutable std::unordered_map<NodeKey, const Node*, NodeKeyHash> nodeIndex_;
  mutable std::deque<Plan> plans_;
  mutable std::deque<BracketClass> brackets_;
  mutable std::unordered_map<const Piece*, const BracketClass*> bracketIndex_;
  Node empty_;
  const Node* root_ = nullptr;
};

}  // namespace quarn
