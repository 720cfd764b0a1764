"""What the module tells about a pattern before any search: error kinds, the check at
compile, diagnostics, the explanation and the facts; and subjects too long for the limits,
refused before they are converted."""

import doctest
import json
import pickle

import pytest

import quarn
import quarn.analysis
from quarn import ErrorKind, Severity


def raised(call):
    with pytest.raises(quarn.error) as caught:
        call()
    return caught.value


# One number, several meanings: the kind tells them apart.
@pytest.mark.parametrize("call, number, kind", [
    (lambda: quarn.compile("ab(cd"), 20052, ErrorKind.PATTERN_SYNTAX),
    (lambda: quarn.search("a*", "a" * 600), 20052, ErrorKind.DEPTH_LIMIT),
    (lambda: quarn.compile("(?:" * 10000 + "a" + ")" * 10000), 6, ErrorKind.OVERFLOW),
    (lambda: quarn.search("a", "x" * 40000), 6, ErrorKind.SUBJECT_LENGTH),
    (lambda: quarn.search("(a|aa)+[bc]", "a" * 60, steps=1000), 20056, ErrorKind.STEP_BUDGET),
    (lambda: quarn.compile("a", quarn.S | quarn.M), 20053, ErrorKind.INVALID_OPTIONS),
    (lambda: quarn.compile("x{3,1}"), 20050, ErrorKind.PATTERN_SYNTAX),
], ids=["syntax", "depth", "overflow", "length", "steps", "options", "brace"])
def test_errors_have_a_kind(call, number, kind):
    error = raised(call)
    assert (error.number, error.kind) == (number, kind)
    assert str(error).startswith(f"Error #{number}: Error in Quarn.")


# compile() raises a fault wherever it stands, with the number, text and place that a search
# reaching it would report; check=False leaves it to the searches.
@pytest.mark.parametrize("pattern, subject, position, lazy_span", [
    ("x{3,1}", "xxx", 1, "error"),
    ("a|x{3,1}", "a", 3, (0, 1)),
    ("b|[z-a]", "b", 2, (0, 1)),
    ("a**", "a", 2, "error"),
    (r"(a)|\2", "a", 4, (0, 1)),
    ("\U0001F600|[z-a]", "\U0001F600", 2, (0, 1)),
    (b"\xe9|x{2,1}", b"\xe9", 3, (0, 1)),
])
def test_compile_raises_the_faults_that_check_false_leaves_to_searches(pattern, subject,
                                                                       position, lazy_span):
    error = raised(lambda: quarn.compile(pattern))
    assert error.kind is ErrorKind.PATTERN_SYNTAX and error.position == position
    with pytest.raises(quarn.error):
        quarn.search(pattern, subject)  # the module's functions compile as compile() does
    lazy = quarn.compile(pattern, check=False)
    assert lazy.check is False and repr(lazy).endswith(", check=False)")
    if lazy_span == "error":
        met = raised(lambda: lazy.search(subject))
        assert (str(met), met.kind, met.position) == (str(error), error.kind, error.position)
    else:
        assert lazy.search(subject).span() == lazy_span
    twin = pickle.loads(pickle.dumps(lazy))  # which a checked compile would refuse
    assert twin.check is False and twin == lazy


def test_the_check_is_part_of_what_compile_caches():
    assert quarn.compile("a|x{3,1}", check=False).check is False
    with pytest.raises(quarn.error):
        quarn.compile("a|x{3,1}")
    assert quarn.compile("ab").check is True


# Each row: pattern, then every diagnostic as (severity, code, start, end, error number).
@pytest.mark.parametrize("pattern, expected", [
    (r"x{2,4}\p{L}[z-a]", [(Severity.WARNING, "letter-escape", 6, 8, None),
                           (Severity.WARNING, "brace-count", 8, 11, None),
                           (Severity.ERROR, "fault", 11, 16, 20050)]),
    ("$*", [(Severity.WARNING, "empty-loop", 0, 2, 20052)]),
    (r"\x{41}", [(Severity.WARNING, "hex-brace", 0, 6, None)]),
    ("[[:alpha:]]", [(Severity.WARNING, "posix-class", 0, 10, None)]),
    ("ab\\", [(Severity.WARNING, "trailing-backslash", 2, 3, None)]),
    ("\U0001F600+[z-a]", [(Severity.ERROR, "fault", 2, 7, 20050)]),
    (b"\xe9+[z-a]", [(Severity.ERROR, "fault", 2, 7, 20050)]),
    (r"(\d{4})-(\d\d)", []),
], ids=["several", "empty loop", "hex brace", "posix class", "backslash", "wide", "bytes", "none"])
def test_diagnostics(pattern, expected):
    found = quarn.compile(pattern, check=False).diagnostics()
    assert [(d.severity, d.code, d.start, d.end, d.error and d.error.number)
            for d in found] == expected
    assert all(d.message for d in found)


