#!/usr/bin/env python3
"""Times a whole `ostrevane scan <tree> --refresh --json` against gdu's
non-interactive summary, `du -s -B1` and a bare 8-thread floor walker (only
getdents64 and fstatat, bench/scan/FloorWalk.cpp), and checks that the tool's
root size is du's total.

warm: on a warm page cache. The commands run in turns (one of each per
round) so that a change in the machine's load falls on all of them alike;
each is run once more before the timed rounds, which also warms the cache.
cold: the page cache is dropped before every run (where the kernel lets this
process do it; otherwise it says so and measures nothing), the commands run in
turns, and the median of the runs counts; du's total comes from a run on a
warm cache.
total: one run of each on a warm cache, only to compare the totals.

Usage: compare.py warm|cold|total <ostrevane> <floor-walker> <tree> <tool-home> <runs>
"""
import json
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from arguments import check  # noqa: E402
from stats import load, ratios, spread  # noqa: E402


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


def why_caches_cannot_be_dropped():
    """None when this process may drop the page cache, else the reason."""
    try:
        drop_caches()
        return None
    except OSError as error:
        return "writing /proc/sys/vm/drop_caches failed: %s" % error.strerror


def main():
    mode, tool, floor, tree, tool_home, runs = (sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5],
                                                int(sys.argv[6]))
    # du and the floor walker take a symlinked tree for the link itself, not the folder it names.
    tree = os.path.realpath(tree)
    if mode == "cold":
        reason = why_caches_cannot_be_dropped()
        if reason:
            print("tree: %s, cold page cache: not measured (%s)" % (tree, reason))
            return 0
    env = dict(os.environ, OSTREVANE_HOME=tool_home)
    env.pop("OSTREVANE_FANOUT", None)
    commands = {
        "ostrevane": ([tool, "scan", tree, "--refresh", "--json"], env),
        "gdu": (["gdu", "--non-interactive", "--summarize", "--no-progress", "--no-prefix", tree], None),
        "du": (["du", "-s", "-B1", tree], None),
        "floor": ([floor, tree, "8"], None),
    }
    load_before = load()
    outputs = {name: run(command, command_env)[1] for name, (command, command_env) in commands.items()}
    timed = list(commands) if mode != "total" else []
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
        print("%d rounds, each command once per round in turns; wall time of the whole process, median (min–max)"
              % runs)
        print("%s before; %s after" % (load_before, load()))
        print()
        print("%-10s %-34s %s" % ("", "wall time", "system CPU (median)"))
        for name in timed:
            print("%-10s %-34s %.1f s" % (name, spread(times[name]), statistics.median(system[name])))
        print()
        targets = ({"gdu": 0.5, "du": 0.25, "floor": 1.0} if mode == "warm"
                   else {"gdu": 0.8, "du": None, "floor": None})
        print("ratios, round by round: median (min–max)")
        for name, target in targets.items():
            ratio = ratios(times["ostrevane"], times[name])
            shown = "floor walker" if name == "floor" else name
            verdict = ("(target at most %.2f: %s)" % (target, "met" if statistics.median(ratio) <= target else "MISSED")
                       if target else "(no target)")
            print("%s: ostrevane / %-12s = %s   %s" % (mode, shown, spread(ratio, "×"), verdict))
    same = view["totalBytes"] == du_total
    print("root size: ostrevane %d, du %d bytes: %s" % (view["totalBytes"], du_total, "equal" if same else "DIFFERENT"))
    return 0 if same else 1


check()
sys.exit(main())
