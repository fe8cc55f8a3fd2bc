#!/usr/bin/env python3
"""Times `ostrevane suggest --json` of two builds on one home, in turns so a
change in the machine's load falls on both alike, and compares the medians.

stored: the scan of the home is already stored, so suggest only analyses.
fresh:  the stored scan is removed before every run, so suggest scans too.

Usage: compare.py <ostrevane> <base ostrevane> <home> <runs>
Exits 1 when this build's median is more than 10 % above the base's.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time


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
        this, before = statistics.median(times["this"]), statistics.median(times["base"])
        ratio = this / before
        verdict = "ok" if ratio <= 1.10 else "SLOWER than base + 10 %"
        if ratio > 1.10:
            status = 1
        print("%-6s suggest: this %.3f s, base %.3f s (median of %d; fastest %.3f s and %.3f s), ratio %.3f  %s"
              % (mode, this, before, runs, min(times["this"]), min(times["base"]), ratio, verdict))
    sys.exit(status)


if __name__ == "__main__":
    main()
