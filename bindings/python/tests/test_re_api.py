"""The re API where the pattern language agrees with re's: every function and method against
re on the same patterns, subjects, pos and endpos; and the bad input that re refuses."""

import copy
import re
import threading

import pytest

import quarn

# Patterns that mean the same to quarn and to re on subjects without line breaks.
PATTERNS = [r"a", r"a|ab", r"(a)(b)?", r"(\d+)-(\d+)", r"x*", r"[a-c]+?", r"(a|ab)(c|bcd)(d*)",
            r"\b\w+\b", r"(?=(\w))\w{2}", r"(a)\1", r"^\w", r"\w$", r"(?:ab)+|b", r""]
SUBJECTS = ["", "a", "ab", "abcd", "12-34 5-6", "aa ab abcd xx", "caab-ab"]


def clamp(position, subject):
    return min(max(position, 0), len(subject))


def spans(match):
    return None if match is None else match.regs


@pytest.mark.parametrize("pattern", PATTERNS)
def test_searches_with_pos_and_endpos_answer_as_re(pattern):
    ours, theirs = quarn.compile(pattern), re.compile(pattern)
    for subject in SUBJECTS:
        for pos in (-1, 0, 1, 2, 9):
            for endpos in (-1, 0, 2, 3, len(subject), 99):
                for method in ("search", "match", "fullmatch"):
                    found = getattr(ours, method)(subject, pos, endpos)
                    expected = getattr(theirs, method)(subject, pos, endpos)
                    if clamp(pos, subject) > clamp(endpos, subject):
                        # Nothing lies between them; re's match() still finds an empty
                        # match at pos, past endpos.
                        assert found is None
                        continue
                    assert spans(found) == spans(expected), (method, subject, pos, endpos)
                    if found:
                        assert (found.pos, found.endpos) == (expected.pos, expected.endpos)
                        assert found.lastindex == expected.lastindex
                        assert found.groups("-") == expected.groups("-")
                assert ours.findall(subject, pos, endpos) == theirs.findall(subject, pos, endpos)


@pytest.mark.parametrize("pattern", [p for p in PATTERNS if p not in ("x*", "")])
def test_iteration_replacement_and_split_answer_as_re(pattern):
    # Patterns that cannot match empty text: there re's rule after an empty match differs.
    ours, theirs = quarn.compile(pattern), re.compile(pattern)
    for subject in SUBJECTS:
        assert [m.regs for m in ours.finditer(subject, 1)] == [
            m.regs for m in theirs.finditer(subject, 1)]
        assert ours.split(subject) == theirs.split(subject)
        assert ours.split(subject, 1) == theirs.split(subject, 1)
        assert ours.subn("<$0|$1>" if ours.groups else "<$0>", subject) == theirs.subn(
            r"<\g<0>|\1>" if theirs.groups else r"<\g<0>>", subject)
        assert ours.sub(lambda m: m.group().upper(), subject, count=1) == theirs.sub(
            lambda m: m.group().upper(), subject, count=1)


def test_bytes_and_bytes_like_subjects():
    pattern = quarn.compile(rb"(\xe9)(.)")
    for subject in (b"caf\xe9!", bytearray(b"caf\xe9!"), memoryview(b"caf\xe9!")):
        m = pattern.search(subject)
        assert m.span(2) == (4, 5) and bytes(m.group(1)) == b"\xe9"
    assert pattern.sub(b"$2$1", b"caf\xe9!") == b"caf!\xe9"
    assert pattern.findall(b"\xe9a\xe9b") == [(b"\xe9", b"a"), (b"\xe9", b"b")]
    assert quarn.split(b",", b"a,b") == [b"a", b"b"]
    assert quarn.search(b"a", quarn.Text(b"xa")).span() == (1, 2)


def test_expand_lastindex_and_item_access():
    m = quarn.search(r"(\w+)@(\w+)?(x)?", "mail to ann@ now")
    assert m.expand("[$1|$2|$$|$9]") == "[ann||$|]"
    assert (m[0], m[1], m[2], m.lastindex, m.lastgroup) == ("ann@", "ann", None, 1, None)
    assert m.groupdict() == {} and m.re.groupindex == {}
    assert copy.copy(m) is m and copy.deepcopy(m.re) is m.re
    assert quarn.compile("(a)(b)").search("ab").lastindex == 2
    assert quarn.search("x", "x").lastindex is None
    with pytest.raises(TypeError):
        m.expand(b"$1")


def test_finditer_is_lazy_and_raises_where_the_error_is():
    # The third search meets the depth limit: the first two matches come before the error.
    found = quarn.compile("a+b|c").finditer("c ab " + "a" * 600 + " c")
    assert next(found).span() == (0, 1)
    assert next(found).span() == (2, 4)
    with pytest.raises(quarn.error) as raised:
        next(found)
    assert raised.value.number == 20052
    with pytest.raises(StopIteration):
        next(found)


