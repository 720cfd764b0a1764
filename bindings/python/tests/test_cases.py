"""The engine's case table (tests/cases/engine_cases.jsonl) through the Python module, with
str subjects and, where every character fits a byte, bytes subjects as well; and the analysis
of each of its patterns: the explanation covers the pattern, every fault a search meets is in
the diagnostics, and compile() raises exactly when the diagnostics list a fault."""

import json
import os

import pytest

import quarn


def load_cases():
    cases = []
    with open(os.environ["QUARN_ENGINE_CASES"], encoding="utf-8") as table:
        for line in table:
            case = json.loads(line)
            for key in ("pattern", "text"):
                value = case[key]
                if isinstance(value, dict):
                    case[key] = value["repeat"] * value["times"] + value.get("then", "")
            cases.append(case)
    return cases


CASES = load_cases()


def code_points(text, unit):
    """A UTF-16 position of text as a position in its characters."""
    units = 0
    for index, char in enumerate(text):
        if units >= unit:
            return index
        units += 2 if ord(char) > 0xFFFF else 1
    return len(text)


def expected_answer(case):
    if "error" in case:
        return ("error", case["error"])
    if case.get("match") is None:
        return None
    spans = [case["match"]] + case.get("groups", [])
    return [None if s is None else (code_points(case["text"], s[0]), code_points(case["text"], s[1]))
            for s in spans]


def answer(pattern, text, flags):
    """The answer of a search, the pattern's faults reported as the searches meet them."""
    try:
        match = quarn.compile(pattern, flags, check=False).search(text)
    except quarn.error as error:
        return ("error", str(error))
    if match is None:
        return None
    spans = [match.span(n) for n in range(match.re.groups + 1)]
    return [None if span == (-1, -1) else span for span in spans]


@pytest.mark.parametrize("case", CASES, ids=lambda c: c["group"])
def test_str_subjects(case):
    assert answer(case["pattern"], case["text"], case.get("flags", 0)) == expected_answer(case)


def latin1(case):
    return all(ord(c) < 256 for c in case["pattern"] + case["text"])


@pytest.mark.parametrize("case", [c for c in CASES if latin1(c)], ids=lambda c: c["group"])
def test_bytes_subjects(case):
    pattern = case["pattern"].encode("latin-1")
    text = case["text"].encode("latin-1")
    assert answer(pattern, text, case.get("flags", 0)) == expected_answer(case)


def analysed(case):
    """The case's pattern compiled without the check, or None when it does not compile."""
    try:
        return quarn.compile(case["pattern"], case.get("flags", 0), check=False)
    except quarn.error:
        return None


# One case of each pattern that compiles.
PATTERNS = [c for c in {(c["pattern"], c.get("flags", 0)): c for c in CASES}.values()
            if analysed(c) is not None]
PATTERN_FAULTS = {quarn.ErrorKind.PATTERN_SYNTAX, quarn.ErrorKind.OVERFLOW}


def misplaced(node):
    """What is wrong with the places of node and its children, or None: children lie within
    their parent in the order of the pattern (several may share a stretch, as the parts of a
    bare \\s do)."""
    if not node.start <= node.end:
        return f"{node.kind} ends before it starts"
    at = node.start
    for child in node.children:
        if child.start < at or child.end > node.end:
            return f"{child.kind} {child.start}:{child.end} is out of place in {node.kind}"
        at = child.start
        wrong = misplaced(child)
        if wrong:
            return wrong
    return None


def engine_texts(fields):
    """The texts of the nodes of the engine's JSON tree, parents first."""
    yield fields["text"]
    for child in fields.get("children", ()):
        yield from engine_texts(child)


@pytest.mark.parametrize("case", PATTERNS, ids=lambda c: c["group"])
def test_the_explanation_covers_the_pattern(case):
    pattern = analysed(case)
    tree = pattern.explain()
    assert (tree.start, tree.end) == (0, len(case["pattern"]))
    assert misplaced(tree) is None
    # The places, turned into the pattern's characters, cut the texts the engine names (half
    # a character above U+FFFF, which the engine names U+FFFD, grows to all of it).
    document = json.loads(pattern.explain_json())
    texts = zip([node.text for node in tree.walk()], engine_texts(document["tree"]),
                strict=True)
    assert [(ours, its) for ours, its in texts if ours != its and "\ufffd" not in its] == []


def search_error(case):
    try:
        quarn.compile(case["pattern"], case.get("flags", 0), check=False).search(case["text"])
    except quarn.error as error:
        return error
    return None


@pytest.mark.parametrize("case", CASES, ids=lambda c: c["group"])
def test_compile_raises_exactly_the_faults_the_diagnostics_find(case):
    flags = case.get("flags", 0)
    lazy = analysed(case)
    if lazy is None:
        # Refused by the compiler: the same error, whether checked or not.
        with pytest.raises(quarn.error):
            quarn.compile(case["pattern"], flags)
        return
    faults = [(str(d.error), d.error.kind, d.error.position) for d in lazy.diagnostics()
              if d.severity is quarn.Severity.ERROR]
    met = search_error(case)
    if met is not None and met.kind in PATTERN_FAULTS:
        assert (str(met), met.kind, met.position) in faults
    if faults:
        with pytest.raises(quarn.error) as raised:
            quarn.compile(case["pattern"], flags)
        assert (str(raised.value), raised.value.kind, raised.value.position) == faults[0]
    else:
        checked = quarn.compile(case["pattern"], flags)
        assert answer(checked, case["text"], 0) == expected_answer(case)
