# S1: the first mirror of a tree of small files and a few large ones into an empty folder, beside
# rsync -a and cp -a. The copy is checked against the source (contents and modification times).
here=$(cd "$(dirname "$0")" && pwd)
source "$here/copy_common.sh"

make_task "$work/s1.buj" "$out/ours"
ours=$(median_of s1-ours "rm -rf $out/ours && sync" "$vastrel /force $work/s1.buj")
same_tree "$src" "$out/ours"
rsync_t=$(median_of s1-rsync "rm -rf $out/peer && sync" "rsync -a $src/ $out/peer/")
cp_t=$(median_of s1-cp "rm -rf $out/peer && sync" "cp -a $src $out/peer")
echo "S1 rsync first-mirror ratio $(ratio "$ours" "$rsync_t")"
echo "S1 cp first-mirror ratio $(ratio "$ours" "$cp_t")"
