#!/usr/bin/env python3
"""Times `ostrevane suggest --json` of two builds on one home, in turns so a
change in the machine's load falls on both alike, and compares the medians.

stored: the scan of the home is already stored, so suggest only analyses.
fresh:  the stored scan is removed before every run, so suggest scans too.

Usage: compare.py <ostrevane> <base ostrevane> <home> <runs>
Exits 1 when the median of the round-by-round ratios is above 1.10.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from arguments import check  # noqa: E402
from stats import load, ratios, spread  # noqa: E402


def timed(tool, env):
    start = time.perf_counter()
    done = subprocess.run([tool, "suggest", "--json"], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (done.returncode, tool, done.stderr.decode(errors="replace")))
    return elapsed


def main():
    tool, base, home, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    env = dict(os.environ, OSTREVANE_HOME=home)
    env.pop("OSTREVANE_FANOUT", None)
    store = os.path.join(home, ".cache", "Ostrevane")
    status = 0
    print("%d rounds after one warm-up, each build once per round in turns; wall time, median (min–max)" % runs)
    print("%s before" % load())
    for mode in ("stored", "fresh"):
        times = {"this": [], "base": []}
        for round in range(runs + 1):
            for name, binary in (("this", tool), ("base", base)):
                if mode == "fresh":
                    shutil.rmtree(store, ignore_errors=True)
                elif round == 0:
                    timed(binary, env)  # stores the scan; both builds read the same file
                elapsed = timed(binary, env)
                if round > 0:  # the first round only warms the page cache
                    times[name].append(elapsed)
        ratio = ratios(times["this"], times["base"])
        slower = statistics.median(ratio) > 1.10
        status = 1 if slower else status
        print("%-6s suggest: this %s, base %s; this / base %s  %s"
              % (mode, spread(times["this"]), spread(times["base"]), spread(ratio, "×"),
                 "SLOWER than base + 10 %" if slower else "ok"))
    print("%s after" % load())
    sys.exit(status)


if __name__ == "__main__":
    check()
    main()
