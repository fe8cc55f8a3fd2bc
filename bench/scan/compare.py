#!/usr/bin/env python3
"""Times a whole `ostrevane scan <tree> --refresh --json` against gdu's
non-interactive summary and `du -s -B1` on a warm page cache, and checks that
the tool's root size is du's total.

The three commands run in turns (one of each per round) so that a change in
the machine's load falls on all of them alike; each is run once more before
the timed rounds, which also warms the page cache.

Usage: compare.py <ostrevane> <tree> <tool-home> <runs>
"""
import json
import os
import statistics
import subprocess
import sys
import time


def run(command, env=None):
    start = time.perf_counter()
    done = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (done.returncode, " ".join(command), done.stderr.decode(errors="replace")))
    return elapsed, done.stdout.decode(errors="replace")


def main():
    tool, tree, tool_home, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    env = dict(os.environ, OSTREVANE_HOME=tool_home)
    env.pop("OSTREVANE_FANOUT", None)
    commands = {
        "ostrevane": ([tool, "scan", tree, "--refresh", "--json"], env),
        "gdu": (["gdu", "--non-interactive", "--summarize", "--no-progress", "--no-prefix", tree], None),
        "du": (["du", "-s", "-B1", tree], None),
    }
    load_before = os.getloadavg()[0]
    outputs = {name: run(command, command_env)[1] for name, (command, command_env) in commands.items()}
    times = {name: [] for name in commands}
    for _ in range(runs):
        for name, (command, command_env) in commands.items():
            times[name].append(run(command, command_env)[0])

    view = json.loads(outputs["ostrevane"])
    du_total = int(outputs["du"].split()[0])
    medians = {name: statistics.median(values) for name, values in times.items()}

    print("tree: %s (%d files by ostrevane's count)" % (tree, view["fileCount"]))
    print("%d runs each, median wall time of the whole process; load average %.1f before, %.1f after, %d cores"
          % (runs, load_before, os.getloadavg()[0], os.cpu_count()))
    print()
    print("%-10s %9s %9s %9s" % ("", "median", "min", "max"))
    for name in commands:
        print("%-10s %8.3fs %8.3fs %8.3fs" % (name, medians[name], min(times[name]), max(times[name])))
    print()
    to_gdu = medians["ostrevane"] / medians["gdu"]
    to_du = medians["ostrevane"] / medians["du"]
    print("ostrevane / gdu = %.2f   (target at most 0.50: %s)" % (to_gdu, "met" if to_gdu <= 0.5 else "MISSED"))
    print("ostrevane / du  = %.2f   (target at most 0.25: %s)" % (to_du, "met" if to_du <= 0.25 else "MISSED"))
    same = view["totalBytes"] == du_total
    print("root size: ostrevane %d, du %d bytes: %s" % (view["totalBytes"], du_total, "equal" if same else "DIFFERENT"))
    return 0 if same else 1


sys.exit(main())
