# Shared part of the copy scenarios S1 (first mirror), S2 (rescan without changes) and S3 (incremental
# with older versions): the release program, a generated tree, a task file and the timing helpers.
set -euo pipefail
root=${VASTREL_ROOT:?}
small=${VASTREL_BENCH_SMALL:-0}
# In memory when there is room (/dev/shm), so that the disk's write-back does not hide the programs.
if [ -z "${VASTREL_BENCH_DIR:-}" ] && [ -w /dev/shm ] &&
    [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt 3000000 ]; then
    work=/dev/shm/vastrel-bench-copy
else
    work=${VASTREL_BENCH_DIR:-${TMPDIR:-/tmp}/vastrel-bench-copy}
fi
vastrel="$root/build/release/apps/Vastrel"

(cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release -j3 --target Vastrel >/dev/null)

if [ "$small" = 1 ]; then
    count=3000; dirs=60; large=2; large_mb=16; runs=3; warmup=0
else
    count=30000; dirs=600; large=4; large_mb=64; runs=5; warmup=1
fi
data="$work/data-$count-$large"
src="$data/tree"
out="$work/out"
mkdir -p "$out"
if [ ! -d "$src" ]; then
    rm -rf "$work"/data-*
    # files of 0 to 32 KiB in two levels of folders, and a few large files
    /usr/bin/python3 - "$src" "$count" "$dirs" "$large" "$large_mb" <<'PY'
import os, random, sys
root, count, dirs, large, large_mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
rng = random.Random(20261211)
blob = rng.randbytes(1 << 20)
for i in range(count):
    d = i % dirs
    folder = os.path.join(root, "g%02d" % (d % 20), "d%04d" % d)
    os.makedirs(folder, exist_ok=True)
    size = min(int(rng.expovariate(1 / 6000)), 32768)
    off = rng.randrange(0, len(blob) - size)
    with open(os.path.join(folder, "f%06d.dat" % i), "wb") as f:
        f.write(blob[off:off + size])
os.makedirs(os.path.join(root, "large"), exist_ok=True)
for i in range(large):
    with open(os.path.join(root, "large", "big%d.bin" % i), "wb") as f:
        for j in range(large_mb):
            f.write(blob[j % 7:] + blob[:j % 7])
PY
fi
entries=$(find "$src" | wc -l)

# A settings folder of the benchmark's own, so that runs write their logs there.
export HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
unset DISPLAY WAYLAND_DISPLAY

# make_task <file> <destination> [extra Global lines]: a task that mirrors the tree into destination.
make_task() {
    printf '[Global]\nDestination=%s\nDestMode=2\nDirCount=1\nCompress=0\n%s\n[Dir000]\nSource=%s\nBackupMode=1\n' "$2" "${3:-}" "$src" >"$1"
}

median_of() {
    local json="$work/$1.json"
    hyperfine --style none --runs "$runs" --warmup "$warmup" --prepare "$2" --export-json "$json" "$3" >/dev/null 2>&1 ||
        { echo "benchmark command failed: $3" >&2; return 1; }
    /usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "$json"
}

ratio() {
    /usr/bin/python3 -c 'import sys; print("%.3f" % (float(sys.argv[1]) / float(sys.argv[2])))' "$1" "$2"
}

# same_tree <a> <b>: both hold the same files with the same contents and modification times (to the
# 100 ns that the program's file times hold).
same_tree() {
    diff -r "$1" "$2" >/dev/null || { echo "trees differ: $1 $2" >&2; return 1; }
    (cd "$1" && find . -type f -printf '%P %T@\n' | sed -E 's/([.][0-9]{7})[0-9]*$/\1/' | sort) >"$work/t1"
    (cd "$2" && find . -type f -printf '%P %T@\n' | sed -E 's/([.][0-9]{7})[0-9]*$/\1/' | sort) >"$work/t2"
    cmp -s "$work/t1" "$work/t2" || { echo "times differ: $1 $2" >&2; return 1; }
}
