#!/usr/bin/env bash
# The layering check on a copy of the tree: it passes on the copy as it is, and fails, naming the file,
# on each breach planted into it (one at a time).
set -u
root=$(cd "${1:-.}" && pwd)
check="$root/tests/layering/check_layering.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$root/src" "$root/apps" "$root/tests" "$work/"
rm -rf "$work/tests/fixtures"

failed=0
expect() {
    local want=$1 what=$2 needle=${3:-}
    local out rc
    out=$(bash "$check" "$work" 2>&1)
    rc=$?
    if [ "$want" = pass ] && [ $rc -ne 0 ]; then
        echo "FAIL: $what: the check fails on the unchanged tree:"
        echo "$out"
        failed=1
    elif [ "$want" = fail ] && { [ $rc -eq 0 ] || ! grep -qF "$needle" <<<"$out"; }; then
        echo "FAIL: $what: the check did not report $needle (exit $rc):"
        echo "$out"
        failed=1
    else
        echo "ok: $what"
    fi
}

# plant <file> <text>: appends a line to a file of the copy (restored by unplant).
plant() {
    cp "$work/$1" "$work/$1.orig"
    printf '%s\n' "$2" >>"$work/$1"
}
unplant() { mv "$work/$1.orig" "$work/$1"; }

expect pass "the tree as it is"

plant src/foundation/PathUtils.h '#include "backup/TaskSettings.h"'
expect fail "foundation includes the backup engine" "src/foundation/PathUtils.h"
unplant src/foundation/PathUtils.h

plant src/platform/ErrorCodes.cpp '#include "foundation/StringUtils.h"'
expect fail "platform includes the foundation" "src/platform/ErrorCodes.cpp"
unplant src/platform/ErrorCodes.cpp

plant src/backup/TaskFile.h '#include "backup/gui/BackupForm.h"'
expect fail "the engine includes its own gui half" "src/backup/TaskFile.h"
unplant src/backup/TaskFile.h

plant src/foundation/gui/PwdDlg.h '#include "backup/gui/DialogInteraction.h"'
expect fail "a gui half includes a higher gui half" "src/foundation/gui/PwdDlg.h"
unplant src/foundation/gui/PwdDlg.h

plant src/rtl/Streams.h '#include <QString>'
expect fail "rtl includes Qt" "src/rtl/Streams.h"
unplant src/rtl/Streams.h

plant tests/foundation/PathUtilsTest.cpp '#include "archive/ZLibEx.h"'
expect fail "a foundation test includes the archive library" "tests/foundation/PathUtilsTest.cpp"
unplant tests/foundation/PathUtilsTest.cpp

plant src/archive/CMakeLists.txt 'target_link_libraries(vastrel_archive PRIVATE vastrel::backup)'
expect fail "archive links the backup engine" "src/archive/CMakeLists.txt"
unplant src/archive/CMakeLists.txt

plant src/platform/CMakeLists.txt 'target_link_libraries(vastrel_platform PRIVATE Qt6::Core)'
expect fail "platform links Qt" "src/platform/CMakeLists.txt"
unplant src/platform/CMakeLists.txt

# The restore program carries no backup engine: it compiles a few shared units and nothing else.
plant src/restore/RestoreEngine.h '#include "backup/TaskSettings.h"'
expect fail "the restore program includes the backup engine" "src/restore/RestoreEngine.h"
unplant src/restore/RestoreEngine.h

plant src/backup/SecurityCopyNames.h '#include "backup/TaskSettings.h"'
expect fail "a unit shared with the restore program pulls in the backup engine" "src/backup/SecurityCopyNames.h"
unplant src/backup/SecurityCopyNames.h

plant src/restore/CMakeLists.txt 'target_sources(vastrel_restore PRIVATE ${PROJECT_SOURCE_DIR}/src/backup/TaskFile.cpp)'
expect fail "the restore program compiles a backup unit it does not share" "src/restore/CMakeLists.txt"
unplant src/restore/CMakeLists.txt

plant src/restore/CMakeLists.txt 'target_link_libraries(vastrel_restore PUBLIC vastrel::tools)'
expect fail "the restore program links the tools (and with them the backup engine)" "src/restore/CMakeLists.txt"
unplant src/restore/CMakeLists.txt

expect pass "the tree after the plants were removed"
exit $failed
