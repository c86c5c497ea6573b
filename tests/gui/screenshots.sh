#!/usr/bin/env bash
# Takes one picture of each dialog in the light and the dark style under the offscreen platform:
# build/<preset>/screenshots/{light,dark}-<dialog>.png (foundation dialogs) and
# build/<preset>/screenshots/backup/ (the task editor's windows and dialogs) and
# build/<preset>/screenshots/mainwindow/ (the main window and its tray menu).
# Usage: tests/gui/screenshots.sh [preset]   (default: ci)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
preset=${1:-ci}
build="$root/build/$preset"
out="$build/screenshots"
mkdir -p "$out"
cmake --build --preset "$preset" --target foundation_gui_tests -j3 >/dev/null
QT_QPA_PLATFORM=offscreen "$build/tests/foundation/gui/foundation_gui_tests" --screenshots "$out"
if cmake --build --preset "$preset" --target backup_gui_tests -j3 >/dev/null 2>&1; then
    QT_QPA_PLATFORM=offscreen "$build/tests/backup/gui/backup_gui_tests" --screenshots "$out/backup"
fi
if cmake --build --preset "$preset" --target scheduling_gui_tests -j3 >/dev/null 2>&1; then
    QT_QPA_PLATFORM=offscreen "$build/tests/scheduling/gui/scheduling_gui_tests" --screenshots "$out/scheduling"
fi
if cmake --build --preset "$preset" --target mainwindow_gui_tests -j3 >/dev/null 2>&1; then
    QT_QPA_PLATFORM=offscreen "$build/tests/mainwindow/gui/mainwindow_gui_tests" --screenshots "$out/mainwindow"
fi
if cmake --build --preset "$preset" --target tools_gui_tests -j3 >/dev/null 2>&1; then
    QT_QPA_PLATFORM=offscreen "$build/tests/tools/gui/tools_gui_tests" --screenshots "$out/tools"
fi
if cmake --build --preset "$preset" --target planer_gui_tests -j3 >/dev/null 2>&1; then
    QT_QPA_PLATFORM=offscreen "$build/tests/planer/gui/planer_gui_tests" --screenshots "$out/planer"
fi
