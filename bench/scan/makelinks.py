#!/usr/bin/env python3
"""Builds a hard-link-heavy tree for the scan benchmark: a package store
whose files are hard-linked into many projects, as pnpm, uv, conda and
ccache lay them out.

Deterministic (fixed seed): a store of 40 files of 1.5 MB and 3,000 small
files, each linked into 12 projects, the large ones 6 folders deep, so that
every file has 13 links spread over many folders (and over the parallel
parts of a scan). Its disk usage is the store's; a scan that counts a file
once per part reports many times more.

Usage: makelinks.py <folder>
"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from arguments import check  # noqa: E402

rng = random.Random(20251209)


def write(path, size):
    with open(path, "wb") as out:
        out.write(rng.randbytes(size))


def main():
    root = sys.argv[1]
    store = os.path.join(root, "store", "v3", "files")
    blobs = []
    for i in range(40):
        folder = os.path.join(store, "%02x" % i)
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "%060x-large" % rng.getrandbits(240))
        write(path, 1500000)
        blobs.append(("large", i, path))
    for i in range(3000):
        folder = os.path.join(store, "%02x" % (i % 256))
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "%060x" % rng.getrandbits(240))
        write(path, rng.randint(100, 20000))
        blobs.append(("small", i, path))
    for project in range(12):
        base = os.path.join(root, "projects", "app-%02d" % project, "node_modules", ".pnpm")
        for kind, i, path in blobs:
            package = "pkg-%03d" % (i % 150)
            if kind == "large":
                folder = os.path.join(base, package + "@1.0.0", "node_modules", package, "dist", "native", "lib")
            else:
                folder = os.path.join(base, package + "@1.0.0", "node_modules", package)
            os.makedirs(folder, exist_ok=True)
            os.link(path, os.path.join(folder, "%s-%04d" % (kind, i)))
    print("%d files in the store, each linked into 12 projects" % len(blobs))


check()
main()
