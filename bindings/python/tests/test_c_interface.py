"""The C interface (quarn_c.h) from Python's ctypes: the case table through the UTF-8 calls,
and the bad input that C callers can give it."""

import ctypes
import os
import threading

import pytest

from test_cases import CASES, expected_answer

lib = ctypes.CDLL(os.environ["QUARN_SHARED_LIBRARY"])


class Span(ctypes.Structure):
    _fields_ = [("start", ctypes.c_int64), ("end", ctypes.c_int64)]


class Error(ctypes.Structure):
    _fields_ = [("number", ctypes.c_int32), ("position", ctypes.c_int64),
                ("length", ctypes.c_size_t), ("message", ctypes.c_char * 256)]


class Limits(ctypes.Structure):
    _fields_ = [("depth", ctypes.c_uint32), ("subject_length", ctypes.c_uint64),
                ("steps", ctypes.c_uint64), ("cancel", ctypes.c_void_p)]


lib.quarn_compile.restype = ctypes.c_void_p
lib.quarn_compile.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_int32, ctypes.POINTER(Error)]
lib.quarn_free.argtypes = [ctypes.c_void_p]
lib.quarn_group_count.argtypes = [ctypes.c_void_p]
lib.quarn_search.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t, ctypes.c_size_t,
                             ctypes.POINTER(Limits), ctypes.POINTER(Span), ctypes.c_size_t,
                             ctypes.POINTER(Error)]
lib.quarn_cancel_new.restype = ctypes.c_void_p
lib.quarn_cancel_set.argtypes = [ctypes.c_void_p]
lib.quarn_cancel_free.argtypes = [ctypes.c_void_p]
MATCH, NO_MATCH, ERROR, INVALID = 1, 0, -1, -2


def compile_pattern(pattern, flags=0):
    error = Error()
    data = pattern.encode()
    handle = lib.quarn_compile(data, len(data), flags, ctypes.byref(error))
    return handle, error


def search(handle, text, start=0, limits=None, span_count=None):
    data = text.encode()
    count = lib.quarn_group_count(handle) + 1 if span_count is None else span_count
    spans = (Span * max(count, 1))()
    error = Error()
    result = lib.quarn_search(handle, data, len(data), start,
                              ctypes.byref(limits) if limits else None, spans, count,
                              ctypes.byref(error))
    return result, spans, error


def byte_span(text, span):
    """A span in characters of text as a span in its UTF-8 bytes."""
    return tuple(len(text[:at].encode()) for at in span)


@pytest.mark.parametrize("case", CASES, ids=lambda c: c["group"])
def test_case_table(case):
    handle, error = compile_pattern(case["pattern"], case.get("flags", 0))
    if not handle:
        assert ("error", error.message.decode()) == expected_answer(case)
        return
    try:
        result, spans, error = search(handle, case["text"])
    finally:
        lib.quarn_free(handle)
    expected = expected_answer(case)
    if result == ERROR:
        assert ("error", error.message.decode()) == expected
    elif result == NO_MATCH:
        assert expected is None
    else:
        got = [None if s.start < 0 else (s.start, s.end) for s in spans]
        assert got == [None if s is None else byte_span(case["text"], s) for s in expected]


def test_bad_input_gives_error_values_and_leaves_handles_usable():
    handle, _ = compile_pattern("(b)")
    assert search(None, "abc")[0] == INVALID
    assert search(handle, "abc", start=10)[0] == INVALID
    # Ill-formed UTF-8 is refused with its own number.
    bad = b"a\xc3"
    spans = (Span * 2)()
    error = Error()
    assert lib.quarn_search(handle, bad, len(bad), 0, None, spans, 2, ctypes.byref(error)) == ERROR
    assert error.number == 20055
    # Fewer spans than groups: the match, and nothing written past the buffer.
    assert search(handle, "abc", span_count=1)[0] == MATCH
    assert search(handle, "abc")[1][1].start == 1
    lib.quarn_free(handle)


def test_long_messages_are_cut_with_their_full_length_kept():
    handle, error = compile_pattern("(" + "x" * 1000)
    assert not handle
    assert error.length > 255 and len(error.message) == 255


def test_a_cancelled_search_ends_with_its_own_error():
    handle, _ = compile_pattern("(a|aa)+b")
    cancel = lib.quarn_cancel_new()
    lib.quarn_cancel_set(cancel)
    limits = Limits(0, 0, 0, cancel)
    result, _, error = search(handle, "a" * 150, limits=limits)
    assert (result, error.number) == (ERROR, 20057)
    lib.quarn_cancel_free(cancel)
    assert search(handle, "aab")[0] == MATCH
    lib.quarn_free(handle)


def test_one_pattern_serves_several_threads():
    handle, _ = compile_pattern(r"(\w+)@(\w+)\.org")
    texts = [f"mail user{i}@host{i}.org now" for i in range(200)]
    expected = [search(handle, t)[1][1].end for t in texts]
    results = []

    def run():
        results.append([search(handle, t)[1][1].end for t in texts])

    threads = [threading.Thread(target=run) for _ in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [expected] * 8
    lib.quarn_free(handle)
