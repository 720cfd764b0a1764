"""Quarn regular expressions, with the API of Python's re module.

    >>> import quarn
    >>> quarn.search(r"(\\d{4})-(\\d\\d)", "due 2026-12").groups()
    ('2026', '12')

Functions: compile, search, match, fullmatch, finditer, findall, sub, subn, split and purge,
as in re; compiled patterns (quarn.Pattern) have the same methods, with pos and endpos where
re's have them. Match objects have group, groups, span, start, end, expand, lastindex, m[n],
pos, endpos, re and string. quarn.Text prepares a subject once for many searches, and
quarn.dask searches many files with Dask.

Before any search, a compiled pattern tells what the engine knows of it (quarn.analysis):
diagnostics() lists every fault a search could meet and the warnings, explain() gives the tree
of how the engine reads the pattern, and facts() what every match satisfies:

    >>> quarn.compile(r"\\d+\\n\\s").explain().children[1].description
    'a line break: the two characters CR LF (a lone CR or LF is not one)'

Subjects are str or bytes-like objects (one character per byte); a str pattern searches only
str subjects and a bytes pattern only bytes-like ones (TypeError otherwise, as in re).
Positions are those of the subject. Every search takes the keyword arguments depth (1000),
subject_length (32766) and steps (0, no budget); a search that reaches one of them raises
quarn.error, as does a pattern that does not compile. Its kind (quarn.ErrorKind) tells what
went wrong where one number has several meanings: 20052 is a syntax error or the depth limit,
6 an overflow of the pattern or a subject too long; test it, never the text. Searches of
subjects longer than 16,384 UTF-16 units release the GIL, and compiled patterns pickle as
their text, flags and check.

As re.compile does, compile() (and so every function taking a pattern) raises a fault of the
pattern at once, wherever in it the engine's diagnostics find it, such as "x{3,1}" or "[z-a]";
compile(pattern, check=False) keeps the engine's legacy way, where such a fault is raised only
by a search that reaches it (quarn.compile("a|x{3,1}", check=False).search("a") matches).

Where the pattern language differs from re's:

- The flags are quarn's own (quarn.Flag): IGNORECASE (1), SINGLELINE (2, "." also matches
  the CR and LF of a line break) and MULTILINE (4, "^" and "$" also match next to each CR LF
  inside the subject); re's flags are refused, since re.I is 2.
- The line break is CR LF: "\\n" in a pattern matches CR LF, "$" matches at the end and
  before a final CR LF, "." does not match either character of a CR LF pair but matches a
  lone LF or CR.
- "." and a bracket expression match one UTF-16 unit, so a character above U+FFFF is two
  of them; a span that covers half of such a character is widened to all of it. A str that
  holds a lone high surrogate followed by a lone low one is seen as one such character.
- Groups are numbered only: no named groups (groupdict() and groupindex are empty,
  lastgroup is None), back references \\1 to \\9, at most 31 groups.
- Replacement templates (sub, subn, expand) use $0 to $9 for the match and its groups and
  $$ for "$"; re's \\1 and \\g<1> are plain text here.
- Word characters (\\w, \\b) are ASCII letters, digits, "_", U+0080 and U+00FF.
- After an empty match, the next search starts one character later; re first tries a
  non-empty match at the same place (re.findall(r"^|\\w+", "ab") is ['', 'ab'], quarn's
  ['', 'b']).
- A subject longer than subject_length units (default 32766) raises quarn.error number 6
  (kind SUBJECT_LENGTH) at once, before it is converted, instead of being searched: raise
  subject_length for longer ones.
"""

from __future__ import annotations

from typing import Any, Callable, Iterator, Optional, Union

from . import _quarn, analysis
from ._quarn import ErrorKind, Flag, Match, MatchIterator, Pattern, Text, error
from .analysis import ClassMember, Diagnostic, ExplainNode, Facts, Severity

__all__ = [
    "Flag", "IGNORECASE", "I", "SINGLELINE", "S", "MULTILINE", "M",
    "Match", "MatchIterator", "Pattern", "Text", "error", "ErrorKind",
    "ClassMember", "Diagnostic", "ExplainNode", "Facts", "Severity",
    "compile", "search", "match", "fullmatch", "finditer", "findall", "sub", "subn", "split",
    "purge",
]

__version__: str = _quarn.__version__

IGNORECASE = I = Flag.IGNORECASE
SINGLELINE = S = Flag.SINGLELINE
MULTILINE = M = Flag.MULTILINE

_DEPTH = 1000
_SUBJECT_LENGTH = 32766
_MAX_CACHED = 512
_cache: dict[tuple[type, Any, int, bool], Pattern] = {}

