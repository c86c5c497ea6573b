# S7: per-file gzip members of the engine beside gzip -6 (and pigz -6 for information), on a tree of
# small files and on one large file. Outputs are checked with gzip -t and by restoring them.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/engine_common.sh"

check_ours() { # <output folder> <source folder>
    find "$1" -name '*.gz' -print0 | xargs -0 gzip -t
    rm -rf "$out/restored" && "$bin" gunzip "$1" "$out/restored"
    diff -r "$2" "$out/restored" >/dev/null
}

# tree of small files
ours=$(median_of s7-ours-small "rm -rf $out/ours" "$bin gz $tree $out/ours")
check_ours "$out/ours" "$tree"
gzip_t=$(median_of s7-gzip-small "rm -rf $out/peer && cp -r $tree $out/peer" "gzip -6 -k -r $out/peer")
pigz_t=$(median_of s7-pigz-small "rm -rf $out/peer && cp -r $tree $out/peer" "pigz -6 -k -r $out/peer")
echo "S7 gzip small ratio $(ratio "$ours" "$gzip_t")"
echo "S7 pigz small ratio $(ratio "$ours" "$pigz_t")"

# one large file
ours=$(median_of s7-ours-large "rm -rf $out/ours" "$bin gz $large $out/ours")
gzip -t "$out/ours/large.bin.gz"
cmp -s <(gunzip -c "$out/ours/large.bin.gz") "$large"
gzip_t=$(median_of s7-gzip-large "rm -f $out/peer.gz" "gzip -6 -c $large > $out/peer.gz")
pigz_t=$(median_of s7-pigz-large "rm -f $out/peer.gz" "pigz -6 -c $large > $out/peer.gz")
echo "S7 gzip large ratio $(ratio "$ours" "$gzip_t")"
echo "S7 pigz large ratio $(ratio "$ours" "$pigz_t")"
