"""Types of the compiled core of the quarn package."""

import enum
from typing import Any, Callable, Iterator, Optional, Union, overload

from .analysis import Diagnostic, ExplainNode, Facts

__version__: str

class ErrorKind(enum.Enum):
    """What went wrong, by the engine's stable names."""

    PATTERN_SYNTAX = "pattern-syntax"
    DEPTH_LIMIT = "depth-limit"
    OVERFLOW = "overflow"
    SUBJECT_LENGTH = "subject-length"
    STEP_BUDGET = "step-budget"
    CANCELLED = "cancelled"
    INVALID_UTF8 = "invalid-utf8"
    OUT_OF_MEMORY = "out-of-memory"
    INVALID_OPTIONS = "invalid-options"
    INVALID_ARGUMENT = "invalid-argument"
    NO_STORED_MATCH = "no-stored-match"
    INTERNAL = "internal"

class error(Exception):
    """A pattern that does not compile or has a fault, or a search that ended in an error."""

    number: int
    kind: ErrorKind
    position: Optional[int]

class Flag(enum.IntFlag):
    """The options of a pattern (the engine's values, not re's)."""

    IGNORECASE = 1
    SINGLELINE = 2
    MULTILINE = 4

def flag_value(flags: Union[Flag, int]) -> int:
    """The value of flags, which must be quarn's flags or an int."""

_Buffer = Union[bytes, bytearray, memoryview]
_Subject = Union[str, _Buffer, "Text"]
_Group = Union[str, bytes, Any]

class Text:
    """A subject converted once for the engine and searched many times."""

    def __init__(self, string: _Subject) -> None:
        """Prepares string once: converts it where its storage cannot be searched as it is."""
    @property
    def string(self) -> Union[str, _Buffer]:
        """The original str or bytes-like object."""
    def __len__(self) -> int:
        """The length of the original object."""

class Match:
    """The result of a successful search, as re's match objects."""

    @overload
    def group(self, group: int = 0, /) -> Any:
        """The text of a group; None when it took no part."""
    @overload
    def group(self, group1: int, group2: int, /, *groups: int) -> tuple[Any, ...]:
        """The texts of several groups."""
    def __getitem__(self, group: int) -> Any:
        """m[n] is m.group(n)."""
    def groups(self, default: Any = None) -> tuple[Any, ...]:
        """The texts of all groups; default for those that took no part."""
    def groupdict(self, default: Any = None) -> dict[str, Any]:
        """Always empty: the patterns have no named groups."""
    def span(self, group: int = 0) -> tuple[int, int]:
        """(start, end) of the group; (-1, -1) when it took no part."""
    def start(self, group: int = 0) -> int:
        """Where the group begins; -1 when it took no part."""
    def end(self, group: int = 0) -> int:
        """Where the group ends; -1 when it took no part."""
    def expand(self, template: Union[str, bytes]) -> Any:
        """The template with $0 to $9 replaced by the match and its groups."""
    @property
    def lastindex(self) -> Optional[int]:
        """The number of the group closed last, or None."""
    @property
    def lastgroup(self) -> None:
        """Always None: the patterns have no named groups."""
    @property
    def regs(self) -> tuple[tuple[int, int], ...]:
        """The spans of the match and every group."""
    @property
    def pos(self) -> int:
        """The pos given to the search."""
    @property
    def endpos(self) -> int:
        """The endpos given to the search."""
    @property
    def string(self) -> Any:
        """The subject that was searched."""
    @property
    def re(self) -> "Pattern":
        """The pattern that matched."""
    def __copy__(self) -> "Match":
        """Matches are immutable."""
    def __deepcopy__(self, memo: Any) -> "Match":
        """Matches are immutable."""

class MatchIterator(Iterator[Match]):
    """The lazy iterator that finditer() gives."""

    def __iter__(self) -> "MatchIterator":
        """Itself."""
    def __next__(self) -> Match:
        """The next match."""

class Pattern:
    """A compiled pattern, as re's compiled patterns."""

    def __init__(self, pattern: Union[str, bytes], flags: Union[Flag, int] = 0, *,
                 check: bool = True) -> None:
        """Compiles pattern with flags; with check, raises the faults of the diagnostics."""
    @property
    def pattern(self) -> Union[str, bytes]:
        """The pattern text."""
    @property
    def flags(self) -> Flag:
        """The flags."""
    @property
    def groups(self) -> int:
        """The number of capturing groups."""
    @property
    def groupindex(self) -> dict[str, int]:
        """Always empty: the patterns have no named groups."""
    @property
    def check(self) -> bool:
        """Whether compiling raised the faults that the diagnostics find."""
    def diagnostics(self) -> tuple[Diagnostic, ...]:
        """The faults a search could meet and the warnings, in the order of the pattern."""
    def explain(self) -> ExplainNode:
        """The root of the tree of how the engine reads the pattern."""
    def facts(self) -> Facts:
        """What every match satisfies."""
    def explain_json(self) -> str:
        """The engine's analysis as its JSON document."""
    def _place(self, start: int, end: int) -> tuple[int, int]:
        """A stretch of the pattern in UTF-16 units, in the pattern's own characters."""
    def search(self, string: _Subject, pos: int = 0, endpos: int = ..., *, depth: int = 1000,
               subject_length: int = 32766, steps: int = 0) -> Optional[Match]:
        """The leftmost match in string[pos:endpos], or None."""
    def match(self, string: _Subject, pos: int = 0, endpos: int = ..., *, depth: int = 1000,
              subject_length: int = 32766, steps: int = 0) -> Optional[Match]:
        """The match that begins at pos, or None."""
    def fullmatch(self, string: _Subject, pos: int = 0, endpos: int = ..., *,
                  depth: int = 1000, subject_length: int = 32766,
                  steps: int = 0) -> Optional[Match]:
        """The match that begins at pos and ends at endpos, or None."""
    def finditer(self, string: _Subject, pos: int = 0, endpos: int = ..., *,
                 depth: int = 1000, subject_length: int = 32766,
                 steps: int = 0) -> MatchIterator:
        """An iterator over the non-overlapping matches, searching as it goes."""
    def findall(self, string: _Subject, pos: int = 0, endpos: int = ..., *, depth: int = 1000,
                subject_length: int = 32766, steps: int = 0) -> list[Any]:
        """The matches as a list, as re.findall."""
    def sub(self, repl: Union[str, bytes, Callable[[Match], Any]], string: _Subject,
            count: int = 0, *, depth: int = 1000, subject_length: int = 32766,
            steps: int = 0) -> Any:
        """string with the first count matches replaced by repl."""
    def subn(self, repl: Union[str, bytes, Callable[[Match], Any]], string: _Subject,
             count: int = 0, *, depth: int = 1000, subject_length: int = 32766,
             steps: int = 0) -> tuple[Any, int]:
        """As sub(), and the number of replacements."""
    def __copy__(self) -> "Pattern":
        """Patterns are immutable."""
    def __deepcopy__(self, memo: Any) -> "Pattern":
        """Patterns are immutable."""
    def split(self, string: _Subject, maxsplit: int = 0, *, depth: int = 1000,
              subject_length: int = 32766, steps: int = 0) -> list[Any]:
        """The pieces of string between the matches, with the groups' texts."""
