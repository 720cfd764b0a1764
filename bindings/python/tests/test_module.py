"""The Python module as a user of re would use it."""

import pickle
import threading

import pytest

import quarn


def test_finditer_advances_past_empty_matches_like_re():
    assert [m.span() for m in quarn.finditer("x*", "abxd")] == [(0, 0), (1, 1), (2, 3), (3, 3), (4, 4)]
    assert quarn.split("x*", "abc") == ["", "a", "b", "c", ""]


def test_sub_with_a_template_or_a_function():
    date = quarn.compile(r"(\d{4})-(\d\d)")
    assert date.sub("$2/$1 $$", "on 2026-12, 2027-01") == "on 12/2026 $, 01/2027 $"
    assert date.sub(lambda m: m.group(2), "on 2026-12", count=1) == "on 12"
    assert quarn.sub("a", "b", "aaa", count=2) == "bba"


def test_split_keeps_the_groups_as_re_does():
    assert quarn.split(r"(-)|;", "a-b;c") == ["a", "-", "b", None, "c"]


def test_match_objects():
    m = quarn.search(r"(\w+)@(\w+)?(x)?", "mail to ann@ now")
    assert (m.group(), m.group(1), m[1], m.group(1, 2)) == ("ann@", "ann", "ann", ("ann", None))
    assert m.groups() == ("ann", None, None) and m.groups("") == ("ann", "", "")
    assert (m.span(), m.start(1), m.end(1), m.span(2)) == ((8, 12), 8, 11, (-1, -1))
    assert m.re.groups == 3 and m.string == "mail to ann@ now"
    with pytest.raises(IndexError):
        m.group(4)


def test_positions_are_those_of_the_subject():
    # The emoji is one character of a str but two units inside the engine.
    m = quarn.search("b(.)c", "\U0001F600ab\u00e9c")
    assert m.span() == (2, 5) and m.group(1) == "\u00e9"
    assert quarn.search("b(.)c", "\U0001F600ab\u00e9c", 0).start() == 2
    assert quarn.compile("b").search("\U0001F600b", 1).span() == (1, 2)
    # Characters from U+E000 up, before and after one of two units, are one unit each.
    m = quarn.search("b(.)", "a\uff71b\U0001F600\ue000")
    assert m.span() == (2, 4) and m.group(1) == "\U0001F600"
    assert quarn.search("\ue000", "a\uff71b\U0001F600\ue000", 3).span() == (4, 5)
    # A bytes subject is one character per byte.
    m = quarn.search(b"\xe9(.)", b"caf\xe9xy")
    assert m.span() == (3, 5) and m.group(1) == b"x"
    assert quarn.sub(b"x", b"$0$0", b"axb") == b"axxb"


def test_errors_are_raised_never_taken_for_no_match():
    with pytest.raises(quarn.error) as raised:
        quarn.compile("ab(cd")
    assert raised.value.number == 20052 and raised.value.position == 2
    with pytest.raises(quarn.error, match="Maximum number of iterations"):
        quarn.search("a*", "a" * 600)
    assert quarn.compile("a*").search("a" * 600, depth=2000).end() == 600
    with pytest.raises(quarn.error) as raised:
        quarn.compile("(a|aa)+[bc]").search("a" * 60, steps=1000)
    assert raised.value.number == 20056
    with pytest.raises(quarn.error) as raised:
        quarn.search(r"x{3,1}", "xxx")
    assert raised.value.position == 1
    with pytest.raises(quarn.error):
        quarn.compile("a", quarn.S | quarn.M)


def test_patterns_pickle_by_pattern_and_flags():
    pattern = quarn.compile("colou?r", quarn.IGNORECASE)
    copy = pickle.loads(pickle.dumps(pattern))
    assert (copy.pattern, copy.flags) == ("colou?r", quarn.IGNORECASE)
    assert copy.search("COLOR").span() == (0, 5)


def test_threads_share_a_pattern():
    pattern = quarn.compile(r"(\w+)@(\w+)\.org")
    texts = [f"mail user{i}@host{i}.org now" for i in range(300)]
    expected = [pattern.search(t).span(2) for t in texts]
    results = []

    def run():
        results.append([pattern.search(t).span(2) for t in texts])

    threads = [threading.Thread(target=run) for _ in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [expected] * 8
