#!/usr/bin/env python3
"""Times a whole `ostrevane scan <tree> --refresh --json` against gdu's
non-interactive summary and `du -s -B1`, and checks that the tool's root size
is du's total.

warm: on a warm page cache. The three commands run in turns (one of each per
round) so that a change in the machine's load falls on all of them alike;
each is run once more before the timed rounds, which also warms the cache.
cold: the page cache is dropped before every run (root only), the tools run
in turns, and the median of the runs counts; du's total comes from a run on
a warm cache. du itself is not timed cold (it is single-threaded and slow).
total: one run of each on a warm cache, only to compare the totals.

Usage: compare.py warm|cold|total <ostrevane> <tree> <tool-home> <runs>
"""
import json
import os
import statistics
import subprocess
import sys
import time


def run(command, env=None):
    start = time.perf_counter()
    before = os.times()
    done = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    after = os.times()
    if done.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (done.returncode, " ".join(command), done.stderr.decode(errors="replace")))
    system = after.children_system - before.children_system
    return elapsed, done.stdout.decode(errors="replace"), system


def drop_caches():
    subprocess.run(["sync"], check=True)
    with open("/proc/sys/vm/drop_caches", "w") as control:
        control.write("3\n")


def main():
    mode, tool, tree, tool_home, runs = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])
    env = dict(os.environ, OSTREVANE_HOME=tool_home)
    env.pop("OSTREVANE_FANOUT", None)
    commands = {
        "ostrevane": ([tool, "scan", tree, "--refresh", "--json"], env),
        "gdu": (["gdu", "--non-interactive", "--summarize", "--no-progress", "--no-prefix", tree], None),
        "du": (["du", "-s", "-B1", tree], None),
    }
    load_before = os.getloadavg()[0]
    outputs = {name: run(command, command_env)[1] for name, (command, command_env) in commands.items()}
    timed = [name for name in commands if mode == "warm" or (mode == "cold" and name != "du")]
    times = {name: [] for name in timed}
    system = {name: [] for name in timed}
    for _ in range(runs if mode != "total" else 0):
        for name in timed:
            if mode == "cold":
                drop_caches()
            elapsed, _, sys_time = run(*commands[name])
            times[name].append(elapsed)
            system[name].append(sys_time)

    view = json.loads(outputs["ostrevane"])
    du_total = int(outputs["du"].split()[0])
    print("tree: %s (%d files by ostrevane's count), %s page cache"
          % (tree, view["fileCount"], {"warm": "warm", "cold": "cold", "total": "warm"}[mode]))
    if mode != "total":
        medians = {name: statistics.median(values) for name, values in times.items()}
        print("%d runs each, median wall time of the whole process; load average %.1f before, %.1f after, %d cores"
              % (runs, load_before, os.getloadavg()[0], os.cpu_count()))
        print()
        print("%-10s %9s %9s %9s %12s" % ("", "median", "min", "max", "system CPU"))
        for name in timed:
            print("%-10s %8.3fs %8.3fs %8.3fs %11.1fs" % (name, medians[name], min(times[name]), max(times[name]),
                                                       statistics.median(system[name])))
        print()
        to_gdu = medians["ostrevane"] / medians["gdu"]
        target = 0.5 if mode == "warm" else 0.8
        print("ostrevane / gdu = %.2f   (target at most %.2f: %s)" % (to_gdu, target, "met" if to_gdu <= target else "MISSED"))
        if mode == "warm":
            to_du = medians["ostrevane"] / medians["du"]
            print("ostrevane / du  = %.2f   (target at most 0.25: %s)" % (to_du, "met" if to_du <= 0.25 else "MISSED"))
    same = view["totalBytes"] == du_total
    print("root size: ostrevane %d, du %d bytes: %s" % (view["totalBytes"], du_total, "equal" if same else "DIFFERENT"))
    return 0 if same else 1


sys.exit(main())
