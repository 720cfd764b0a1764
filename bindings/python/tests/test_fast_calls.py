"""The calls made per search and per match (Pattern.search, match, fullmatch, groups, next() of
finditer, Match.group, span, start, end) read their arguments themselves and hand any other
shape to the general binding: every shape of arguments, every kind of subject and every edge
of pos and endpos must answer as re does, or fail with the same error as before."""

import enum
import gc
import re
import sys
import threading
import time
import weakref

import pytest

import quarn

PATTERN = quarn.compile(r"(b)(c)?")
RE_PATTERN = re.compile(r"(b)(c)?")
SUBJECT = "abcab"


class Two(enum.IntEnum):
    TWO = 2


def regs(match):
    return None if match is None else match.regs


# (call on a pattern and the subject, the same call on re's pattern): how the arguments are
# given never changes the answer.
SAME_AS_RE = [
    ("positional", lambda p, s: p.search(s)),
    ("pos", lambda p, s: p.search(s, 2)),
    ("pos and endpos", lambda p, s: p.search(s, 1, 4)),
    ("keywords", lambda p, s: p.search(s, pos=2, endpos=5)),
    ("string by keyword", lambda p, s: p.search(string=s, endpos=4)),
    ("keywords in any order", lambda p, s: p.search(endpos=4, string=s, pos=2)),
    ("keyword built at run time", lambda p, s: p.search(s, **{"".join(["p", "os"]): 2})),
    ("negative pos", lambda p, s: p.search(s, -7)),
    ("endpos past the end", lambda p, s: p.search(s, 0, 99)),
    ("endpos before pos", lambda p, s: p.search(s, 3, 1)),
    ("endpos zero", lambda p, s: p.search(s, 0, 0)),
    ("pos at the end", lambda p, s: p.search(s, len(s))),
    ("huge endpos", lambda p, s: p.search(s, 0, 2**62)),
    ("bool pos", lambda p, s: p.search(s, True)),
    ("IntEnum pos", lambda p, s: p.search(s, Two.TWO)),
    ("match at pos", lambda p, s: p.match(s, 1)),
    ("match by keyword", lambda p, s: p.match(s, pos=3, endpos=5)),
    ("match nowhere", lambda p, s: p.match(s)),
    ("fullmatch", lambda p, s: p.fullmatch(s, 1, 3)),
    ("fullmatch by keyword", lambda p, s: p.fullmatch(s, endpos=2, pos=1)),
    ("fullmatch too long", lambda p, s: p.fullmatch(s, 1, 4)),
]


@pytest.mark.parametrize("name, call", SAME_AS_RE, ids=[c[0] for c in SAME_AS_RE])
def test_argument_shapes_answer_as_re(name, call):
    for subject in (SUBJECT, SUBJECT.encode()):
        pattern = PATTERN if isinstance(subject, str) else quarn.compile(rb"(b)(c)?")
        theirs = RE_PATTERN if isinstance(subject, str) else re.compile(rb"(b)(c)?")
        found, expected = call(pattern, subject), call(theirs, subject)
        assert regs(found) == regs(expected), name
        if found:
            assert (found.pos, found.endpos, found.group(), found.groups()) == (
                expected.pos, expected.endpos, expected.group(), expected.groups())


def test_limits_by_keyword_reach_the_engine():
    deep = quarn.compile("a*")
    subject = "a" * 400
    assert deep.search(subject).span() == (0, 400)
    assert deep.search(subject * 3, 0, depth=100000).span() == (0, 1200)
    for call in (lambda: deep.search(subject, depth=50), lambda: deep.match(subject, depth=50),
                 lambda: deep.fullmatch(subject, 0, 400, depth=50),
                 lambda: quarn.compile("(a|b)*c").search("ab" * 100, steps=3)):
        with pytest.raises(quarn.error):
            call()
    with pytest.raises(quarn.error) as refused:
        deep.search(subject, subject_length=10)
    assert refused.value.kind == quarn.ErrorKind.SUBJECT_LENGTH
    assert deep.search(subject, 0, 5, subject_length=10).span() == (0, 5)


BINDING_ERROR = "incompatible function arguments"