def test_a_finditer_shared_by_threads_gives_every_match_once():
    found = quarn.compile(r"\d+").finditer(" ".join(map(str, range(3000))))
    seen, lock = [], threading.Lock()

    def run():
        while True:
            try:
                m = next(found)
            except StopIteration:
                return
            except ValueError:  # another thread is advancing it: try again
                continue
            with lock:
                seen.append(m.group())

    threads = [threading.Thread(target=run) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert sorted(seen, key=int) == [str(n) for n in range(3000)]


def raised(call):
    try:
        call()
    except Exception as error:  # noqa: BLE001 - the type is what is compared
        return type(error)
    return None


@pytest.mark.parametrize("call", [
    lambda m: m.sub(b"a", "\u20ac", b"xay"),
    lambda m: m.sub("a", b"b", "xay"),
    lambda m: m.search("a", b"a"),
    lambda m: m.search(b"a", "a"),
    lambda m: m.findall(b"a", bytearray(b"a")) and m.findall("a", bytearray(b"a")),
    lambda m: m.split("a", b"xay"),
    lambda m: m.search("a", 12),
    lambda m: m.search("a", None),
    lambda m: m.compile(12),
    lambda m: m.sub("a", lambda _: 5, "xay"),
    lambda m: m.sub("a", lambda _: b"b", "xay"),
    lambda m: m.search("a", "a").group("x"),
    lambda m: m.search("a", "a").group(1.0),
    lambda m: m.search("a", "a")[1],
    lambda m: m.search("a", "a").group(-1),
    lambda m: m.search("(a)", "a").span(2),
    lambda m: m.compile("a").search("abc", 1.0),
    lambda m: m.compile("a").search("abc", 2 ** 70),
    lambda m: m.compile(m.compile("a"), 1),
], ids=range(19))
def test_bad_input_raises_what_re_raises(call):
    assert raised(lambda: call(quarn)) == raised(lambda: call(re)) != None  # noqa: E711


@pytest.mark.parametrize("flags", [re.I, re.M, re.S, re.IGNORECASE | re.MULTILINE, 1.0, "i"])
def test_foreign_flags_are_refused(flags):
    with pytest.raises(TypeError) as error:
        quarn.compile("a", flags)
    if isinstance(flags, re.RegexFlag):
        assert "re.I is 2" in str(error.value)
    with pytest.raises(TypeError):
        quarn.search("a", "a", flags)


def test_flags_are_an_int_flag_of_the_engines_values():
    assert (quarn.IGNORECASE, quarn.SINGLELINE, quarn.MULTILINE) == (1, 2, 4)
    pattern = quarn.compile("a.b", quarn.I | quarn.S)
    assert pattern.flags == quarn.Flag.IGNORECASE | quarn.Flag.SINGLELINE
    assert isinstance(pattern.flags, quarn.Flag)
    assert repr(pattern) == "quarn.compile('a.b', quarn.IGNORECASE|quarn.SINGLELINE)"
    assert pattern.search("xA\r\nB") is None and pattern.search("xA\nB").span() == (1, 4)
    assert quarn.compile("a", 1) == quarn.compile("a", quarn.I) != quarn.compile("a")
    assert quarn.compile("a", 8).flags == 8  # bits without a meaning are kept, as the engine does


def test_module_functions_take_the_limits():
    with pytest.raises(quarn.error) as error:
        quarn.findall("a*", "a" * 600)
    assert error.value.number == 20052
    assert quarn.findall("a*", "a" * 600, depth=2000) == ["a" * 600, ""]
    assert quarn.fullmatch("a*?", "a" * 600, depth=2000).end() == 600
    with pytest.raises(quarn.error) as error:
        quarn.subn("(a|aa)+[bc]", "", "a" * 60, steps=1000)
    assert error.value.number == 20056
    with pytest.raises(quarn.error) as error:
        quarn.split("x", "y" * 40000)
    assert error.value.number == 6
    assert quarn.split("x", "y" * 40000 + "x", subject_length=50000) == ["y" * 40000, ""]


def test_a_hundred_megabyte_str():
    text = "a" * (100 << 20) + "needle"
    with pytest.raises(quarn.error) as error:
        quarn.search("needle", text)
    assert error.value.number == 6
    assert quarn.search("needle", text, subject_length=1 << 32).start() == 100 << 20


def test_patterns_pickle_and_compare():
    import pickle

    pattern = quarn.compile(b"colou?r", quarn.IGNORECASE)
    twin = pickle.loads(pickle.dumps(pattern))
    assert twin == pattern and hash(twin) == hash(pattern)
    assert twin.search(b"COLOR").span() == (0, 5)
    assert quarn.compile(pattern) is pattern
