#!/usr/bin/env python3
"""Times the Python module quarn against Python's own re on the demo and corpus workloads.

The workloads come from the C++ harness (quarn_bench --dump-workloads FILE), so both
harnesses search the same patterns and subjects. Each search reads back the span of the
match and of every group, as the C++ searchers do, through the same code for both modules.
Before anything is timed, re's answers are compared with quarn's on every subject: a
workload that re cannot compile or answers differently is left out with a note, never timed
doing different work. Times are CPU time per search, the median of the repetitions of one
run; the ratio is quarn's time divided by re's.

The large family searches one text of --megabytes MB made of the licence texts that every
Debian system ships (ASCII, so a str of one byte per character): an absent literal, every
match of a literal, a replacement and findall, each timed on the str itself (converted on
every call) and on a quarn.Text prepared once, against re on the str.

usage: python_bench.py WORKLOADS.json [--min-time SECONDS] [--repetitions N] [--megabytes N]
The exit status is 1 when quarn reports an error on a workload.
"""
import argparse
import glob
import json
import math
import re
import statistics
import sys
import time

import quarn

FAMILIES = ("demo", "corpus")
FLAGS = (
    (quarn.IGNORECASE, re.IGNORECASE),
    (quarn.SINGLELINE, re.DOTALL),
    (quarn.MULTILINE, re.MULTILINE),
)


def re_flags(flags):
    result = 0
    for ours, theirs in FLAGS:
        if flags & ours:
            result |= theirs
    return result


def answer(pattern, subject):
    """The spans of the match and of every group, or None without a match."""
    match = pattern.search(subject)
    if match is None:
        return None
    return [match.span(group) for group in range(pattern.groups + 1)]


def first_difference(ours, theirs, subjects):
    for number, subject in enumerate(subjects, 1):
        expected, found = answer(ours, subject), answer(theirs, subject)
        if expected != found:
            return f"on subject {number} quarn finds {expected} but re finds {found}"
    return None


def seconds_per_search(pattern, subjects, min_time):
    searches = 0
    start = time.process_time()
    while True:
        for subject in subjects:
            answer(pattern, subject)
        searches += len(subjects)
        elapsed = time.process_time() - start
        if elapsed >= min_time:
            return elapsed / searches


def duration(seconds):
    """Three significant digits in the unit that keeps the rounded number below 1000."""
    for unit, scale in (("ns", 1e9), ("µs", 1e6), ("ms", 1e3)):
        if seconds * scale < 999.5:
            return f"{seconds * scale:.3g} {unit}"
    return f"{seconds:.3g} s"


def ratio(value):
    return f"×{value:.0f}" if value >= 1000 else f"×{value:.3g}"


def caption(workload, matching):
    text = f"{workload['family']}/{workload['name']} {workload['caption']}"
    if len(workload["subjects"]) > 1:
        text += f" ({len(workload['subjects'])} lines, {matching} matching)"
    return text


def large_text(megabytes):
    corpus = "".join(open(path, encoding="utf-8", errors="replace").read()
                     for path in sorted(glob.glob("/usr/share/common-licenses/*")))
    size = megabytes << 20
    return (corpus * (size // len(corpus) + 1))[:size]


LARGE = (
    ("absent literal", "Xyzzyq", lambda p, s, **k: p.search(s, **k)),
    ("literal finditer", "License", lambda p, s, **k: sum(1 for _ in p.finditer(s, **k))),
    ("literal sub", "License", lambda p, s, **k: p.sub("Licence", s, **k)),
    ("findall", r"\d+", lambda p, s, **k: p.findall(s, **k)),
)


def seconds_per_call(call, min_time):
    calls, start = 0, time.process_time()
    while True:
        call()
        calls += 1
        elapsed = time.process_time() - start
        if elapsed >= min_time:
            return elapsed / calls


def large_rows(megabytes, min_time, repetitions):
    """(caption, quarn on the str, quarn on a Text, re) per large workload."""
    text = large_text(megabytes)
    prepared = quarn.Text(text)
    limits = {"subject_length": len(text) + 1}
    rows = []
    for caption, pattern, run in LARGE:
        ours, theirs = quarn.compile(pattern), re.compile(pattern)
        if run(ours, text, **limits) != run(theirs, text):
            raise SystemExit(f"large/{caption}: quarn and re answer differently")
        calls = (lambda: run(ours, text, **limits), lambda: run(ours, prepared, **limits),
                 lambda: run(theirs, text))
        rows.append((caption, pattern, *[
            statistics.median(seconds_per_call(call, min_time) for _ in range(repetitions))
            for call in calls]))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("workloads", help="the JSON that quarn_bench --dump-workloads writes")
    parser.add_argument("--min-time", type=float, default=0.1, help="seconds per repetition")
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--megabytes", type=int, default=10, help="size of the large text")
    arguments = parser.parse_args()
    with open(arguments.workloads, encoding="utf-8") as file:
        workloads = [w for w in json.load(file) if w["family"] in FAMILIES]

    rows, notes, failed = [], [], False
    for workload in workloads:
        wid = f"{workload['family']}/{workload['name']}"
        subjects = workload["subjects"]
        try:
            ours = quarn.compile(workload["pattern"], workload["flags"])
            matching = sum(answer(ours, subject) is not None for subject in subjects)
        except quarn.error as error:
            notes.append(f"{wid}: quarn reports {error}")
            failed = True
            continue
        try:
            theirs = re.compile(workload["pattern"], re_flags(workload["flags"]))
        except re.error as error:
            notes.append(f"{wid}: re left out, cannot compile the pattern: {error}")
            continue
        difference = first_difference(ours, theirs, subjects)
        if difference:
            notes.append(f"{wid}: re left out, {difference}")
            continue
        times = []
        for pattern in (ours, theirs):
            runs = [
                seconds_per_search(pattern, subjects, arguments.min_time)
                for _ in range(arguments.repetitions)
            ]
            times.append(statistics.median(runs))
        rows.append((workload, matching, times[0], times[1]))

    print("Time per search (CPU time, median of the repetitions) and, in parentheses, quarn's "
          "time divided by re's:\n")
    print("| workload | quarn | re |\n| --- | --- | --- |")
    for workload, matching, ours, theirs in rows:
        print(f"| {caption(workload, matching)} | {duration(ours)} | "
              f"{duration(theirs)} ({ratio(ours / theirs)}) |")
    print("\nquarn's ratio to re, geometric mean per family (number of workloads):\n")
    print("| family | re |\n| --- | --- |")
    for family in FAMILIES:
        ratios = [ours / theirs for w, _, ours, theirs in rows if w["family"] == family]
        if ratios:
            mean = math.exp(sum(map(math.log, ratios)) / len(ratios))
            print(f"| {family} | {ratio(mean)} ({len(ratios)}) |")
    print(f"\nThe large family, one {arguments.megabytes} MB str: time per call and, in "
          "parentheses, quarn's time divided by re's:\n")
    print("| workload | quarn (str) | quarn (Text) | re |\n| --- | --- | --- | --- |")
    for name, pattern, on_str, on_text, theirs in large_rows(
            arguments.megabytes, arguments.min_time, arguments.repetitions):
        print(f"| large/{name} `{pattern}` | {duration(on_str)} ({ratio(on_str / theirs)}) | "
              f"{duration(on_text)} ({ratio(on_text / theirs)}) | {duration(theirs)} |")
    if notes:
        print("\nWorkloads left out:\n")
        for note in notes:
            print(f"- {note}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
