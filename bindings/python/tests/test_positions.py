"""Positions of str subjects whose characters do not all fit 16 bits, with lone surrogates
anywhere: the engine searches UTF-16 units, every answer is in the str's own positions."""

import random
import re

import pytest

import quarn

# Characters of one unit (ASCII, Latin-1, above U+E000), of two units, and lone surrogates.
ONE_UNIT = ["a", "b", " ", "\u00e9", "\uff71", "\ue000"]
TWO_UNITS = ["\U0001F600", "\U00010000", "\U0010FFFF"]
LONE = ["\ud83d", "\ude00", "\udc80", "\ud800", "\udfff"]


def random_text(rng, length):
    """A str that never holds a lone high surrogate right before a lone low one: those two
    are one character to the engine (they are a pair in UTF-16)."""
    chars = []
    for _ in range(length):
        pool = rng.choice([ONE_UNIT, TWO_UNITS, LONE])
        char = rng.choice(pool)
        if chars and "\ud800" <= chars[-1] <= "\udbff" and "\udc00" <= char <= "\udfff":
            char = "a"
        chars.append(char)
    return "".join(chars)


def test_the_reported_lone_surrogate_cases():
    m = quarn.search("\udc80", "\U0001F600\udc80x")
    assert (m.span(), m.group()) == ((1, 2), "\udc80")
    # A file read with errors="surrogateescape": its bad bytes are lone low surrogates.
    text = b"\xf0\x9f\x98\x80\xff x".decode("utf-8", "surrogateescape")
    assert quarn.search(r".\s", text).span() == re.search(r".\s", text).span() == (1, 3)
    assert quarn.sub("\udcff", "?", text) == "\U0001F600? x"


@pytest.mark.parametrize("seed", range(40))
def test_literal_spans_are_those_of_re(seed):
    rng = random.Random(seed)
    for _ in range(50):
        text = random_text(rng, rng.randrange(0, 14))
        # A pattern of characters that are no surrogates, taken from the text or not.
        pattern = "".join(rng.choice(ONE_UNIT + TWO_UNITS) for _ in range(rng.randrange(1, 3)))
        if text and rng.random() < 0.6:
            start = rng.randrange(len(text))
            piece = text[start:start + rng.randrange(1, 3)]
            if not any("\ud800" <= c <= "\udfff" for c in piece):
                pattern = piece
        expected = [m.span() for m in re.finditer(re.escape(pattern), text)]
        found = list(quarn.finditer(re.escape(pattern), text))
        assert [m.span() for m in found] == expected, (pattern, text)
        assert all(m.group() == text[m.start():m.end()] == pattern for m in found)
        pos, endpos = rng.randrange(-2, len(text) + 3), rng.randrange(-2, len(text) + 3)
        ours = quarn.compile(re.escape(pattern)).search(text, pos, endpos)
        theirs = re.compile(re.escape(pattern)).search(text, pos, endpos)
        assert (ours and ours.span()) == (theirs and theirs.span()), (pattern, text, pos, endpos)


@pytest.mark.parametrize("seed", range(20))
def test_every_unit_maps_back_into_the_text(seed):
    # "." takes one unit: half of a character above U+FFFF widens to the whole character.
    rng = random.Random(seed)
    dot = quarn.compile("(.)", quarn.SINGLELINE)
    for _ in range(40):
        text = random_text(rng, rng.randrange(0, 12))
        matches = list(dot.finditer(text))
        assert len(matches) == len(text) + sum(c > "\uffff" for c in text)
        covered = []
        for m in matches:
            assert m.group() == m.group(1) == text[m.start():m.end()]
            assert m.end() - m.start() == 1
            covered.append(m.start())
        assert sorted(set(covered)) == list(range(len(text)))
        assert quarn.sub(".", "$0", text, flags=quarn.SINGLELINE) == text
        assert "".join(quarn.split("(.)", text, flags=quarn.SINGLELINE)[1::2]) == "".join(
            text[m.start()] for m in matches)


def test_empty_matches_land_between_characters():
    assert [m.span() for m in quarn.finditer("", "\U0001F600a")] == [(0, 0), (1, 1), (2, 2)]
    # An empty match between the halves of a character is after it.
    m = quarn.search("(?=\ude00)", "\U0001F600")
    assert m.span() == (1, 1)


def test_a_long_str_of_each_kind_is_searched_where_its_characters_are():
    for filler in ("a", "\u00e9", "\u0100", "\U0001F600"):
        text = filler * 20000 + "needle"
        m = quarn.compile("needle").search(text, subject_length=10 ** 6)
        assert m.span() == (20000, 20006)
        assert quarn.Text(text).string is text
        assert quarn.compile("needle").search(quarn.Text(text), subject_length=10 ** 6).span() == (
            20000, 20006)
