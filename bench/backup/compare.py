#!/usr/bin/env python3
"""Times `ostrevane backup` against `rsync -a` with the same excluded names:
a full copy into an empty folder (the folder removed between runs, untimed;
the time includes flushing what was written),
then a run with nothing changed. Prints the medians and the two ratios, and
checks that both tools copied the same files.

Usage: compare.py <ostrevane> <tree> <out folder> <runs>"""
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

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


def median_of(name, runs, prepare, command, env=None, flush=False):
    times, output = [], ""
    for _ in range(runs):
        prepare()
        elapsed, output = timed(command, env, flush)
        times.append(elapsed)
    median = statistics.median(times)
    print(f"  {name:<30} median {median:7.3f} s   runs {' '.join(f'{t:.3f}' for t in times)}", flush=True)
    return median, output


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
    print(f"full copy of {tree}")
    ours_full, _ = median_of("ostrevane backup", runs, empty(ours), backup, env, flush=True)
    theirs_full, _ = median_of("rsync -a", runs, empty(theirs), rsync, flush=True)
    print("no-change run")
    ours_again, report = median_of("ostrevane backup", runs, nothing, backup, env)
    theirs_again, _ = median_of("rsync -a", runs, nothing, rsync)

    report = json.loads(report)
    if report["filesCopied"] != 0 or report["filesFailed"] != 0:
        sys.exit(f"the no-change run copied or failed: {report['summary']}")
    copied = files_below(report["target"])
    expected = files_below(theirs)
    if copied != expected:
        sys.exit(f"different files: {len(copied - expected)} only in ours, {len(expected - copied)} only in rsync's")
    print(f"  same {len(copied)} entries at both destinations")

    print(f"full copy:     ostrevane / rsync = {ours_full / theirs_full:.2f}  (target at most 1.2)")
    print(f"no-change run: ostrevane / rsync = {ours_again / theirs_again:.2f}  (target at most 0.5)")


main()
