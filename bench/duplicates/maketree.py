#!/usr/bin/env python3
"""Builds the duplicate-finder benchmark tree: files of 1 to 2 MiB, 8 to 32 MiB
and 128 to 256 MiB, some copied 2 to 4 times, some sharing their size with
files that differ in one byte at the start, the middle or the end, and hard
links to single files and to members of groups, and sparse copies beside
dense ones. Files under 1 MiB are left out because the scanner keeps no node
that small (the sparse copies hold less than that, but are long). Reproducible
from the seed.

Usage: maketree.py <folder>"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from arguments import check  # noqa: E402

SEED = 20261208
KIB, MIB = 1024, 1024 * 1024


def main(root):
    rng = random.Random(SEED)
    pool = rng.randbytes(64 * MIB)
    folders = [f"{top}/{sub}" for top in ("photos", "music", "projects", "downloads", "archive")
               for sub in ("2019", "2020", "2021", "2022", "2023", "misc", "old", "new")]
    serial = [0]

    def place(name):
        folder = os.path.join(root, rng.choice(folders))
        os.makedirs(folder, exist_ok=True)
        serial[0] += 1
        return os.path.join(folder, f"{serial[0]:05d}-{name}")

    def contents(size):
        """Unique bytes: a tag, then the pool from a file-specific offset."""
        serial[0] += 1
        tag = f"file {serial[0]} ".encode().ljust(32, b".")
        offset = rng.randrange(0, len(pool) - 1)
        parts, remaining = [tag[:size]], size - min(size, len(tag))
        while remaining > 0:
            piece = pool[offset:offset + remaining]
            parts.append(piece)
            remaining -= len(piece)
            offset = 0
        return b"".join(parts)

    def write(path, data):
        with open(path, "wb") as f:
            f.write(data)
        return path

    def changed(data, where):
        position = {"start": 100, "middle": len(data) // 2, "end": len(data) - 1}[where]
        mutable = bytearray(data)
        mutable[position] ^= 0x5A
        return bytes(mutable)

    written = []  # paths of original files that may get hard links

    def plant(lo, hi, singles, groups, sets, copies=(2, 4)):
        for _ in range(singles):
            written.append(write(place("single.bin"), contents(rng.randint(lo, hi))))
        for _ in range(groups):
            data = contents(rng.randint(lo, hi))
            for _ in range(rng.randint(*copies)):
                written.append(write(place("copy.bin"), data))
        wheres = ("start", "middle", "end")
        for index in range(sets):
            data = contents(rng.randint(lo, hi))
            write(place("base.bin"), data)
            for variant in range(rng.randint(1, 2)):
                write(place(f"differs-{wheres[(index + variant) % 3]}.bin"), changed(data, wheres[(index + variant) % 3]))

    plant(1 * MIB + 4 * KIB, 2 * MIB, singles=400, groups=120, sets=120)
    plant(8 * MIB, 32 * MIB, singles=30, groups=16, sets=16, copies=(2, 3))
    plant(128 * MIB, 256 * MIB, singles=2, groups=3, sets=2, copies=(2, 2))

    # Sparse copies: an all-zero file with no blocks and its written-out copy;
    # a disk image with data at both ends, written out once and twice with
    # holes. The sparse ones hold less than the scanner's 1 MiB floor.
    def sparse(path, length, pieces):
        with open(path, "wb") as f:
            for offset, data in pieces:
                f.seek(offset)
                f.write(data)
            f.truncate(length)
        return path

    zeros = 100 * MIB
    sparse(place("zeros-sparse.img"), zeros, [])
    write(place("zeros-dense.img"), bytes(zeros))
    image, head, tail = 200 * MIB, contents(256 * KIB), contents(256 * KIB)
    write(place("image-dense.img"), head + bytes(image - len(head) - len(tail)) + tail)
    for _ in range(2):
        sparse(place("image-sparse.img"), image, [(0, head), (image - len(tail), tail)])

    # Hard links: to members of groups and to single files alike. A single
    # file with links is still one file and must not form a group.
    for path in rng.sample(written, 40):
        for link in range(rng.randint(1, 2)):
            target = place("link.bin")
            os.link(path, target)


if __name__ == "__main__":
    check()
    main(sys.argv[1])
