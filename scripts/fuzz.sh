#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ (the `fuzz` preset: clang, ASan, UBSan), makes their seed
# corpora with other tools (zip, 7z, gzip, python's zipfile, msgfmt, ls) and runs each harness for a
# while. A crash leaves its input in build/fuzz/findings/<harness>/ and makes the script fail.
# Not part of CI's test run.
# Usage: [JOBS=n] scripts/fuzz.sh [seconds per harness (default 60)] [harness...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
shift || true
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
    harnesses=(fuzz_zip fuzz_single_file fuzz_ini fuzz_ftp_listing fuzz_mo fuzz_format)
fi
bash scripts/setup.sh
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/vastrel-ccache}"
export CCACHE_BASEDIR="$PWD"
jobs=${JOBS:-$(nproc)}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" --target "${harnesses[@]}" fuzz_make_seeds vastrel_locale
build=$root/build/fuzz

# --- seed corpora (remade on every run; the corpus folders keep what the fuzzer adds)
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds"/{zip,single,ini,ftp,mo,format} "$seeds/work"
work=$seeds/work
(
    cd "$work"
    mkdir -p tree/sub
    printf 'hello, hello, hello\n' >tree/a.txt
    head -c 3000 /dev/urandom >tree/sub/random.bin
    printf '' >tree/empty.txt
    printf 'Gr\xc3\xbc\xc3\x9fe\n' >"tree/sub/Grüße.txt"
    zip -qr "$seeds/zip/deflated.zip" tree
    zip -qr0 "$seeds/zip/stored.zip" tree
    zip -qr -P password "$seeds/zip/zipcrypto.zip" tree
    7z a -bd -tzip -mem=AES256 -ppassword "$seeds/zip/aes256.zip" tree >/dev/null
    7z a -bd -tzip -mem=AES128 -ppassword "$seeds/zip/aes128.zip" tree/a.txt >/dev/null
    /usr/bin/python3 - "$seeds/zip" <<'PY'
import sys, zipfile
out = sys.argv[1]
with zipfile.ZipFile(out + "/zip64.zip", "w", zipfile.ZIP_DEFLATED) as z:
    with z.open("big.txt", "w", force_zip64=True) as f:
        f.write(b"zip64 " * 100)
    z.writestr("comment.txt", "x")
    z.comment = b"archive comment"
with zipfile.ZipFile(out + "/bzip2.zip", "w", zipfile.ZIP_BZIP2) as z:
    z.writestr("b.txt", "bzip2 is not read, only reported")
PY
    # single files: the harness's first byte chooses the reader
    gzip -c tree/a.txt >a.gz
    gzip -9nc tree/sub/random.bin >r.gz
    (cd tree && zip -q ../single.zip a.txt)
    printf '\0' | cat - a.gz >"$seeds/single/gzip"
    printf '\0' | cat - r.gz >"$seeds/single/gzip-random"
    printf '\3' | cat - single.zip >"$seeds/single/zip"
    "$build/fuzz/fuzz_make_seeds" "$seeds/single"
    # ini files in the encodings the reader takes
    cp "$root"/tests/fixtures/ini/*.ini "$seeds/ini/" 2>/dev/null || true
    cp "$root"/tests/fixtures/backup/*.buj "$seeds/ini/" 2>/dev/null || true
    printf '[Global]\nName=Docs\n[Dir000]\nSource=/home/a\n' >utf8.ini
    cp utf8.ini "$seeds/ini/lf.ini"
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE <(sed 's/$/\r/' utf8.ini); } >"$seeds/ini/utf16le.ini"
    { printf '\xfe\xff'; iconv -f UTF-8 -t UTF-16BE <(sed 's/$/\r/' utf8.ini); } >"$seeds/ini/utf16be.ini"
    { printf '\xef\xbb\xbf'; cat utf8.ini; } >"$seeds/ini/utf8bom.ini"
    # listings: a real "ls -l" and the other forms
    LC_ALL=C ls -la /etc >"$seeds/ftp/unix-ls"
    LC_ALL=C ls -la --time-style=+'%b %e  %Y' /usr >"$seeds/ftp/unix-ls-old"
    printf 'type=dir;modify=20240105120000;perm=flcdmpe; docs\r\ntype=file;size=1234;modify=20240105120000.123;perm=adfrw; a b.txt\r\n' >"$seeds/ftp/mlsd"
    printf '01-05-24  12:00PM       <DIR>          docs\r\n01-05-24  09:15AM                 1234 a.txt\r\n' >"$seeds/ftp/dos"
    # catalogues made by msgfmt, in both byte orders
    msgfmt -o "$seeds/mo/de.mo" "$root/locale/de.po"
    msgfmt --endianness=big -o "$seeds/mo/de-big.mo" "$root/locale/de.po"
    # Format patterns of the translatable texts (first byte: argument kinds, second: count)
    grep -o 'msgid ".*%.*"' "$root/locale/vastrel.pot" | head -200 | sed 's/^msgid "//; s/"$//' |
        awk -v dir="$seeds/format" '{ f = sprintf("%s/p%03d", dir, NR); printf "\x11\x03%s", $0 > f; close(f) }'
    printf '\x66\x04%%*d|%%-*s|%%.*f|%%2:s %%0:d' >"$seeds/format/star"
)
rm -rf "$work"

status=0
for h in "${harnesses[@]}"; do
    case $h in
        fuzz_zip) corpus=zip ;;
        fuzz_single_file) corpus=single ;;
        fuzz_ini) corpus=ini ;;
        fuzz_ftp_listing) corpus=ftp ;;
        fuzz_mo) corpus=mo ;;
        fuzz_format) corpus=format ;;
        *) echo "fuzz: unknown harness $h" >&2; exit 2 ;;
    esac
    dir=$build/corpus/$h
    findings=$build/findings/$h
    mkdir -p "$dir" "$findings"
    echo "fuzz: $h for ${seconds}s"
    if ! "$build/fuzz/$h" "$dir" "$seeds/$corpus" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 \
        -max_len=1048576 -artifact_prefix="$findings/" -print_final_stats=1 >"$build/$h.log" 2>&1; then
        echo "fuzz: $h found a fault; see $build/$h.log and $findings/"
        status=1
    fi
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$build/$h.log" | tail -2 || true
done
exit $status
