#!/usr/bin/env bash
# Checks that every C++ file of the tree is formatted by clang-format 14 with the tree's .clang-format;
# lists the files that are not and fails. With --fix, formats them instead.
# Usage: scripts/check-format.sh [--fix] [file...]   (default: every tracked .cpp and .h file)
set -euo pipefail
cd "$(dirname "$0")/.."
fix=0
if [ "${1:-}" = "--fix" ]; then
    fix=1
    shift
fi
tool=$(command -v clang-format-14 || true)
if [ -z "$tool" ]; then
    echo "check-format: clang-format-14 is not installed (scripts/setup.sh installs it)" >&2
    exit 2
fi
if [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi
if [ $fix -eq 1 ]; then
    "$tool" -i "${files[@]}"
    exit 0
fi
bad=$(printf '%s\0' "${files[@]}" | xargs -0 -n 50 "$tool" --dry-run 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' | sort -u)
if [ -n "$bad" ]; then
    echo "check-format: not formatted (scripts/check-format.sh --fix formats them):"
    printf '  %s\n' $bad
    exit 1
fi
echo "check-format: ${#files[@]} files formatted"
