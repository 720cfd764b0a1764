"""What the engine knows about a pattern before any search, as Python objects.

    >>> import quarn
    >>> pattern = quarn.compile(r"x{2,4}\\p{L}")
    >>> [(d.code, d.start, d.end) for d in pattern.diagnostics()]
    [('letter-escape', 6, 8), ('brace-count', 8, 11)]
    >>> [node.kind for node in pattern.explain().walk()]
    ['sequence', 'repeat', 'literal', 'repeat', 'literal']

Pattern.diagnostics() lists the faults a search of the pattern could meet, each with the
quarn.error that a search reaching it raises, and warnings; Pattern.explain() gives the tree of
how the engine reads the pattern; Pattern.facts() what every match satisfies. All three come
from one analysis in the engine, made once per compiled pattern; the tree is read from its
JSON document (Pattern.explain_json(), described in docs/pattern-analysis.md).

Places are 0-based, half-open spans of the pattern in its own characters (bytes of a bytes
pattern); a span that would begin or end inside a character above U+FFFF covers all of it.
Kinds and codes are the engine's stable names ("repeat", "empty-loop", ...).
"""

from __future__ import annotations

import enum
import json
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, Callable, Iterator, NamedTuple, Optional, Union

from . import _quarn

if TYPE_CHECKING:
    from ._quarn import Pattern

__all__ = ["ClassMember", "Diagnostic", "ExplainNode", "Facts", "Severity", "explain"]

_Place = Callable[[int, int], "tuple[int, int]"]


class Severity(enum.Enum):
    """ERROR: a search that reaches the construct raises; WARNING: the pattern works, but
    probably not as meant."""

    ERROR = "error"
    WARNING = "warning"


@dataclass(frozen=True)
class Diagnostic:
    """A fault or a warning at start:end of the pattern.

    code names what was found ("fault", "empty-loop", "letter-escape", "hex-brace",
    "posix-class", "brace-count", "zero-count", "trailing-backslash", "stray-marker",
    "deep-match", "incomplete"); error is what a search raises there: always for a fault, the
    depth limit for an empty loop, otherwise None.
    """

    severity: Severity
    code: str
    start: int
    end: int
    message: str
    error: Optional[_quarn.error]


class ClassMember(NamedTuple):
    """One member of a class, in reading order: the characters first to last, or (with
    line_break) the pair CR LF taken as one, which first and last then both hold."""

    first: str
    last: str
    line_break: bool = False


@dataclass(frozen=True, repr=False)
class ExplainNode:
    """One construct of the pattern as the engine reads it.

    kind is one of "alternation", "sequence", "literal", "line-break", "any-character",
    "class", "line-start", "line-end", "text-start", "text-end", "word-boundary",
    "not-word-boundary", "back-reference", "end-only", "group", "plain-group", "lookahead",
    "negative-lookahead", "marker", "repeat", "ignored", "error". text is pattern[start:end];
    description says in plain words what it matches. The fields after children are set for
    the kinds they belong to and None otherwise: group (group, back-reference, marker),
    character (literal), min, max (None: no limit), greedy, quantifier and rewrite (repeat;
    rewrite is the text the engine reads in place of braces), negated and members (class),
    error (a construct the engine cannot read, or a class that reaches a faulty range).
    """

    kind: str
    start: int
    end: int
    text: Union[str, bytes]
    description: str
    children: tuple[ExplainNode, ...] = ()
    group: Optional[int] = None
    character: Optional[str] = None
    min: Optional[int] = None
    max: Optional[int] = None
    greedy: Optional[bool] = None
    quantifier: Optional[str] = None
    rewrite: Optional[str] = None
    negated: Optional[bool] = None
    members: Optional[tuple[ClassMember, ...]] = None
    error: Optional[_quarn.error] = None

    def __repr__(self) -> str:
        below = f", {len(self.children)} children" if self.children else ""
        return (f"<ExplainNode {self.kind} {self.start}:{self.end} {self.text!r}: "
                f"{self.description}{below}>")

    def walk(self) -> Iterator[ExplainNode]:
        """This node and every node below it, in the order of the pattern (parents first)."""
        pending = [self]
        while pending:
            node = pending.pop()
            yield node
            pending.extend(reversed(node.children))


@dataclass(frozen=True)
class Facts:
    """What every match satisfies, exact in this dialect; where the engine cannot prove a fact
    it claims nothing (the neutral value), never something false.

    complete: every construct a search can reach was read (otherwise the rest is neutral);
    fault_free: no search can meet a fault; ignore_case: the texts below are in lower case;
    min_length: the fewest UTF-16 units a match takes; anchored_at_start: every match begins
    at the start of the subject; first_characters: (first, last) ranges of the characters a
    match can begin with (empty: any), which hold for depth limits of at least first_levels;
    required_literals: texts every match contains, longest first; levels_per_character: the
    most depth levels a search uses per character (None: unbounded or unknown);
    depth_safe_length: the longest subject on which no search can reach the default depth
    limit of 1000 (None: none known).
    """

    complete: bool
    fault_free: bool
    ignore_case: bool
    min_length: int
    anchored_at_start: bool
    first_characters: tuple[tuple[str, str], ...]
    first_levels: int
    required_literals: tuple[str, ...]
    levels_per_character: Optional[int]
    depth_safe_length: Optional[int]


def explain(pattern: Pattern) -> ExplainNode:
    """The explanation of a compiled pattern, read from the engine's JSON document.

    Pattern.explain() gives it, made once per pattern; Pattern.diagnostics() and facts() are
    made by the module from the engine's own values, without the JSON.
    """
    document = json.loads(pattern.explain_json())
    source = pattern.pattern
    # Units are characters unless a character of the pattern takes two of them.
    wide = isinstance(source, str) and source != "" and max(source) > "\uffff"
    place: _Place = pattern._place if wide else (lambda start, end: (start, end))
    return _node(document["tree"], source, place)


def _error(fields: Optional[dict[str, Any]], place: _Place) -> Optional[_quarn.error]:
    """The quarn.error that a search raises, as the engine's JSON gives it."""
    if fields is None:
        return None
    raised = _quarn.error(fields["report"])
    raised.number = fields["number"]
    raised.kind = _quarn.ErrorKind(fields["kind"])
    at = fields["position"]
    raised.position = None if at is None else place(at, at + 1)[0]
    return raised


def _member(fields: dict[str, Any]) -> ClassMember:
    if fields.get("lineBreak"):
        return ClassMember("\r\n", "\r\n", True)
    return ClassMember(chr(fields["fromCode"]), chr(fields["toCode"]))


def _node(fields: dict[str, Any], source: Union[str, bytes], place: _Place) -> ExplainNode:
    start, end = place(fields["start"], fields["end"])
    members = fields.get("members")
    code = fields.get("characterCode")
    return ExplainNode(
        kind=fields["kind"], start=start, end=end, text=source[start:end],
        description=fields["description"],
        children=tuple(_node(child, source, place) for child in fields.get("children", ())),
        group=fields.get("group"), character=None if code is None else chr(code),
        min=fields.get("min"), max=fields.get("max"), greedy=fields.get("greedy"),
        quantifier=fields.get("quantifier"), rewrite=fields.get("rewrite"),
        negated=fields.get("negated"),
        members=None if members is None else tuple(_member(m) for m in members),
        error=_error(fields.get("error"), place))

