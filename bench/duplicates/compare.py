#!/usr/bin/env python3
"""Times `ostrevane duplicates` against jdupes and rmlint on a warm page cache
and checks that the verified groups are jdupes's groups.

Groups are compared as sets of files on disk (device, inode), since hard links
to one file are one file: ostrevane names each such file once, the others may
name it by several links or leave links out."""
import json
import os
import shutil
import statistics
import subprocess
import sys
import time


def timed(command, env=None, before=None):
    if before:
        before()
    start = time.perf_counter()
    done = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"failed ({done.returncode}): {' '.join(command)}\n{done.stderr.decode(errors='replace')}")
    return elapsed, done.stdout.decode()


def measure(name, command, runs, env=None, before=None):
    timed(command, env, before)  # warm-up, not counted
    times, output = [], ""
    for _ in range(runs):
        elapsed, output = timed(command, env, before)
        times.append(elapsed)
    median = statistics.median(times)
    print(f"  {name:<34} median {median:7.3f} s   runs {' '.join(f'{t:.3f}' for t in times)}", flush=True)
    return median, output


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
    print(f"tree {tree}: {runs} timed runs each after one warm-up, page cache warm")
    verify_time, verify_out = measure("ostrevane --verify (fresh scan)", ours[:-1] + ["--verify", "--json"], runs, env,
                                      fresh_scan)
    quick_time, quick_out = measure("ostrevane quick (fresh scan)", ours, runs, env, fresh_scan)
    verify_cached, _ = measure("ostrevane --verify (stored scan)", ours[:-1] + ["--verify", "--json"], runs, env)
    quick_cached, _ = measure("ostrevane quick (stored scan)", ours, runs, env)
    jdupes_time, jdupes_out = measure("jdupes -r", ["jdupes", "-r", "-q", tree], runs)
    rmlint_time, _ = measure("rmlint -T df -L", ["rmlint", "-T", "df", "-L", "-o", f"json:{rmlint_report}", tree], runs)

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
    verify_ratio, quick_ratio = verify_time / jdupes_time, quick_time / jdupes_time
    print(f"fresh scans against jdupes: verify {verify_ratio:.3f} x (target <= 1.0: "
          f"{'met' if verify_ratio <= 1.0 else 'MISSED'}), quick {quick_ratio:.3f} x (target <= 0.3: "
          f"{'met' if quick_ratio <= 0.3 else 'MISSED'})")
    print("time ratios (lower is faster; targets: verify <= 1.0 x jdupes, quick <= 0.3 x jdupes)")
    for label, ours_time in (("verify", verify_time), ("quick", quick_time), ("verify, stored scan", verify_cached),
                             ("quick, stored scan", quick_cached)):
        print(f"  {label:<20} {ours_time / jdupes_time:6.3f} x jdupes   {ours_time / rmlint_time:6.3f} x rmlint")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])))
