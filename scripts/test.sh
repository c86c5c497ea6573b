#!/usr/bin/env bash
# Installs what is missing, builds with the ci preset (sanitizers, warnings as errors) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=${JOBS:-$(nproc)}
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/vastrel-ccache}"
export CCACHE_BASEDIR="$PWD"
cmake --preset ci
cmake --build --preset ci -j "$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --preset ci -j "$jobs" "$@"
