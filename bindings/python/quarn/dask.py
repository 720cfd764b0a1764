"""Every match in many files, searched by Dask workers: on the processes of one machine or
on a cluster.

    from dask.distributed import Client
    import quarn.dask

    client = Client("tcp://scheduler:8786")          # or Client() for a local cluster
    rows = quarn.dask.read_matches("logs/*.txt", r"error (\\d+)").compute()
    counts = quarn.dask.count_lines("logs/*.txt", "timeout").compute()

Each file is one task: the worker reads it, decodes it (encoding and errors as open() takes
them), cuts it into lines without their line ends (so "$" is the end of the line) and
searches every line with the compiled pattern, which travels to the workers by pickling.
A file that does not decode raises ValueError naming the file and the byte; a search that
ends in an error raises quarn.error naming the file and the line. Both reach the caller of
compute(), and no line is ever left out of a result silently.
"""

from __future__ import annotations

import glob
import os
from typing import Any, Iterable, Union, cast

import pandas  # type: ignore[import]  # Debian's pandas has no type information
from dask.dataframe.core import DataFrame
from dask.dataframe.io.io import from_delayed
from dask.delayed import delayed

import quarn

Paths = Union[str, "os.PathLike[str]", Iterable[Union[str, "os.PathLike[str]"]]]

_LIMITS = ("depth", "subject_length", "steps")


def files(paths: Paths) -> list[str]:
    """The files that paths names: a path, a glob pattern, or a list of either; in order,
    each glob sorted. FileNotFoundError for a name that matches nothing."""
    names = [paths] if isinstance(paths, (str, os.PathLike)) else list(paths)
    found: list[str] = []
    for name in (os.fspath(name) for name in names):
        matched = sorted(glob.glob(name, recursive=True)) if glob.has_magic(name) else [name]
        if not matched or not all(os.path.isfile(path) for path in matched):
            raise FileNotFoundError(f"no file matches {name!r}")
        found.extend(matched)
    return found


def _lines(path: str, encoding: str, errors: str) -> list[str]:
    with open(path, "rb") as file:
        data = file.read()
    try:
        text = data.decode(encoding, errors)
    except UnicodeDecodeError as error:
        raise ValueError(
            f"{path}: not {error.encoding} at byte {error.start} ({error.reason}); "
            "pass errors='surrogateescape' or errors='replace' to read it anyway") from None
    lines = text.split("\n")
    if lines[-1] == "":
        lines.pop()  # the end of the last line, not a line of its own
    return [line[:-1] if line.endswith("\r") else line for line in lines]


def _columns(groups: int) -> list[str]:
    return ["path", "line", "start", "end", "match"] + [f"group{n}" for n in range(1, groups + 1)]


def _empty_matches(groups: int) -> pandas.DataFrame:
    frame = pandas.DataFrame({name: pandas.Series(dtype=object) for name in _columns(groups)})
    return frame.astype({"line": "int64", "start": "int64", "end": "int64"})


def _search_file(path: str, pattern: quarn.Pattern, encoding: str, errors: str,
                 limits: dict[str, int]) -> pandas.DataFrame:
    rows: list[tuple[Any, ...]] = []
    for number, line in enumerate(_lines(path, encoding, errors), 1):
        try:
            for m in pattern.finditer(line, **limits):
                rows.append((path, number, m.start(), m.end(), m.group()) + m.groups())
        except quarn.error as error:
            raise _located(error, path, number) from None
    if not rows:
        return _empty_matches(pattern.groups)
    frame = pandas.DataFrame.from_records(rows, columns=_columns(pattern.groups))
    return frame.astype({"line": "int64", "start": "int64", "end": "int64"})


def _count_file(path: str, pattern: quarn.Pattern, encoding: str, errors: str,
                limits: dict[str, int]) -> pandas.DataFrame:
    lines = _lines(path, encoding, errors)
    matching = 0
    for number, line in enumerate(lines, 1):
        try:
            matching += pattern.search(line, **limits) is not None
        except quarn.error as error:
            raise _located(error, path, number) from None
    return pandas.DataFrame({"path": [path], "lines": [len(lines)], "matching": [matching]})


def _located(error: quarn.error, path: str, line: int) -> quarn.error:
    """The error of a search, saying where: it pickles with its number, kind and position."""
    located = quarn.error(f"{path}:{line}: {error}")
    located.number = error.number
    located.kind = error.kind
    located.position = error.position
    return located


def read_matches(paths: Paths, pattern: Union[str, quarn.Pattern],
                 flags: Union[quarn.Flag, int] = 0, *, encoding: str = "utf-8",
                 errors: str = "strict", **limits: int) -> DataFrame:
    """A Dask DataFrame of every match of pattern in the lines of the files.

    paths is a path, a glob pattern or a list of either. The columns are path, line (from
    1), start and end (in the line), match, and group1 to groupN (None for a group that took
    no part); one partition per file, rows in the order of the files and their lines.
    encoding and errors decode the files as open() does; depth, subject_length and steps
    are the limits of each search. A fault of the pattern raises quarn.error here, before any
    file is read, unless the pattern was compiled with check=False.
    """
    compiled = quarn.compile(pattern, flags)
    _check_limits(limits)
    parts = [delayed(_search_file)(path, compiled, encoding, errors, limits)
             for path in files(paths)]
    # A DataFrame, as its meta is one.
    return cast(DataFrame, from_delayed(parts, meta=_empty_matches(compiled.groups),
                                        verify_meta=False))


def count_lines(paths: Paths, pattern: Union[str, quarn.Pattern],
                flags: Union[quarn.Flag, int] = 0, *, encoding: str = "utf-8",
                errors: str = "strict", **limits: int) -> DataFrame:
    """A Dask DataFrame with one row per file: path, lines (how many it has) and matching
    (how many have a match of pattern). Arguments as read_matches()."""
    compiled = quarn.compile(pattern, flags)
    _check_limits(limits)
    parts = [delayed(_count_file)(path, compiled, encoding, errors, limits)
             for path in files(paths)]
    meta = pandas.DataFrame({"path": pandas.Series(dtype=object),
                             "lines": pandas.Series(dtype="int64"),
                             "matching": pandas.Series(dtype="int64")})
    return cast(DataFrame, from_delayed(parts, meta=meta, verify_meta=False))


def _check_limits(limits: dict[str, int]) -> None:
    unknown = set(limits) - set(_LIMITS)
    if unknown:
        raise TypeError(f"unexpected keyword arguments: {', '.join(sorted(unknown))}")
