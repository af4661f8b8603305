#!/usr/bin/env python3
"""Times sqlparse.split over one script file, for the comparison with kxsql.

Only the call to sqlparse.split is timed; importing sqlparse and reading the
file are not. Times are the process's CPU time, which other work on a shared
machine hardly disturbs. sqlparse is slow, so give it a small script and few repeats.

    sqlparse_split.py --repeat 3 pg-small.sql
    -> sqlparse mbps=0.9 statements=8123 seconds=2.1000 bytes=2097152

Statements are counted as an application would run them: the non-blank ones.
"""
import argparse
import statistics
import sys
import time

try:
    import sqlparse
except ImportError:
    sys.exit("sqlparse_split: the sqlparse module is missing (Debian: python3-sqlparse)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file")
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    with open(args.file, "rb") as f:
        raw = f.read()
    text = raw.decode("utf-8")

    times = []
    statements = 0
    for _ in range(max(1, args.repeat)):
        start = time.process_time()
        parts = sqlparse.split(text)
        times.append(time.process_time() - start)
        statements = sum(1 for p in parts if p.strip())
    median = statistics.median(times)
    print("sqlparse mbps=%.2f statements=%d seconds=%.4f bytes=%d"
          % (len(raw) / (1 << 20) / median, statements, median, len(raw)))


if __name__ == "__main__":
    main()
