#!/usr/bin/env bash
# Fails when a file outside gui/ folders and apps/ includes a Qt header or a gui/ header,
# or when a library outside gui/ folders links Qt.
set -u
root=${1:-.}
cd "$root" || exit 2
bad=0
while IFS= read -r f; do
    case "$f" in
        */gui/*|apps/*) continue ;;
    esac
    if grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](Q[A-Za-z]+|Qt[A-Za-z]*/)' "$f"; then
        echo "layering: $f includes Qt"
        bad=1
    fi
    if grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"][^">]*gui/' "$f"; then
        echo "layering: $f includes a gui/ header"
        bad=1
    fi
done < <(find src tests -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
while IFS= read -r f; do
    case "$f" in
        */gui/*|apps/*) continue ;;
    esac
    if grep -nE 'Qt6?::|find_package\(Qt' "$f"; then
        echo "layering: $f links Qt"
        bad=1
    fi
done < <(find src -name CMakeLists.txt | sort)
if [ $bad -eq 0 ]; then
    echo "layering: ok"
fi
exit $bad
