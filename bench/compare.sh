#!/usr/bin/env bash
# Runs benchmark scenarios beside their peer tools and prints one line per peer:
#   <scenario> <peer> <data set> ratio <our median / peer median>
# Usage: bench/compare.sh S4 [S5 ...] [small]     ("small": a cut-down run of under a minute)
# Each scenario is bench/scenarios/<name>.sh; it builds what it needs with the release preset.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export VASTREL_ROOT=$(dirname "$here")
export VASTREL_BENCH_SMALL=0
scenarios=()
for arg in "$@"; do
    if [ "$arg" = small ]; then VASTREL_BENCH_SMALL=1; else scenarios+=("$arg"); fi
done
if [ ${#scenarios[@]} -eq 0 ]; then
    echo "usage: $0 <scenario>... [small]" >&2
    exit 2
fi
for s in "${scenarios[@]}"; do
    script="$here/scenarios/$s.sh"
    [ -f "$script" ] || { echo "no scenario $s" >&2; exit 2; }
    bash "$script"
done
