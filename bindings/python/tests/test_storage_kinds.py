"""The same calls on the same characters kept in each of a str's storage kinds, and in bytes.

A str of characters up to U+00FF is kept in one byte per character and searched in place as
Latin-1; with one character up to U+FFFF it is kept in two bytes per character (UTF-16 units
in place), with one above U+FFFF in four (converted). bytes are searched in place as Latin-1
too, a bytearray is converted on every call. Every answer must be the same, whichever way the
text reaches the engine."""

import gc

import pytest

import quarn

I, M, S = quarn.IGNORECASE, quarn.MULTILINE, quarn.SINGLELINE

# (pattern, flags, subject): the subject is Latin-1; the cases lean on what differs between
# bytes and units: characters from U+0080 up, case folding, word and space classes, CR LF.
CASES = [
    ("License", 0, "GNU General Public License, License v3"),
    ("caf\u00e9", I, "CAF\u00c9 caf\u00e9 Caf\u00c9 cafe"),
    ("\u00ff+", I, "a\u00ff\u00ffb\u00ff"),
    ("\u0178", I, "y\u00ff Y"),  # the capital of U+00FF is not Latin-1
    (r"\b\w+\b", 0, "na\u00efve \u00e9t\u00e9 x_1 \u00aa\u00b5\u00ff\u0080"),
    (r"\s+", 0, "a\u00a0b\x85c \t\x0bd\r\ne"),
    (r"^\w+$", M, "ab\r\ncd\r\n\u00e9f\r\n"),
    (r"a.c", 0, "a\rc a\r\nc a\u00e7c a\nc"),
    (r"a.c", S, "a\rc a\r\nc a\u00e7c"),
    (r"x*", 0, "\u00e9x\u00e9xx"),
    (r"(\w)(\d)?", 0, "\u00e01 b \u00ff2"),
    (r"(\w+) \1", I, "\u00c9t\u00e9 \u00e9T\u00c9 no NO"),
    ("[\u00c0-\u00d6]+", I, "\u00e0\u00e9\u00f6\u00f7\u00d7\u00c4"),
    (r"[^a-z]", 0, "ab\u00ff\x00c"),
    ("\x00.", 0, "a\x00b\x00"),
    (r"\W+", 0, "\u00bf\u00a1 hola! \u00d7\u00f7"),
]


def like(subject, template):
    """template as an object of the subject's kind."""
    return template if isinstance(subject, str) else template.encode("latin-1")


def outcome(match):
    if match is None:
        return None
    expanded = match.expand(like(match.string, "[$1|$0]"))
    return match.span(), match.regs, match.groups(), match.lastindex, expanded


# The calls of re's API that read positions, each up to endpos: the characters after it
# (which make the storage wider) are never read.
WINDOWED = {
    "search": lambda p, s, end: outcome(p.search(s, 0, end)),
    "search from 2": lambda p, s, end: outcome(p.search(s, 2, end)),
    "search short": lambda p, s, end: outcome(p.search(s, 0, end - 3)),
    "match": lambda p, s, end: outcome(p.match(s, 0, end)),
    "match at 1": lambda p, s, end: outcome(p.match(s, 1, end)),
    "fullmatch": lambda p, s, end: outcome(p.fullmatch(s, 0, end)),
    "fullmatch short": lambda p, s, end: outcome(p.fullmatch(s, 1, end - 1)),
    "finditer": lambda p, s, end: [outcome(m) for m in p.finditer(s, 0, end)],
    "finditer from 3": lambda p, s, end: [outcome(m) for m in p.finditer(s, 3, end)],
    "findall": lambda p, s, end: p.findall(s, 0, end),
    "findall short": lambda p, s, end: p.findall(s, 1, end - 2),
    "Text": lambda p, s, end: [outcome(m) for m in p.finditer(quarn.Text(s), 0, end)],
}

# The calls that read the whole subject.
WHOLE = {
    **{name: (lambda call: lambda p, s: call(p, s, len(s)))(call)
       for name, call in WINDOWED.items()},
    "sub": lambda p, s: p.sub(like(s, "<$1$0$$>"), s),
    "subn twice": lambda p, s: p.subn(like(s, "[$0]"), s, 2),
    "sub by function": lambda p, s: p.sub(lambda m: m.group()[::-1], s),
    "sub of a Text": lambda p, s: p.sub(like(s, "<$0>"), quarn.Text(s)),
    "split": lambda p, s: p.split(s),
    "split once": lambda p, s: p.split(s, 1),
}


def as_str(answer):
    """The answer of a search of bytes with the bytes read as Latin-1 characters."""
    if isinstance(answer, (bytes, bytearray)):
        return answer.decode("latin-1")
    if isinstance(answer, (list, tuple)):
        return type(answer)(as_str(a) for a in answer)
    return answer


def latin1_cases():
    for pattern, flags, subject in CASES:
        try:
            yield pattern.encode("latin-1"), flags, subject
        except UnicodeEncodeError:
            continue


@pytest.mark.parametrize("pattern,flags,subject", CASES)
@pytest.mark.parametrize("call", WINDOWED)
def test_every_storage_kind_answers_alike(pattern, flags, subject, call):
    compiled = quarn.compile(pattern, flags)
    end = len(subject)
    one_byte = WINDOWED[call](compiled, subject, end)
    # The wider character comes far after the end, as in a long text.
    for wider in ("\u0100", "\ufffd", "\U0001f600"):
        text = subject + " " * 1000 + wider
        assert WINDOWED[call](compiled, text, end) == one_byte, (call, wider)


@pytest.mark.parametrize("pattern,flags,subject", list(latin1_cases()))
@pytest.mark.parametrize("call", WHOLE)
def test_latin1_in_place_answers_as_converted(pattern, flags, subject, call):
    str_answer = WHOLE[call](quarn.compile(pattern.decode("latin-1"), flags), subject)
    compiled = quarn.compile(pattern, flags)
    raw = subject.encode("latin-1")
    converted = WHOLE[call](compiled, bytearray(raw))
    assert as_str(converted) == str_answer
    assert as_str(WHOLE[call](compiled, raw)) == str_answer


@pytest.mark.parametrize("make", [lambda n: "\u00e9x" * n, lambda n: b"\xe9x" * n])
def test_a_subject_read_in_place_outlives_its_callers_reference(make):
    # A subject made here and dropped: the iterator and its matches keep it, and its storage,
    # alive, whatever is allocated meanwhile.
    iterator = quarn.compile("x" if isinstance(make(1), str) else b"x").finditer(
        make(3000), subject_length=10**6)
    first = next(iterator)
    gc.collect()
    filler = [make(3000) * 2 for _ in range(50)]  # noqa: F841 (kept while the search runs)
    rest = list(iterator)
    assert [first.span()] + [m.span() for m in rest] == [(k, k + 1) for k in range(1, 6000, 2)]
    assert first.string == make(3000) and rest[-1].group() in ("x", b"x")
