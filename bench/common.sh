# Sourced by every bench/*/run: the one optimised build all benchmarks share,
# the job limit its builds honour, and the load printed around each run.
#   JOBS=<n>   parallel build jobs (default: the number of processors)

bench_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bench_build="$bench_root/bench/out/build"
mkdir -p "$bench_root/bench/out"
JOBS="${JOBS:-$(nproc)}"
[[ $JOBS =~ ^[1-9][0-9]*$ ]] || { echo "JOBS must be a positive number, not '$JOBS'" >&2; exit 2; }

# bench_configure <source> <build folder>: a Release build of the tree without
# the test suites, through ccache where there is one.
bench_configure() {
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREVANE_TESTS=OFF "${launcher[@]}"
}

# bench_ninja <build folder> <log> <target>...: builds at a low priority
# within the job limit; a failure shows the end of the log.
bench_ninja() {
    local build="$1" log="$2"
    shift 2
    echo "building $* in $build with $JOBS jobs ..."
    if ! nice ninja -C "$build" -j "$JOBS" "$@" >>"$log" 2>&1; then
        tail -n 40 "$log" >&2
        echo "the build failed: $log" >&2
        exit 1
    fi
}

# bench_make <target>...: builds the targets in the shared build, configuring
# it the first time (ninja configures again by itself when a CMakeLists.txt
# changes). Two benchmarks started together build in turns.
bench_make() {
    local log="$bench_root/bench/out/build.log"
    (
        flock 9
        : >"$log"
        [[ -f "$bench_build/build.ninja" ]] || bench_configure "$bench_root" "$bench_build" >>"$log" 2>&1 \
            || { tail -n 40 "$log" >&2; exit 1; }
        bench_ninja "$bench_build" "$log" "$@"
    ) 9>"$bench_root/bench/out/build.lock"
}

# bench_tree <folder> <generator> [arguments...]: builds a tree once and keeps
# it; the generator's own hash and its arguments name the tree, so a changed
# generator builds anew. Two benchmarks needing one tree build it once.
bench_tree() {
    local tree="$1" generator="$2"
    shift 2
    local stamp="$tree-$( (sha256sum "$generator"; echo "$*") | sha256sum | cut -c1-16).complete"
    mkdir -p "$(dirname "$tree")"
    (
        flock 9
        if [[ ! -f "$stamp" ]]; then
            rm -rf "$tree" "$tree"-*.complete
            echo "building the tree in $tree ..."
            python3 "$generator" "$tree" "$@"
            touch "$stamp"
        fi
    ) 9>"$tree.lock"
}

# The scan benchmark's synthetic developer's home (about 226,000 files, 3.8 GB),
# which every benchmark needing such a home shares.
bench_home_tree="$bench_root/bench/out/scan/home"
bench_home() {
    bench_tree "$bench_home_tree" "$bench_root/bench/scan/maketree.py"
}

# The load around the measured part, so a reader can judge the figures.
bench_load() {
    echo "load average (1, 5, 15 min) $1: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors"
}

bench_load_around() {
    bench_load before
    trap 'bench_load after' EXIT
}