# Calls the binding refuses, with the error it gives.
REFUSED = [
    ("no subject", lambda: PATTERN.search(), TypeError, BINDING_ERROR),
    ("unknown keyword", lambda: PATTERN.search(SUBJECT, foo=1), TypeError, BINDING_ERROR),
    ("string twice", lambda: PATTERN.search(SUBJECT, string=SUBJECT), TypeError, BINDING_ERROR),
    ("pos twice", lambda: PATTERN.match(SUBJECT, 1, pos=1), TypeError, BINDING_ERROR),
    ("depth by position", lambda: PATTERN.search(SUBJECT, 0, 5, 1000), TypeError, BINDING_ERROR),
    ("float pos", lambda: PATTERN.search(SUBJECT, 1.0), TypeError, BINDING_ERROR),
    ("str endpos", lambda: PATTERN.fullmatch(SUBJECT, 0, "5"), TypeError, BINDING_ERROR),
    ("negative depth", lambda: PATTERN.search(SUBJECT, depth=-1), TypeError, BINDING_ERROR),
    ("depth past 32 bits", lambda: PATTERN.search(SUBJECT, depth=2**32), TypeError,
     BINDING_ERROR),
    ("subject_length past 64 bits", lambda: PATTERN.search(SUBJECT, subject_length=2**64),
     TypeError, BINDING_ERROR),
    ("negative steps", lambda: PATTERN.match(SUBJECT, steps=-1), TypeError, BINDING_ERROR),
    ("pos past ssize_t", lambda: PATTERN.search(SUBJECT, 2**70), OverflowError,
     "cannot fit 'int' into an index-sized integer"),
    ("not a subject", lambda: PATTERN.search(5), TypeError,
     "expected string or bytes-like object, got 'int'"),
    ("bytes to a str pattern", lambda: PATTERN.search(b"abc"), TypeError,
     "cannot use a string pattern on a bytes-like object"),
    ("str to a bytes pattern", lambda: quarn.compile(b"b").match("abc"), TypeError,
     "cannot use a bytes pattern on a string-like object"),
    ("Text of the other kind", lambda: PATTERN.fullmatch(quarn.Text(b"b")), TypeError,
     "cannot use a string pattern on a bytes-like object"),
    ("Pattern unbound", lambda: quarn.Pattern.search(SUBJECT, SUBJECT), TypeError,
     "for 'quarn._quarn.Pattern' objects doesn't apply to a 'str' object"),
]


