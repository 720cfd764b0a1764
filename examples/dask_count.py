"""Counts the lines of a corpus that a Quarn pattern matches, file by file, on Dask workers
(quarn.dask.count_lines), and checks the total against a plain single-process count.

    python3 examples/dask_count.py PATTERN FILE... [--flags N] [--scheduler ADDRESS]

Without --scheduler a local cluster of two worker processes runs it; with one (for example
tcp://scheduler:8786) the cluster there does. Files are read as UTF-8, bytes that are not
UTF-8 kept as they are (errors="surrogateescape"), as quarn does.
"""

import argparse
import sys

from dask.distributed import Client, LocalCluster

import quarn
import quarn.dask


def count_in_one_process(pattern, paths):
    total = 0
    for path in paths:
        with open(path, encoding="utf-8", errors="surrogateescape", newline="\n") as text:
            lines = (line.removesuffix("\n").removesuffix("\r") for line in text)
            total += sum(pattern.search(line) is not None for line in lines)
    return total


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pattern")
    parser.add_argument("paths", nargs="+")
    parser.add_argument("--flags", type=int, default=0)
    parser.add_argument("--scheduler", help="the address of a Dask scheduler")
    args = parser.parse_args()
    pattern = quarn.compile(args.pattern, args.flags)
    cluster = None if args.scheduler else LocalCluster(n_workers=2, threads_per_worker=1,
                                                        dashboard_address=None)
    with Client(args.scheduler or cluster):
        counts = quarn.dask.count_lines(args.paths, pattern, errors="surrogateescape").compute()
    if cluster:
        cluster.close()
    single = count_in_one_process(pattern, quarn.dask.files(args.paths))
    print(f"{counts.matching.sum()} of {counts.lines.sum()} lines match in {len(counts)} files; "
          f"one process counts {single}")
    return 0 if counts.matching.sum() == single else 1


if __name__ == "__main__":
    sys.exit(main())
