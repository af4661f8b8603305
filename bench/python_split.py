#!/usr/bin/env python3
"""Times kxsql.split, the Python module, over one script file, for the
comparison with sqlparse.split and with the C++ splitter.

The script is read and decoded to a str first; only the call to kxsql.split
is timed, not freeing its result. Times are the process's CPU time. The
module is imported from --module-dir (the build's python folder), or from
the interpreter's path.

    python_split.py --module-dir build/python --repeat 5 pg.sql
    -> kxsql-python mbps=180.1 statements=22665 seconds=0.1110 bytes=20973386
"""
import argparse
import statistics
import sys
import time


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file")
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--dialect", default="postgres")
    parser.add_argument("--rules", default="native")
    parser.add_argument("--module-dir")
    args = parser.parse_args()
    if args.module_dir:
        sys.path.insert(0, args.module_dir)
    import kxsql

    with open(args.file, "rb") as f:
        raw = f.read()
    text = raw.decode("utf-8")

    times = []
    statements = 0
    for _ in range(max(1, args.repeat)):
        start = time.process_time()
        parts = kxsql.split(text, dialect=args.dialect, rules=args.rules)
        times.append(time.process_time() - start)
        statements = len(parts)
        del parts
    median = statistics.median(times)
    print("kxsql-python mbps=%.1f statements=%d seconds=%.4f bytes=%d"
          % (len(raw) / (1 << 20) / median, statements, median, len(raw)))


if __name__ == "__main__":
    main()
