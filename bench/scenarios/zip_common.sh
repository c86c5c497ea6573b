# Shared part of the zip scenarios S4 (archive), S5 (AES-256) and S6 (segments): the data and timing of
# the engine scenarios, and the zip benchmark program.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/engine_common.sh"
zipbin="$root/build/release/bench/zip/vastrel_zip_bench"
(cd "$root" && cmake --build --preset release -j3 --target vastrel_zip_bench >/dev/null)
mkdir -p "$out"

# check_zip <archive> <source folder> [password] [split]: 7z (and unzip, for a plain archive in one
# piece) accept it and it unpacks to the source.
check_zip() {
    local pw=()
    [ -n "${3:-}" ] && pw=("-p$3")
    7z t "${pw[@]}" "$1" >/dev/null
    if [ -z "${3:-}" ] && [ -z "${4:-}" ]; then
        unzip -tqq "$1" >/dev/null
    fi
    rm -rf "$out/unpacked" && mkdir -p "$out/unpacked"
    7z x "${pw[@]}" -o"$out/unpacked" "$1" >/dev/null
    diff -r "$2" "$out/unpacked" >/dev/null
}