@pytest.mark.parametrize("name, call, error, message", REFUSED, ids=[c[0] for c in REFUSED])
def test_refused_calls_keep_their_errors(name, call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert message in str(raised.value), name


MATCH = PATTERN.search("xxbd")
RE_MATCH = RE_PATTERN.search("xxbd")

# Match accessors with their arguments, against re's match of the same text.
ACCESSORS = [
    ("span()", lambda m: m.span()),
    ("span(1)", lambda m: m.span(1)),
    ("span(2), no part", lambda m: m.span(2)),
    ("span(True)", lambda m: m.span(True)),
    ("span(IntEnum)", lambda m: m.span(Two.TWO)),
    ("start()", lambda m: m.start()),
    ("start(1)", lambda m: m.start(1)),
    ("end()", lambda m: m.end()),
    ("end(2)", lambda m: m.end(2)),
    ("group()", lambda m: m.group()),
    ("group(0)", lambda m: m.group(0)),
    ("group(1)", lambda m: m.group(1)),
    ("group(2), no part", lambda m: m.group(2)),
    ("group(1, 2, 0)", lambda m: m.group(1, 2, 0)),
    ("group(IntEnum)", lambda m: m.group(Two.TWO)),
]


@pytest.mark.parametrize("name, call", ACCESSORS, ids=[c[0] for c in ACCESSORS])
def test_match_accessors_answer_as_re(name, call):
    assert call(MATCH) == call(RE_MATCH), name


def test_match_accessors_take_the_group_by_keyword():
    assert (MATCH.span(group=1), MATCH.start(group=2), MATCH.end(group=0)) == (
        RE_MATCH.span(1), RE_MATCH.start(2), RE_MATCH.end(0))


@pytest.mark.parametrize("call", [
    lambda m: m.span(3), lambda m: m.span(-1), lambda m: m.start(2**70), lambda m: m.end("1"),
    lambda m: m.group(3), lambda m: m.group(-1), lambda m: m.group(0, 5), lambda m: m.span(None),
])
def test_match_accessors_refuse_groups_that_do_not_exist(call):
    with pytest.raises(IndexError, match="no such group"):
        call(MATCH)


@pytest.mark.parametrize("call", [
    lambda m: m.span(1, 2), lambda m: m.start(group=1, other=2), lambda m: m.end(1, group=1),
    lambda m: m.group(group=1), lambda m: m.span(grp=0),
])
def test_match_accessors_refuse_other_arguments_as_the_binding_does(call):
    with pytest.raises(TypeError, match=BINDING_ERROR):
        call(MATCH)


def fresh(text):
    """A copy of text that no constant or cache of the interpreter holds."""
    return text[:1] + text[1:]


# Subjects of every storage, with the span and group text that the pattern "é+(.)" finds.
SUBJECTS = [
    ("str of one byte per character", lambda: fresh("xxééy!"), (2, 5), "y"),
    ("str of two bytes per character", lambda: fresh("\u0100xééy!"), (2, 5), "y"),
    ("str of four bytes per character", lambda: fresh("\U0001F600xééy!"), (2, 5), "y"),
    ("Text of a str", lambda: quarn.Text(fresh("\U0001F600xééy!")), (2, 5), "y"),
]


@pytest.mark.parametrize("name, make, span, group", SUBJECTS, ids=[s[0] for s in SUBJECTS])
def test_a_match_outlives_its_subject_variable(name, make, span, group):
    pattern = quarn.compile("é+(.)")
    subject = make()
    expected = subject.string if isinstance(subject, quarn.Text) else subject
    matches = [pattern.search(subject), pattern.match(subject, span[0]),
               pattern.fullmatch(subject, span[0], span[1]), next(pattern.finditer(subject))]
    del subject
    gc.collect()
    for m in matches:
        assert (m.span(), m.group(1), m.string) == (span, group, expected), name


@pytest.mark.parametrize("kind", [bytes, bytearray, memoryview])
def test_bytes_like_subjects_outlive_their_variable(kind):
    subject = kind(b"xx\xe9\xe9y!")
    m = quarn.compile(b"\xe9+(.)").search(subject)
    del subject
    gc.collect()
    assert (m.span(), m.group(), m.group(1), m.start(1), m.end(1)) == ((2, 5), b"\xe9\xe9y", b"y",
                                                                      4, 5)


def test_matches_handed_to_a_replacement_function_stay_valid_after_sub():
    kept = []
    assert quarn.sub("(b)", lambda m: kept.append(m) or m.group(1).upper(), fresh("abcb")) == "aBcB"
    gc.collect()
    assert [(m.span(1), m.group(), m.string, m.re.pattern) for m in kept] == [
        ((1, 2), "b", "abcb", "(b)"), ((3, 4), "b", "abcb", "(b)")]


def test_a_match_can_be_weakly_referenced_and_is_freed():
    match = PATTERN.search(fresh("xxbc"))
    reference = weakref.ref(match)
    assert reference() is match
    del match
    gc.collect()
    assert reference() is None


def test_pos_and_endpos_around_characters_above_ffff_answer_as_re():
    subject = "a\U0001F600b\U0001F600c"
    for pattern in (r"\w", "b", "", "c$", "\U0001F600"):
        ours, theirs = quarn.compile(pattern), re.compile(pattern)
        for pos in range(-1, len(subject) + 2):
            for endpos in range(-1, len(subject) + 2):
                for method in ("search", "match", "fullmatch"):
                    found = getattr(ours, method)(subject, pos, endpos)
                    expected = getattr(theirs, method)(subject, pos, endpos)
                    if min(max(pos, 0), len(subject)) > min(max(endpos, 0), len(subject)):
                        assert found is None
                    else:
                        assert regs(found) == regs(expected), (pattern, method, pos, endpos)


def test_finditer_past_its_batches_gives_every_match_then_stops():
    subject = "License, " * 1000 + "end"
    ours = [m.span() for m in quarn.compile("License").finditer(subject, 3, len(subject) - 4)]
    assert ours == [m.span() for m in re.finditer("License", subject[:len(subject) - 4])
                    if m.start() >= 3]
    iterator = quarn.compile("x").finditer(subject)
    assert list(iterator) == [] and list(iterator) == []


def test_finditer_gives_the_matches_before_an_error_then_the_error_once():
    # Each run of "a" is a match until one is too long for the depth limit.
    subject = "ab" * 300 + "a" * 3000 + "b" + "ab" * 5
    iterator = quarn.compile("a+").finditer(subject, subject_length=10**6)
    found = []
    with pytest.raises(quarn.error) as raised:
        for m in iterator:
            found.append(m.span())
    assert raised.value.kind == quarn.ErrorKind.DEPTH_LIMIT
    assert found == [(2 * k, 2 * k + 1) for k in range(300)]
    assert list(iterator) == []


def test_other_threads_run_while_a_long_search_runs():
    subject = "xy" * (2 << 20)  # long enough for the search to release the GIL
    pattern = quarn.compile(r"(x|y)(x|y)q")
    counted, stop = [0], threading.Event()

    def count():
        while not stop.is_set():
            counted[0] += 1
            time.sleep(0)  # lets the main thread take the GIL back at once

    interval = sys.getswitchinterval()
    sys.setswitchinterval(100)  # no forced switch: the counter runs only when the GIL is free
    counter = threading.Thread(target=count)
    try:
        counter.start()
        before = counted[0]
        assert pattern.search(subject, subject_length=len(subject)) is None
        during = counted[0] - before
    finally:
        stop.set()
        sys.setswitchinterval(interval)
        counter.join()
    assert during > 0
