#!/usr/bin/env bash
# Takes one picture of each dialog of the foundation in the light and the dark style under the
# offscreen platform: build/<preset>/screenshots/{light,dark}-<dialog>.png.
# Usage: tests/gui/screenshots.sh [preset]   (default: ci)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
preset=${1:-ci}
build="$root/build/$preset"
cmake --build --preset "$preset" --target foundation_gui_tests -j3 >/dev/null
out="$build/screenshots"
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen "$build/tests/foundation/gui/foundation_gui_tests" --screenshots "$out"
