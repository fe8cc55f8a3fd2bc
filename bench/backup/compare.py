#!/usr/bin/env python3
"""Times `ostrevane backup` against `rsync -a` with the same excluded names:
a full copy into an empty folder (the folder removed between runs, untimed;
the time includes flushing what was written),
then a run with nothing changed, the two tools in turns so that a change in
the machine's load falls on both alike. Prints each time and the two ratios
as medians with their spread, and checks that both tools copied the same files.

Usage: compare.py <ostrevane> <tree> <out folder> <runs>"""
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from arguments import check  # noqa: E402
from stats import load, ratios, spread  # noqa: E402

EXCLUDES = [".DS_Store", ".localized", ".Trash", "node_modules", "DerivedData", ".build", "__pycache__"]


def timed(command, env=None, flush=False):
    """Seconds the command took; with `flush`, until what it wrote is on the
    disk too, so one run's write-back is not charged to the next."""
    start = time.perf_counter()
    done = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if flush:
        os.sync()
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"failed ({done.returncode}): {' '.join(command)}\n{done.stderr.decode(errors='replace')}")
    return elapsed, done.stdout.decode()


def in_turns(runs, ours, theirs):
    """Times the two (prepare, command, env, flush) in turns, `runs` rounds,
    and prints both; returns both lists of times and our last output."""
    times = {"ostrevane backup": [], "rsync -a": []}
    output = ""
    for _ in range(runs):
        for name, (prepare, command, env, flush) in (("ostrevane backup", ours), ("rsync -a", theirs)):
            prepare()
            elapsed, printed = timed(command, env, flush)
            times[name].append(elapsed)
            if name == "ostrevane backup":
                output = printed
    for name, values in times.items():
        print(f"  {name:<20} {spread(values)}", flush=True)
    return times["ostrevane backup"], times["rsync -a"], output


def files_below(folder):
    found = set()
    for parent, dirs, names in os.walk(folder):
        for name in names:
            found.add(os.path.relpath(os.path.join(parent, name), folder))
    return found


def main():
    tool, tree, out, runs = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3], int(sys.argv[4])
    home = os.path.join(out, "home")
    ours = os.path.join(out, "dest-ostrevane")
    theirs = os.path.join(out, "dest-rsync")
    os.makedirs(home, exist_ok=True)
    env = dict(os.environ, OSTREVANE_HOME=home, OSTREVANE_LANG="en")
    backup = [tool, "backup", tree, "--to", ours, "--json"]
    rsync = ["rsync", "-a"] + [f"--exclude={name}" for name in EXCLUDES] + [tree + "/", theirs + "/"]

    def empty(folder):
        def prepare():
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
            os.sync()
        return prepare

    def nothing():
        pass

    # Warm the page cache over the source once.
    timed(["rsync", "-a", "--dry-run", tree + "/", "/nonexistent-target/"])
    print(f"{tree}: {runs} rounds, each tool once per round in turns; wall time, median (min–max)")
    print(f"{load()} before")
    print("full copy (into an empty folder, until written to disk)")
    ours_full, theirs_full, _ = in_turns(runs, (empty(ours), backup, env, True), (empty(theirs), rsync, None, True))
    print("no-change run")
    ours_again, theirs_again, report = in_turns(runs, (nothing, backup, env, False), (nothing, rsync, None, False))
    print(f"{load()} after")

    report = json.loads(report)
    if report["filesCopied"] != 0 or report["filesFailed"] != 0:
        sys.exit(f"the no-change run copied or failed: {report['summary']}")
    copied = files_below(report["target"])
    expected = files_below(theirs)
    if copied != expected:
        sys.exit(f"different files: {len(copied - expected)} only in ours, {len(expected - copied)} only in rsync's")
    print(f"  same {len(copied)} entries at both destinations")

    full, again = ratios(ours_full, theirs_full), ratios(ours_again, theirs_again)
    print("ratios, round by round: median (min–max)")
    print(f"full copy:     ostrevane / rsync = {spread(full, '×', 2)}  (target at most 1.2: {verdict(full, 1.2)})")
    print(f"no-change run: ostrevane / rsync = {spread(again, '×', 2)}  (target at most 0.5: {verdict(again, 0.5)})")


def verdict(values, target):
    return "met" if statistics.median(values) <= target else "MISSED"


check()
main()
