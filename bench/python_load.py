#!/usr/bin/env python3
"""scq.load and both play times per file, over the songs in a folder (those ApiBench writes
with SCQ_BENCH_SONGS set): the Python module's figure to set beside ApiBench's us_per_file.

    PYTHONPATH=build/bench/python/module /usr/bin/python3 bench/python_load.py DIR [ROUNDS]
"""

import glob
import os
import sys
import time

import scq


def main():
    paths = sorted(glob.glob(os.path.join(sys.argv[1], "*.scq")))
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    best = None
    for _ in range(rounds):
        start = time.perf_counter()
        for path in paths:
            song = scq.load(path)
            song.play_time("scq")
            song.play_time("smf")
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    print(f"{len(paths)} files, best of {rounds}: {best * 1e6 / len(paths):.1f} us per file")


if __name__ == "__main__":
    main()
