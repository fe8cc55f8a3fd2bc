#!/usr/bin/env python3
"""Opens the window `runs` times with no stored scan and `runs` times with the
scan it stored, in turns, each under /usr/bin/time -v, and prints the times and
the peak resident memory as medians with their min–max, the load, and where
the memory of the last run of each went.

Usage: measure.py <OpenBench> <home> <folder for the application's own files> <runs> <offscreen|xcb>"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
from arguments import check  # noqa: E402
from stats import load, spread  # noqa: E402

TARGET_SECONDS = 1.5
TARGET_BYTES = 60_000_000  # 60 MB as the application writes sizes


def run(bench, env, xdg, fresh):
    """One opening: (files, overview s, idle s, peak bytes, memory lines)."""
    if fresh:
        shutil.rmtree(f"{xdg}/cache", ignore_errors=True)
    with tempfile.NamedTemporaryFile("r") as report:
        done = subprocess.run(["/usr/bin/time", "-v", "-o", report.name, bench, repr(time.monotonic())], env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if done.returncode != 0:
            sys.exit(done.stderr.decode(errors="replace"))
        peak_kib = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", report.read()).group(1))
    lines = done.stdout.decode().strip().splitlines()
    result = dict(word.split("=") for word in lines[-1].split()[1:])
    memory = [line for line in lines if line.startswith("memory")]
    return int(result["files"]), float(result["overview"]), float(result["idle"]), peak_kib * 1024, memory


def main():
    bench, home, xdg, runs, platform = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5]
    env = dict(os.environ, HOME=home, XDG_CACHE_HOME=f"{xdg}/cache", XDG_CONFIG_HOME=f"{xdg}/config",
               XDG_DATA_HOME=f"{xdg}/data", QT_QPA_PLATFORM=platform, OSTREVANE_LANG="en")
    env.pop("OSTREVANE_HOME", None)
    where = "offscreen" if platform == "offscreen" else f"on the display {env.get('DISPLAY')}"
    kinds = (("no stored scan", True), ("stored scan", False))

    print(f"home {home}; the window {where}; {runs} round{'s' if runs != 1 else ''} after one warm-up, each kind once per round in turns")
    print(f"{load()} before")
    results = {label: [] for label, _ in kinds}
    for round in range(runs + 1):  # the first round warms the page cache and stores the scan
        for label, fresh in kinds:
            measured = run(bench, env, xdg, fresh)
            if round > 0:
                results[label].append(measured)
    print(f"{load()} after")

    status = 0
    for label, _ in kinds:
        measured = results[label]
        overview = [r[1] for r in measured]
        peaks = [r[3] for r in measured]
        fast = statistics.median(overview) <= TARGET_SECONDS
        small = statistics.median(peaks) <= TARGET_BYTES
        status |= not (fast and small)
        print(f"{label}: {measured[0][0]} files")
        print(f"  first complete overview {spread(overview, 's', 2)} (target at most 1.5 s: "
              f"{'met' if fast else 'MISSED'})")
        print(f"  idle {spread([r[2] for r in measured], 's', 2)}")
        print(f"  peak resident memory (/usr/bin/time -v) {spread(peaks, 'MB', 1, 1e-6)}"
              f" = {spread(peaks, 'MiB', 1, 1 / 1048576)} (target at most 60 MB: {'met' if small else 'MISSED'})")
        for line in measured[-1][4]:
            print(f"  last run's {line}")
    return status


check()
sys.exit(main())
