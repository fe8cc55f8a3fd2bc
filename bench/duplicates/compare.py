#!/usr/bin/env python3
"""Times `ostrevane duplicates` against jdupes and rmlint on a warm page cache,
every command once per round in turns so that a change in the machine's load
falls on all of them alike, and checks that the verified groups are jdupes's
groups.

Groups are compared as sets of files on disk (device, inode), since hard links
to one file are one file: ostrevane names each such file once, the others may
name it by several links or leave links out.

Usage: compare.py <ostrevane> <tree> <tool-home> <out folder> <runs>"""
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


def timed(command, env=None, before=None):
    if before:
        before()
    start = time.perf_counter()
    done = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"failed ({done.returncode}): {' '.join(command)}\n{done.stderr.decode(errors='replace')}")
    return elapsed, done.stdout.decode()


def in_turns(commands, runs):
    """Runs each (name, command, env, before) once per round, in turns, after
    one warm-up round, and prints each one's spread. Returns the times and the
    last output by name."""
    times = {name: [] for name, *_ in commands}
    outputs = {}
    for round in range(runs + 1):
        for name, command, env, before in commands:
            elapsed, outputs[name] = timed(command, env, before)
            if round > 0:
                times[name].append(elapsed)
    for name, *_ in commands:
        print(f"  {name:<34} {spread(times[name])}", flush=True)
    return times, outputs


def identity(path):
    status = os.lstat(path)
    return (status.st_dev, status.st_ino)


def normalise(groups):
    """Each group as the set of files on disk it names; groups naming fewer
    than two files on disk are no duplicates at all."""
    result = set()
    for paths in groups:
        files = frozenset(identity(p) for p in paths)
        if len(files) >= 2:
            result.add(files)
    return result


def ostrevane_groups(output):
    return [group["paths"] for group in json.loads(output)["groups"]]


def jdupes_groups(output):
    groups, current = [], []
    for line in output.splitlines():
        if line.strip():
            current.append(line)
        elif current:
            groups.append(current)
            current = []
    if current:
        groups.append(current)
    return groups


def rmlint_groups(report_file):
    with open(report_file) as f:
        entries = json.load(f)
    by_digest = {}
    for entry in entries:
        if entry.get("type") == "duplicate_file":
            by_digest.setdefault(entry["checksum"], []).append(entry["path"])
    return list(by_digest.values())


def cache_folder(env):
    """Where the tool keeps its scan cache: <OSTREVANE_HOME>/.cache when the
    home is overridden, else $XDG_CACHE_HOME (when absolute) or ~/.cache."""
    if env.get("OSTREVANE_HOME"):
        base = os.path.join(env["OSTREVANE_HOME"], ".cache")
    elif env.get("XDG_CACHE_HOME", "").startswith("/"):
        base = env["XDG_CACHE_HOME"]
    else:
        base = os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "Ostrevane")


def main(tool, tree, home, out, runs):
    env = dict(os.environ, OSTREVANE_HOME=home, OSTREVANE_LANG="en")
    cache = cache_folder(env)

    def fresh_scan():
        shutil.rmtree(cache, ignore_errors=True)

    # A stored scan where this script does not look would make every "fresh"
    # run a cache hit.
    timed([tool, "scan", tree, "--json"], env, fresh_scan)
    if not os.path.isdir(cache):
        sys.exit(f"the tool stored no scan in {cache}: the benchmark removes the wrong folder")

    # Warm the page cache with every byte of the tree.
    subprocess.run(["sh", "-c", f"find '{tree}' -type f -exec cat {{}} + > /dev/null"], check=True)

    rmlint_report = os.path.join(out, "rmlint.json")
    ours = [tool, "duplicates", tree, "--min-size", "0", "--json"]
    verify = ours[:-1] + ["--verify", "--json"]
    print(f"tree {tree}: {runs} rounds after one warm-up, each command once per round in turns, page cache warm;"
          " wall time, median (min–max)")
    print(f"{load()} before")
    times, outputs = in_turns([
        ("ostrevane --verify (fresh scan)", verify, env, fresh_scan),
        ("ostrevane quick (fresh scan)", ours, env, fresh_scan),
        ("ostrevane --verify (stored scan)", verify, env, None),
        ("ostrevane quick (stored scan)", ours, env, None),
        ("jdupes -r", ["jdupes", "-r", "-q", tree], None, None),
        ("rmlint -T df -L", ["rmlint", "-T", "df", "-L", "-o", f"json:{rmlint_report}", tree], None, None),
    ], runs)
    print(f"{load()} after")
    verify_out, quick_out, jdupes_out = (outputs["ostrevane --verify (fresh scan)"],
                                         outputs["ostrevane quick (fresh scan)"], outputs["jdupes -r"])

    verified = normalise(ostrevane_groups(verify_out))
    quick = normalise(ostrevane_groups(quick_out))
    jdupes = normalise(jdupes_groups(jdupes_out))
    rmlint = normalise(rmlint_groups(rmlint_report))
    wasted = json.loads(verify_out)["totalWasted"]

    print()
    print(f"groups: ostrevane --verify {len(verified)}, quick {len(quick)}, jdupes {len(jdupes)}, rmlint {len(rmlint)};"
          f" wasted (verify) {wasted}")
    same = verified == jdupes
    print(f"  verified groups equal jdupes's: {'yes' if same else 'NO'}")
    if not same:
        print(f"    only ostrevane: {len(verified - jdupes)}, only jdupes: {len(jdupes - verified)}")
    print(f"  rmlint's groups equal jdupes's: {'yes' if rmlint == jdupes else 'no'}")
    print(f"  quick groups not confirmed by --verify: {len(quick - verified)}"
          f" (same size, differing only between the first and last 128 KiB)")
    print()
    jdupes_times, rmlint_times = times["jdupes -r"], times["rmlint -T df -L"]
    verify_ratio = ratios(times["ostrevane --verify (fresh scan)"], jdupes_times)
    quick_ratio = ratios(times["ostrevane quick (fresh scan)"], jdupes_times)
    verdict = {True: "met", False: "MISSED"}
    print(f"fresh scans against jdupes, round by round, median (min–max): verify {spread(verify_ratio, '×')}"
          f" (target <= 1.0: {verdict[statistics.median(verify_ratio) <= 1.0]}),"
          f" quick {spread(quick_ratio, '×')} (target <= 0.3: {verdict[statistics.median(quick_ratio) <= 0.3]})")
    print("time ratios, round by round, median (min–max); lower is faster")
    for label, name in (("verify", "ostrevane --verify (fresh scan)"), ("quick", "ostrevane quick (fresh scan)"),
                        ("verify, stored scan", "ostrevane --verify (stored scan)"),
                        ("quick, stored scan", "ostrevane quick (stored scan)")):
        print(f"  {label:<20} {spread(ratios(times[name], jdupes_times), '× jdupes'):<34}"
              f" {spread(ratios(times[name], rmlint_times), '× rmlint')}")
    return 0 if same else 1


if __name__ == "__main__":
    check()
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])))
