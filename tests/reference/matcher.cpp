// The backtracking matcher. DoQuarn decides whether a pattern in the internal form matches
// at the front of the remaining subject, and on success removes what it matched.
//
// There is no compiled form: each call cuts one atom and its quantifier off the pattern,
// handles that atom and calls itself on the rest. A quantifier is handled by rewriting: the
// quantified atom becomes a longer pattern made of copies of itself ("a*" tries "aa*" before
// ""), so backtracking is simply the return from a failed call. Groups are spliced into the
// pattern with their markers, and passing a marker records a capture in the subexpression
// table. Each call snapshots the table and puts it back when it fails, so a failed attempt
// leaves no captures behind.
//
// The depth limit of 1000 nested calls is what stops a quantified group that matches the
// empty text from rewriting itself for ever, and what bounds the recursion.
#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "reference_internal.h"

namespace quarn::reference {

namespace {

// The pattern texts that the active calls have built, in 16-bit units. Rewriting a brace
// quantifier multiplies the atom, and every level keeps its own text, so without a bound a
// short pattern could ask for gigabytes; past the bound the search fails as out of memory.
size_t builtUnits = 0;
constexpr size_t kMaxBuiltUnits = size_t{1} << 25;

// How an attempt's pattern is made from the atom A and the rest R of the pattern.
enum class Shape : uint8_t {
  kRest,          // R alone
  kFirst,         // the alternative before a top-level "|"
  kRepeat,        // A A* R
  kRepeatLazy,    // A A*? R
  kOnce,          // A R
  kBraces,        // the brace expansion of A, then R
  kAlternatives,  // each alternative of a group between its markers, then R
};

// One matcher call: where its attempts start, the texts they are made of, and the
// snapshot of the subexpression table. Steps live on the heap, one per level of depth, so
// that a level of the search costs one small stack frame however much text it builds (the
// depth limit, not the stack, is what ends a runaway search), and they are reused from call
// to call with the capacity of their buffers.
struct Step {
  std::u16string_view subject;  // every attempt starts on a copy of this
  std::u16string_view atom;
  std::u16string_view rest;
  std::u16string_view first;
  std::u16string_view open;  // a group's markers (empty for a plain group)
  std::u16string_view close;
  std::u16string_view inner;  // what is left of a group's inside
  bool lookahead = false;     // the atom is a lookahead, to be probed before the rest
  bool innerDone = false;
  std::array<Shape, 2> shapes{};
  int shapeCount = 0;
  int nextShape = 0;
  BraceCount braces;
  std::u16string built;  // the pattern text of the current attempt, when it had to be built
  std::vector<SubexpressionRecord> snapshot;
  bool tookSnapshot = false;

  // Starts a new call on this step: every field as new, the buffers empty but kept.
  void Begin() {
    std::u16string keptBuilt = std::move(built);
    std::vector<SubexpressionRecord> keptSnapshot = std::move(snapshot);
    *this = Step();
    keptBuilt.clear();
    if (keptBuilt.capacity() > kKeptCapacity) keptBuilt.shrink_to_fit();
    built = std::move(keptBuilt);
    snapshot = std::move(keptSnapshot);
    snapshot.clear();
  }

  // Ends the call: its built text no longer counts against the budget.
  void End() {
    builtUnits -= built.size();
    built.clear();
  }

  static constexpr size_t kKeptCapacity = 1024;  // at most 2 KiB kept per level

