#!/bin/sh
# Sets up the build dependencies, builds the release preset and starts Vastrel with the given arguments,
# for example: scripts/run.sh /force ~/Documents/Vastrel/Daily.buj
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cd "$root"
cmake --preset release >/dev/null
cmake --build --preset release -j3 --target Vastrel
exec "$root/build/release/apps/Vastrel" "$@"