def test_an_empty_loop_gives_the_depth_limit_a_search_reaches():
    (loop,) = quarn.compile("(a*)*b").diagnostics()
    met = raised(lambda: quarn.search("(a*)*b", "aaa"))
    assert (str(loop.error), loop.error.kind) == (str(met), ErrorKind.DEPTH_LIMIT)


def shape(node):
    """A node as (kind, start, end, text, children), the fields of its kind beside."""
    own = {name: getattr(node, name) for name in
           ("group", "character", "min", "max", "greedy", "quantifier", "rewrite", "negated",
            "members") if getattr(node, name) is not None}
    return (node.kind, node.start, node.end, node.text, own, [shape(c) for c in node.children])


# Hand-checked readings of the dialect's quirks.
@pytest.mark.parametrize("pattern, tree", [
    ("x{2,4}?", ("sequence", 0, 7, "x{2,4}?", {}, [
        ("repeat", 0, 7, "x{2,4}?", {"min": 2, "max": 4, "greedy": False, "quantifier": "{2,4}?",
                                     "rewrite": "xx(x(x)??)??"}, [
            ("literal", 0, 1, "x", {"character": "x"}, [])])])),
    (r"[^a-c\n]", ("sequence", 0, 8, r"[^a-c\n]", {}, [
        ("class", 0, 8, r"[^a-c\n]", {"negated": True, "members": (
            quarn.ClassMember("a", "c"), quarn.ClassMember("\r\n", "\r\n", True))}, [])])),
    (r"(a)\1", ("sequence", 0, 5, r"(a)\1", {}, [
        ("group", 0, 3, "(a)", {"group": 1}, [
            ("sequence", 1, 2, "a", {}, [("literal", 1, 2, "a", {"character": "a"}, [])])]),
        ("back-reference", 3, 5, r"\1", {"group": 1}, [])])),
    (r"\Qa\E\n", ("sequence", 0, 7, r"\Qa\E\n", {}, [
        ("ignored", 0, 2, r"\Q", {}, []),
        ("literal", 2, 3, "a", {"character": "a"}, []),
        ("ignored", 3, 5, r"\E", {}, []),
        ("line-break", 5, 7, r"\n", {}, [])])),
    ("\U0001F600+", ("sequence", 0, 2, "\U0001F600+", {}, [
        ("literal", 0, 1, "\U0001F600", {"character": "\ud83d"}, []),
        ("repeat", 0, 2, "\U0001F600+", {"min": 1, "greedy": True, "quantifier": "+"}, [
            ("literal", 0, 1, "\U0001F600", {"character": "\ude00"}, [])])])),
    (b"a{0}\xe9", ("sequence", 0, 5, b"a{0}\xe9", {}, [
        ("repeat", 0, 4, b"a{0}", {"min": 0, "max": 0, "greedy": True, "quantifier": "{0}"}, [
            ("literal", 0, 1, b"a", {"character": "a"}, [])]),
        ("literal", 4, 5, b"\xe9", {"character": "\xe9"}, [])])),
], ids=["lazy braces", "class", "back reference", "quoted and line break", "wide", "bytes"])
def test_the_explanation(pattern, tree):
    explained = quarn.compile(pattern).explain()
    assert shape(explained) == tree
    assert [n.kind for n in explained.walk()] == kinds_in_order(tree)


def kinds_in_order(tree):
    kind, _, _, _, _, children = tree
    return [kind] + [k for child in children for k in kinds_in_order(child)]


def test_descriptions_say_the_dialect_s_own_readings():
    line_break, space = quarn.compile(r"\n\s").explain().children
    assert "CR LF" in line_break.description
    assert [m.line_break for m in space.members] == [False, True, False, False, False]
    repeat = quarn.compile("ab{2}").explain().children[1]
    assert "bb" in repeat.description and repeat.rewrite == "bb"


def test_a_faulty_class_carries_its_error_in_the_tree():
    pattern = quarn.compile("a[z-a]", check=False)
    (_, faulty) = pattern.explain().children
    (fault,) = pattern.diagnostics()
    # The node's span places the fault; its error is the one the diagnostic gives.
    assert (faulty.kind, faulty.start, faulty.end) == ("class", 1, 6)
    assert (faulty.error.number, str(faulty.error)) == (20050, str(fault.error))
    assert (fault.start, fault.error.position) == (1, 1)


