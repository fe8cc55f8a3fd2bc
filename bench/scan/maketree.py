#!/usr/bin/env python3
"""Builds a synthetic developer's home folder for the scan benchmark.

Deterministic (fixed seed, fixed order): over 200,000 files in over 20,000
folders. Most of the count is what a developer's home is made of: package
trees of small files (node_modules, site-packages), caches sharded into
hundreds of folders, git object folders, build output; most of the bytes are a
few hundred media files, installers and build artefacts. It also holds hard
links inside one folder and symbolic links (to files, to folders, dangling).

With --js-projects N the tree holds N web projects instead of 10, each about
18,000 files: 80 of them make a tree of about 1.5 million files.

Usage: maketree.py <folder> [--js-projects N]
"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from arguments import check  # noqa: E402

rng = random.Random(20251208)
PATTERN = bytes(range(256)) * 4096  # 1 MiB; the content does not matter, the allocation does
counts = {"bytes": 0}


def folder(path):
    os.makedirs(path, exist_ok=True)
    return path


def write(path, size):
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    left = size
    while left > 0:
        chunk = min(left, len(PATTERN))
        os.write(fd, PATTERN[:chunk])
        left -= chunk
    os.close(fd)
    counts["bytes"] += size


def small():
    # Most files of a source or package tree are a few hundred bytes to a few KB.
    return int(rng.choice([rng.randint(40, 900), rng.randint(900, 6000), rng.randint(6000, 40000)]))


def hexname(n, width=2):
    return format(n, "0%dx" % width)


def caches(home):
    cache = folder(os.path.join(home, ".cache"))
    go = folder(os.path.join(cache, "go-build"))
    for shard in range(256):
        d = folder(os.path.join(go, hexname(shard)))
        for i in range(30):
            write(os.path.join(d, "%s%04x-d" % (hexname(shard), i)), rng.randint(200, 24000))
    pip = folder(os.path.join(cache, "pip", "http"))
    for a in range(16):
        for b in range(8):
            for c in range(4):
                d = folder(os.path.join(pip, hexname(a, 1), hexname(b, 1), hexname(c, 1)))
                for i in range(2):
                    write(os.path.join(d, "%032x" % rng.getrandbits(128)), rng.randint(2000, 200000))
    thumbs = folder(os.path.join(cache, "thumbnails", "normal"))
    for i in range(3000):
        write(os.path.join(thumbs, "%032x.png" % rng.getrandbits(128)), rng.randint(5000, 30000))
    entries = folder(os.path.join(cache, "mozilla", "firefox", "x1y2z3.default", "cache2", "entries"))
    for i in range(4000):
        write(os.path.join(entries, "%040X" % rng.getrandbits(160)), small())
    npm = folder(os.path.join(home, ".npm", "_cacache"))
    for shard in range(256):
        for sub in range(6):
            d = folder(os.path.join(npm, "content-v2", "sha512", hexname(shard), hexname(rng.getrandbits(8))))
            for i in range(3):
                write(os.path.join(d, "%060x" % rng.getrandbits(240)), small())
    docs = folder(os.path.join(home, ".rustup", "toolchains", "stable-x86_64-unknown-linux-gnu", "share", "doc"))
    for crate in range(400):
        d = folder(os.path.join(docs, "rust", "html", "crate%03d" % crate))
        for i in range(15):
            write(os.path.join(d, "item%02d.html" % i), small())


def node_modules(project, packages):
    modules = folder(os.path.join(project, "node_modules"))
    bin_folder = folder(os.path.join(modules, ".bin"))
    for p in range(packages):
        name = "pkg-%03d" % p
        package = folder(os.path.join(modules, name))
        write(os.path.join(package, "package.json"), rng.randint(400, 3000))
        write(os.path.join(package, "README.md"), rng.randint(500, 12000))
        write(os.path.join(package, "index.js"), small())
        lib = folder(os.path.join(package, "lib"))
        for i in range(rng.randint(3, 15)):
            write(os.path.join(lib, "module%02d.js" % i), small())
        if rng.random() < 0.6:
            dist = folder(os.path.join(package, "dist"))
            for i in range(rng.randint(5, 20)):
                write(os.path.join(dist, "bundle%02d.js" % i), small())
        if rng.random() < 0.15:
            nested = folder(os.path.join(package, "node_modules", "dep-%03d" % p))
            for i in range(4):
                write(os.path.join(nested, "file%d.js" % i), small())
        if p % 13 == 0:
            folder(os.path.join(package, "bin"))
            write(os.path.join(package, "bin", "cli.js"), small())
            os.symlink(os.path.join("..", name, "bin", "cli.js"), os.path.join(bin_folder, name))
    # A content store whose files are hard-linked under a second name in the same folder.
    store = folder(os.path.join(modules, ".cache", "store"))
    for i in range(12):
        original = os.path.join(store, "blob%02d" % i)
        write(original, rng.randint(20000, 400000))
        os.link(original, os.path.join(store, "blob%02d.link" % i))
    os.symlink("pkg-999", os.path.join(bin_folder, "dangling"))


def git_objects(project):
    objects = folder(os.path.join(project, ".git", "objects"))
    for shard in range(256):
        d = folder(os.path.join(objects, hexname(shard)))
        for i in range(rng.randint(2, 9)):
            write(os.path.join(d, "%038x" % rng.getrandbits(152)), small())
    pack = folder(os.path.join(objects, "pack"))
    for i in range(2):
        write(os.path.join(pack, "pack-%040x.pack" % rng.getrandbits(160)), rng.randint(1, 6) << 20)


def js_project(projects, n):
    project = folder(os.path.join(projects, "web-app-%02d" % n))
    for c in range(30):
        d = folder(os.path.join(project, "src", "components", "Widget%02d" % c))
        for i in range(8):
            write(os.path.join(d, "part%d.tsx" % i), small())
    git_objects(project)
    node_modules(project, 800)
    dist = folder(os.path.join(project, "build"))
    for i in range(40):
        write(os.path.join(dist, "chunk%02d.js" % i), rng.randint(20000, 900000))


def rust_project(projects, n):
    project = folder(os.path.join(projects, "service-%02d" % n))
    src = folder(os.path.join(project, "src"))
    for i in range(50):
        write(os.path.join(src, "mod%02d.rs" % i), small())
    git_objects(project)
    deps = folder(os.path.join(project, "target", "debug", "deps"))
    for i in range(400):
        write(os.path.join(deps, "lib%03d-%016x.rlib" % (i, rng.getrandbits(64))), rng.randint(20000, 600000))
    for b in range(80):
        d = folder(os.path.join(project, "target", "debug", "build", "crate%02d-%016x" % (b, rng.getrandbits(64))))
        for i in range(5):
            write(os.path.join(d, "output%d" % i), small())
    for b in range(60):
        d = folder(os.path.join(project, "target", "debug", "incremental", "unit%02d" % b))
        for i in range(10):
            write(os.path.join(d, "s-%08x.bin" % rng.getrandbits(32)), rng.randint(1000, 80000))


def python_project(projects, n):
    project = folder(os.path.join(projects, "tool-%02d" % n))
    site = folder(os.path.join(project, ".venv", "lib", "python3.11", "site-packages"))
    for p in range(150):
        package = folder(os.path.join(site, "package%03d" % p))
        cache = folder(os.path.join(package, "__pycache__"))
        for i in range(7):
            write(os.path.join(package, "m%d.py" % i), small())
            write(os.path.join(cache, "m%d.cpython-311.pyc" % i), small())
    git_objects(project)


def personal(home):
    for y in range(40):
        d = folder(os.path.join(home, "Documents", "Archive%02d" % y))
        for i in range(35):
            write(os.path.join(d, "note%02d.md" % i), small())
        write(os.path.join(d, "scan.pdf"), rng.randint(1, 5) << 20)
    for year in range(2019, 2025):
        d = folder(os.path.join(home, "Pictures", str(year)))
        for i in range(14):
            write(os.path.join(d, "IMG_%04d.jpg" % (year * 10 + i)), rng.randint(2 << 20, 5 << 20))
    movies = folder(os.path.join(home, "Movies"))
    for i in range(3):
        write(os.path.join(movies, "trip-%d.mp4" % i), rng.randint(40, 70) << 20)
    for artist in range(12):
        d = folder(os.path.join(home, "Music", "Artist%02d" % artist))
        for i in range(5):
            write(os.path.join(d, "track%02d.flac" % i), rng.randint(3 << 20, 6 << 20))
    downloads = folder(os.path.join(home, "Downloads"))
    for i in range(200):
        write(os.path.join(downloads, "download%03d.bin" % i), small())
    for i in range(2):
        write(os.path.join(downloads, "installer-%d.deb" % i), rng.randint(20, 60) << 20)


def main():
    home = sys.argv[1]
    js_projects = int(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[2] == "--js-projects" else 10
    folder(home)
    caches(home)
    projects = folder(os.path.join(home, "projects"))
    for n in range(js_projects):
        js_project(projects, n)
    for n in range(3):
        rust_project(projects, n)
    for n in range(3):
        python_project(projects, n)
    os.symlink("web-app-03", os.path.join(projects, "current"))
    personal(home)
    files = folders = 0
    for _, dirs, names in os.walk(home):
        folders += len(dirs)
        files += len(names)
    print("%d files (symbolic links included), %d folders, %.1f MB of file content"
          % (files, folders + 1, counts["bytes"] / 1e6))


check({"--js-projects"})
main()
