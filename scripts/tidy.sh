#!/usr/bin/env bash
# Runs clang-tidy 14 with the tree's .clang-tidy over every source file of the `ci` build (configured
# first when needed) and fails on any finding. Slow (about twenty minutes on four cores for the whole
# tree), so not part of CI's test run: run it before a larger change, or name the files to check.
# Usage: [JOBS=n] scripts/tidy.sh [file...]
set -euo pipefail
cd "$(dirname "$0")/.."
tool=$(command -v clang-tidy-14 || true)
if [ -z "$tool" ]; then
    echo "tidy: clang-tidy-14 is not installed (scripts/setup.sh installs it)" >&2
    exit 2
fi
if [ ! -f build/ci/compile_commands.json ]; then
    cmake --preset ci >/dev/null
fi
# Qt's generated sources (moc) must exist for the GUI files to parse.
cmake --build --preset ci --target autogen >/dev/null 2>&1 || true
if [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(/usr/bin/python3 -c '
import json, sys
seen = set()
for e in json.load(open("build/ci/compile_commands.json")):
    f = e["file"]
    if "/build/" not in f and f not in seen:
        seen.add(f)
        print(f)' | sort)
fi
jobs=${JOBS:-$(nproc)}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
printf '%s\0' "${files[@]}" | xargs -0 -P "$jobs" -n 4 "$tool" -p build/ci --quiet >"$log" 2>&1 || status=1
grep -E 'warning:|error:' "$log" | sort -u || true
if [ $status -ne 0 ] || grep -qE 'warning:|error:' "$log"; then
    echo "tidy: findings above (.clang-tidy lists the checks)"
    exit 1
fi
echo "tidy: ${#files[@]} files clean"
