"""Counts the lines of a corpus that a Quarn pattern matches, in parallel with Dask, and checks
the count against a plain single-process run.

    python3 examples/dask_count.py PATTERN FILE... [--flags N] [--partitions N]

The corpus is read as a Dask bag of lines cut into partitions (several per file when files are
large); each worker process gets the compiled pattern by pickling (a pattern pickles as its
text and flags and compiles once per process) and searches its lines with the GIL released.
Line ends are removed first, as quarn does, so "$" means the end of the line. A line whose
search ends in an error (the depth limit, a line too long for the default limits) stops the
run: a count that left such lines out would not be exact.
"""

import argparse
import sys

import dask
import dask.bag

import quarn


def matches(pattern, line):
    return pattern.search(line.rstrip("\r\n")) is not None


def count_with_dask(pattern, paths, partitions):
    lines = dask.bag.read_text(paths, blocksize="1MiB", encoding="utf-8", errors="surrogateescape")
    if partitions:
        lines = lines.repartition(partitions)
    selected = lines.filter(lambda line: matches(pattern, line)).count()
    return selected.compute(scheduler="processes"), lines.npartitions


def count_in_one_process(pattern, paths):
    total = 0
    for path in paths:
        with open(path, encoding="utf-8", errors="surrogateescape", newline="") as text:
            total += sum(1 for line in text if matches(pattern, line))
    return total


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pattern")
    parser.add_argument("paths", nargs="+")
    parser.add_argument("--flags", type=int, default=0)
    parser.add_argument("--partitions", type=int, default=0)
    args = parser.parse_args()
    pattern = quarn.compile(args.pattern, args.flags)
    with dask.config.set(num_workers=2):
        parallel, partitions = count_with_dask(pattern, args.paths, args.partitions)
    single = count_in_one_process(pattern, args.paths)
    print(f"{parallel} lines match in {partitions} partitions; one process counts {single}")
    return 0 if parallel == single else 1


if __name__ == "__main__":
    sys.exit(main())