PatternText = Union[str, bytes, Pattern]
Subject = Union[str, bytes, bytearray, memoryview, Text]
Replacement = Union[str, bytes, Callable[[Match], Any]]


def compile(pattern: PatternText, flags: Union[Flag, int] = 0, *, check: bool = True) -> Pattern:
    """Compiles pattern (str or bytes) with flags, keeping the last compiled patterns.

    Raises quarn.error when the pattern does not compile or, with check (the default, as
    re.compile), when the engine's diagnostics find a fault that a search could meet; with
    check=False such a fault is raised only by the searches that reach it, as the legacy
    calls do. A compiled pattern is given back as it is (with flags 0). TypeError for flags
    that are not quarn's.
    """
    if isinstance(pattern, Pattern):
        if flags:
            raise ValueError("cannot process flags argument with a compiled pattern")
        return pattern
    key = (type(pattern), pattern, _quarn.flag_value(flags), check)
    compiled = _cache.get(key)
    if compiled is None:
        compiled = Pattern(pattern, flags, check=check)
        if len(_cache) >= _MAX_CACHED:
            _cache.clear()
        _cache[key] = compiled
    return compiled


def purge() -> None:
    """Forgets the patterns that compile() keeps."""
    _cache.clear()


def search(pattern: PatternText, string: Subject, flags: Union[Flag, int] = 0, *,
           depth: int = _DEPTH, subject_length: int = _SUBJECT_LENGTH,
           steps: int = 0) -> Optional[Match]:
    """The leftmost match of pattern in string, or None."""
    return compile(pattern, flags).search(string, depth=depth, subject_length=subject_length,
                                          steps=steps)


def match(pattern: PatternText, string: Subject, flags: Union[Flag, int] = 0, *,
          depth: int = _DEPTH, subject_length: int = _SUBJECT_LENGTH,
          steps: int = 0) -> Optional[Match]:
    """The match of pattern at the beginning of string, or None."""
    return compile(pattern, flags).match(string, depth=depth, subject_length=subject_length,
                                         steps=steps)


def fullmatch(pattern: PatternText, string: Subject, flags: Union[Flag, int] = 0,
              *, depth: int = _DEPTH, subject_length: int = _SUBJECT_LENGTH,
              steps: int = 0) -> Optional[Match]:
    """The match of pattern that covers all of string (trying its every path), or None."""
    return compile(pattern, flags).fullmatch(string, depth=depth,
                                             subject_length=subject_length, steps=steps)


def finditer(pattern: PatternText, string: Subject, flags: Union[Flag, int] = 0,
             *, depth: int = _DEPTH, subject_length: int = _SUBJECT_LENGTH,
             steps: int = 0) -> Iterator[Match]:
    """An iterator over the non-overlapping matches of pattern in string, searching lazily."""
    return compile(pattern, flags).finditer(string, depth=depth,
                                            subject_length=subject_length, steps=steps)


def findall(pattern: PatternText, string: Subject, flags: Union[Flag, int] = 0, *,
            depth: int = _DEPTH, subject_length: int = _SUBJECT_LENGTH,
            steps: int = 0) -> list[Any]:
    """The non-overlapping matches of pattern in string as a list, as re.findall."""
    return compile(pattern, flags).findall(string, depth=depth, subject_length=subject_length,
                                           steps=steps)


def sub(pattern: PatternText, repl: Replacement, string: Subject, count: int = 0,
        flags: Union[Flag, int] = 0, *, depth: int = _DEPTH,
        subject_length: int = _SUBJECT_LENGTH, steps: int = 0) -> Any:
    """string with the first count (0: all) matches of pattern replaced by repl.

    repl is a template ($0 to $9 for the match and its groups, $$ for "$") or a function
    of the match that returns the replacement.
    """
    return compile(pattern, flags).sub(repl, string, count, depth=depth,
                                       subject_length=subject_length, steps=steps)


def subn(pattern: PatternText, repl: Replacement, string: Subject, count: int = 0,
         flags: Union[Flag, int] = 0, *, depth: int = _DEPTH,
         subject_length: int = _SUBJECT_LENGTH, steps: int = 0) -> tuple[Any, int]:
    """As sub(), and the number of replacements made: (text, number)."""
    return compile(pattern, flags).subn(repl, string, count, depth=depth,
                                        subject_length=subject_length, steps=steps)


def split(pattern: PatternText, string: Subject, maxsplit: int = 0,
          flags: Union[Flag, int] = 0, *, depth: int = _DEPTH,
          subject_length: int = _SUBJECT_LENGTH, steps: int = 0) -> list[Any]:
    """The pieces of string between the matches of pattern, with the groups' texts, as
    re.split."""
    return compile(pattern, flags).split(string, maxsplit, depth=depth,
                                         subject_length=subject_length, steps=steps)
