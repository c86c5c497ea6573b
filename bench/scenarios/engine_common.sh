# Shared part of the per-file engine scenarios S7 (gzip) and S8 (.enc): build, data, timing.
set -euo pipefail
root=${VASTREL_ROOT:?}
small=${VASTREL_BENCH_SMALL:-0}
work=${VASTREL_BENCH_DIR:-${TMPDIR:-/tmp}/vastrel-bench-engine}
bin="$root/build/release/bench/engine/vastrel_engine_bench"

(cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release -j3 --target vastrel_engine_bench >/dev/null)

if [ "$small" = 1 ]; then
    count=150; large_mb=16; runs=3; warmup=0
else
    count=2000; large_mb=256; runs=5; warmup=1
fi
data="$work/data-$count-$large_mb"
if [ ! -d "$data" ]; then
    rm -rf "$work"/data-*
    /usr/bin/python3 - "$data" "$count" "$large_mb" <<'PY'
import os, random, sys
root, count, large_mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(20261210)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(3000)]
def text(n):
    out = bytearray()
    while len(out) < n:
        if rng.random() < 0.15:
            out += rng.randbytes(rng.randint(16, 256))
        else:
            out += b" ".join(rng.choice(words) for _ in range(12)) + b"\n"
    return bytes(out[:n])
os.makedirs(os.path.join(root, "tree"))
for i in range(count):
    folder = os.path.join(root, "tree", "d%02d" % (i % 20))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%05d.txt" % i), "wb") as f:
        f.write(text(rng.randint(0, 65536)))
os.makedirs(os.path.join(root, "large"))
with open(os.path.join(root, "large", "large.bin"), "wb") as f:
    chunk = text(1 << 20)
    for i in range(large_mb):
        f.write(chunk[i % 7:] + chunk[:i % 7])
PY
fi
tree="$data/tree"
large="$data/large/large.bin"
out="$work/out"

# median_of <name> <prepare> <command>: the median wall time in seconds of runs of command.
median_of() {
    local json="$work/$1.json"
    hyperfine --style none --runs "$runs" --warmup "$warmup" --prepare "$2" --export-json "$json" "$3" >/dev/null 2>&1 ||
        { echo "benchmark command failed: $3" >&2; return 1; }
    /usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "$json"
}

ratio() {
    /usr/bin/python3 -c 'import sys; print("%.3f" % (float(sys.argv[1]) / float(sys.argv[2])))' "$1" "$2"
}