  void Try(std::initializer_list<Shape> order) {
    for (const Shape shape : order) {
      shapes[shapeCount++] = shape;
    }
  }
};

// Replaces the step's built text with a new one of `size` units that `build` appends.
template <typename Build>
std::u16string_view Rebuild(Step& step, size_t size, Build build) {
  builtUnits -= step.built.size();
  step.built.clear();
  if (size > kMaxBuiltUnits - builtUnits) {
    RaiseEngineError(u"Out of memory", errOutOfMemory, u"DoQuarn");
  }
  step.built.reserve(size);
  build(step.built);
  builtUnits += step.built.size();
  return step.built;
}

std::u16string_view Join(Step& step, std::initializer_list<std::u16string_view> parts) {
  size_t size = 0;
  for (const std::u16string_view part : parts)
    size += part.size();
  return Rebuild(step, size, [&](std::u16string& p) {
    for (const std::u16string_view part : parts)
      p += part;
  });
}

void RestoreSubexpressions(const std::vector<SubexpressionRecord>& snapshot) {
  std::copy(snapshot.begin(), snapshot.end(), State.Subexpressions.begin() + 1);
}

// Opens the group whose marker begins atom, unless it is open already.
void OpenSubexpression(std::u16string_view remaining, std::u16string_view& atom, int16_t depth) {
  const int16_t n = GetGroupMarker(atom);
  if (n == 0) return;
  SubexpressionRecord& record = State.Subexpressions[n];
  if (record.OpenDepth != 0 && !record.Complete) return;
  record.OpenDepth = depth;
  record.Complete = false;
  atom.remove_prefix(1);
  record.StartPos = PositionOf(remaining);
}

// Closes every open group whose marker begins what is left of atom.
void CloseSubexpression(std::u16string_view remaining, std::u16string_view& atom) {
  for (int16_t n = GetGroupMarker(atom); n != 0 && State.Subexpressions[n].OpenDepth > 0;
       n = GetGroupMarker(atom)) {
    State.Subexpressions[n].Complete = true;
    State.Subexpressions[n].EndPos = PositionOf(remaining) - 1;
    atom.remove_prefix(1);
  }
}

// The brace rewrite: "x{2,}" is "xxx*", "x{2,4}" is "xx(x(x)?)?" and "x{2,4}?" is
// "xx(x(x)??)??". An upper bound of 0 leaves the rest alone: zero occurrences.
std::u16string_view ExpandBraces(Step& step) {
  const std::u16string_view a = step.atom;
  const std::u16string_view r = step.rest;
  const BraceCount& count = step.braces;
  if (count.open) {
    const std::u16string_view star = count.lazy ? u"*?" : u"*";
    return Rebuild(step, a.size() * (count.lower + 1) + star.size() + r.size(),
                   [&](std::u16string& p) {
                     for (int k = 0; k <= count.lower; ++k)
                       p += a;
                     (p += star) += r;
                   });
  }
  const std::u16string_view optional = count.lazy ? u"??" : u"?";
  const size_t copies = static_cast<size_t>(count.upper - count.lower);
  const size_t size = a.size() * count.upper + (2 + optional.size()) * copies + r.size();
  return Rebuild(step, size, [&](std::u16string& p) {
    for (int k = 0; k < count.lower; ++k)
      p += a;
    for (size_t k = 0; k < copies; ++k)
      (p += u'(') += a;
    for (size_t k = 0; k < copies; ++k)
      (p += u')') += optional;
    p += r;
  });
}

void PlanQuantified(Step& step, std::u16string_view quantifier, std::u16string_view pattern) {
  if (quantifier == u"*") return step.Try({Shape::kRepeat, Shape::kRest});
  if (quantifier == u"*?") return step.Try({Shape::kRest, Shape::kRepeatLazy});
  if (quantifier == u"+") return step.Try({Shape::kRepeat});
  if (quantifier == u"+?") return step.Try({Shape::kRepeatLazy});
  if (quantifier == u"?") return step.Try({Shape::kOnce, Shape::kRest});
  if (quantifier == u"??") return step.Try({Shape::kRest, Shape::kOnce});
  if (quantifier.starts_with(u'{')) {
    step.braces = ReadBraces(quantifier);
    return step.Try({Shape::kBraces});
  }
  std::u16string text = u"Internal error in function RegEx.DoQuarn(\"";
  (((text += step.subject) += u"\", \"") += pattern) += u"\")";
  RaiseEngineError(text, errInternal, u"DoQuarn");
}

// A group is spliced into the pattern with its markers, one alternative at a time, each
// followed by the whole rest: the first alternative that leads to overall success wins.
void PlanGroup(Step& step) {
  std::u16string_view inner = step.atom.substr(1, step.atom.size() - 2);
  if (inner.size() >= 2 && GetGroupMarker(inner) >= 1 &&
      GetGroupMarker(inner.substr(inner.size() - 1)) >= 1) {
    step.open = inner.substr(0, 1);
    step.close = inner.substr(inner.size() - 1);
    inner = inner.substr(1, inner.size() - 2);
  }
  step.inner = inner;
  step.Try({Shape::kAlternatives});
}

// A group marker opens its group when it is not open and closes it when it is.
void PassGroupMarker(Step& step) {
  std::u16string_view marker = step.atom;
  OpenSubexpression(step.subject, marker, State.Depth);
  CloseSubexpression(step.subject, marker);
  step.Try({Shape::kRest});
}

void PlanUnquantified(Step& step) {
  const std::u16string_view atom = step.atom;
  const bool closedGroup = atom.starts_with(u'(') && atom.ends_with(u')');
  if (closedGroup && atom.size() >= 4 && (atom.starts_with(u"(?=") || atom.starts_with(u"(?!"))) {
    step.lookahead = true;  // DoQuarn probes it, so that nesting costs no extra stack frames
    return;
  }
  if (closedGroup) return PlanGroup(step);
  if (atom.size() == 1 && GetGroupMarker(atom) >= 1) return PassGroupMarker(step);
  const bool matched = atom.size() >= 2 && atom.starts_with(u'[') && atom.ends_with(u']')
                           ? MatchSquareBrackets(step.subject, atom)
                           : MatchAtom(step.subject, atom);
  if (matched) step.Try({Shape::kRest});  // the rest continues after what the atom took
}

// Decides what a call on this pattern will try, raising the pattern errors it meets. Kept
// out of line, like NextAttempt, so that its locals do not widen DoQuarn's recursive frame.
[[gnu::noinline]] void Plan(Step& step, std::u16string_view remaining,
                            std::u16string_view pattern) {
  step.subject = remaining;
  if (SplitAlternatives(pattern, step.first, step.rest)) {
    return step.Try({Shape::kFirst, Shape::kRest});
  }
  if (State.SubexpressionCount > 0) {
    step.tookSnapshot = true;
    step.snapshot.assign(State.Subexpressions.begin() + 1,
                         State.Subexpressions.begin() + 1 + State.SubexpressionCount);
  }
  step.rest = pattern;
  std::u16string_view quantifier;
  step.atom = GetNextQuarn(step.rest, quantifier);
  if (quantifier.empty()) {
    PlanUnquantified(step);
  } else {
    PlanQuantified(step, quantifier, pattern);
  }
}

// The next alternative of a group, between the group's markers and followed by the rest.
bool NextAlternative(Step& step, std::u16string_view& pattern) {
  if (step.innerDone) return false;
  std::u16string_view alternative;
  std::u16string_view others;
  if (SplitAlternatives(step.inner, alternative, others)) {
    step.inner = others;
  } else {
    alternative = step.inner;
    step.innerDone = true;
  }
  pattern = Join(step, {step.open, alternative, step.close, step.rest});
  return true;
}

// The pattern of the step's next attempt; false when every attempt has been made.
[[gnu::noinline]] bool NextAttempt(Step& step, std::u16string_view& pattern) {
  if (step.nextShape >= step.shapeCount) return false;
  switch (step.shapes[step.nextShape]) {
    case Shape::kRest:
      pattern = step.rest;
      break;
    case Shape::kFirst:
      pattern = step.first;
      break;
    case Shape::kRepeat:
      pattern = Join(step, {step.atom, step.atom, u"*", step.rest});
      break;
    case Shape::kRepeatLazy:
      pattern = Join(step, {step.atom, step.atom, u"*?", step.rest});
      break;
    case Shape::kOnce:
      pattern = Join(step, {step.atom, step.rest});
      break;
    case Shape::kBraces:
      pattern = ExpandBraces(step);
      break;
    case Shape::kAlternatives:
      return NextAlternative(step, pattern);  // stays on this shape until the group is done
  }
  ++step.nextShape;
  return true;
}

// The step of each level of depth; levels nest strictly, so the depth is the index. Out of
// line, so that the fresh Step it assigns does not take room in the recursive frame.
std::vector<std::unique_ptr<Step>> steps;

[[gnu::noinline]] Step* StepAt(int16_t depth) {
  if (steps.size() <= static_cast<size_t>(depth)) steps.resize(depth + 1);
  if (!steps[depth]) steps[depth] = std::make_unique<Step>();
  steps[depth]->Begin();
  return steps[depth].get();
}

}  // namespace

void ResetMatcher() {
  builtUnits = 0;
}

// Each attempt starts on a fresh copy of the step's subject; the first that succeeds
// decides, and its copy becomes the remaining subject.
bool DoQuarn(std::u16string_view& remaining, std::u16string_view pattern) {
  if (pattern.empty()) return true;
  CountCall();
  if (++State.Depth > maxDepth) {
    RaiseEngineError(u"Maximum number of iterations exceeded. Possibly an infinite loop.",
                     errSyntax, u"DoQuarn");
  }
  Step* const step = StepAt(State.Depth);
  Plan(*step, remaining, pattern);
  if (step->lookahead) {
    // A lookahead matches its inside on a copy of the subject and consumes nothing.
    const std::u16string_view atom = step->atom;
    std::u16string_view probe = step->subject;
    if (DoQuarn(probe, atom.substr(3, atom.size() - 4)) == (atom[2] == u'=')) {
      step->Try({Shape::kRest});
    }
  }
  bool matched = false;
  std::u16string_view next;
  while (!matched && NextAttempt(*step, next)) {
    std::u16string_view subject = step->subject;
    matched = DoQuarn(subject, next);
    if (matched) remaining = subject;
  }
  if (!matched && step->tookSnapshot) RestoreSubexpressions(step->snapshot);
  step->End();
  --State.Depth;
  return matched;
}

}  // namespace quarn::reference
