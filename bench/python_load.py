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
    best_wall = best_cpu = None
    for _ in range(rounds):
        wall, cpu = time.perf_counter(), time.process_time()
        for path in paths:
            song = scq.load(path)
            song.play_time("scq")
            song.play_time("smf")
        wall, cpu = time.perf_counter() - wall, time.process_time() - cpu
        best_wall = wall if best_wall is None else min(best_wall, wall)
        best_cpu = cpu if best_cpu is None else min(best_cpu, cpu)
    n = len(paths)
    print(f"{n} files, best of {rounds}: {best_wall * 1e6 / n:.1f} us per file, "
          f"{best_cpu * 1e6 / n:.1f} us of CPU per file")


if __name__ == "__main__":
    main()
