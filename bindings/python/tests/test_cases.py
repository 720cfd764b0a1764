"""The engine's case table (tests/cases/engine_cases.jsonl) through the Python module, with
str subjects and, where every character fits a byte, bytes subjects as well."""

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
    try:
        match = quarn.compile(pattern, flags).search(text)
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
