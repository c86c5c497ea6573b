#!/usr/bin/env bash
# Builds the `tsan` preset (ThreadSanitizer) and runs the tests that start threads: TThread and TEvent,
# the socket connection, external programs, the copy, gzip, zip and FTP workers, the copy loop and its
# worker runner, whole runs killed in the middle. The GUI tests are left out: Qt is not instrumented.
# Not part of CI's run (it would add a build); run it after changing threaded code.
# Usage: [JOBS=n] scripts/tsan.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/vastrel-ccache}"
export CCACHE_BASEDIR="$PWD"
jobs=${JOBS:-$(nproc)}
cmake --preset tsan
cmake --build --preset tsan -j "$jobs" --target rtl_tests platform_tests foundation_tests archive_tests \
    backup_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
threaded='^(rtl\.(Thread|Gettext)'
threaded+='|platform\.LineConnection'
threaded+='|foundation\.(WinExecute|QvUtilsDest)'
threaded+='|archive\.(CopyThread|ExtFileTools|ZipThreads|.*FtpThread|.*FtpFault|.*FtpMode)'
threaded+='|backup\.(CopyThreadRunner|CopyLoop|RunRobustness|RunExitState))'
ctest --preset tsan -j "$jobs" -R "$threaded" -LE gui "$@"