@pytest.mark.parametrize("pattern, flags, facts", [
    (r"\w+ing\b", 0, {"min_length": 4, "required_literals": ("ing",), "anchored_at_start": False}),
    ("^abc", 0, {"min_length": 3, "anchored_at_start": True, "first_characters": (("a", "a"),)}),
    ("ABC|ABD", quarn.I, {"ignore_case": True, "first_characters": (("a", "a"),)}),
    ("(a*)*", 0, {"levels_per_character": None, "depth_safe_length": None, "fault_free": True}),
    ("[z-a]|b", 0, {"fault_free": False}),
    # Units of the engine become characters: a pair is one, a byte pattern's are Latin-1.
    ("x\U0001F600y", 0, {"min_length": 4, "required_literals": ("x\U0001F600y",)}),
    (b"\xe9+t", 0, {"first_characters": (("\xe9", "\xe9"),), "required_literals": ("\xe9t",)}),
])
def test_facts(pattern, flags, facts):
    found = quarn.compile(pattern, flags, check=False).facts()
    assert found.complete
    assert {name: getattr(found, name) for name in facts} == facts


@pytest.mark.parametrize("module", [quarn, quarn.analysis], ids=lambda m: m.__name__)
def test_the_docstring_examples_hold(module):
    failed, attempted = doctest.testmod(module)
    assert attempted > 0 and failed == 0


def test_the_json_is_the_engine_s_document_in_units_and_bytes():
    document = json.loads(quarn.compile("\u00e9(\U0001F600)").explain_json())
    group = document["tree"]["children"][1]
    assert (group["start"], group["end"], group["byteStart"], group["byteEnd"]) == (1, 5, 2, 8)
    assert document["groups"] == 1 and document["diagnostics"] == []


def test_the_analysis_is_made_once_per_pattern():
    pattern = quarn.compile("a+b")
    assert pattern.explain() is pattern.explain() and pattern.facts() is pattern.facts()
    assert pattern.diagnostics() is pattern.diagnostics()


SUBJECTS = {
    "ascii": "a",
    "latin-1": "\u00e9",
    "ucs-2": "\u0100",
    "ucs-4": "\U0001F600",
}


# The limit counts UTF-16 units: a character above U+FFFF is two.
CALLS = {
    "search": lambda p, text, n: p.search(text, subject_length=n).span(),
    "finditer": lambda p, text, n: [m.span() for m in p.finditer(text, subject_length=n)],
    "sub": lambda p, text, n: p.sub("x", text, subject_length=n),
    "split": lambda p, text, n: p.split(text, subject_length=n),
    "findall": lambda p, text, n: p.findall(text, subject_length=n),
}


@pytest.mark.parametrize("kind", SUBJECTS)
@pytest.mark.parametrize("call", CALLS.values(), ids=CALLS.keys())
def test_a_subject_over_the_limit_is_refused_with_the_engine_s_error(kind, call):
    text = SUBJECTS[kind] * 994 + "needle"
    units = len(text.encode("utf-16-le")) // 2
    pattern = quarn.compile("needle")
    assert call(pattern, text, units) == call(pattern, text, 10 ** 9)
    error = raised(lambda: call(pattern, text, units - 1))
    assert (error.number, error.kind, error.position) == (6, ErrorKind.SUBJECT_LENGTH, None)
    assert str(error) == "Error #6: Error in Quarn.FindFirstMatch: Overflow"


@pytest.mark.parametrize("subject", [b"a" * 40000, bytearray(b"a" * 40000),
                                     memoryview(b"a" * 40000)],
                         ids=["bytes", "bytearray", "memoryview"])
def test_a_bytes_like_subject_over_the_limit_is_refused(subject):
    assert raised(lambda: quarn.search(b"b", subject)).kind is ErrorKind.SUBJECT_LENGTH


def test_only_the_subject_up_to_endpos_counts():
    text = "\U0001F600" * 100_000 + "needle"
    pattern = quarn.compile(".")
    assert pattern.search(text, 0, 16383).span() == (0, 1)  # 32,766 units
    assert raised(lambda: pattern.search(text, 0, 16384)).kind is ErrorKind.SUBJECT_LENGTH
    # "needl": the last "e" lies beyond endpos.
    assert quarn.compile("e+").findall(text, 100_000, 100_005, subject_length=10 ** 6) == ["ee"]
    # pos after endpos finds nothing, as in re, however long the subject.
    assert pattern.search(text, 200_000, 100_000) is None
