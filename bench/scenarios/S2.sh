# S2: a second run over an unchanged tree (nothing to copy) beside rsync -a --delete, and the number of
# entries (files and folders) our run examines per second.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/copy_common.sh"

make_task "$work/s2.buj" "$out/ours2"
rm -rf "$out/ours2" "$out/peer2"
"$vastrel" /force "$work/s2.buj"
rsync -a "$src/" "$out/peer2/"
ours=$(median_of s2-ours "true" "$vastrel /force $work/s2.buj")
same_tree "$src" "$out/ours2"
rsync_t=$(median_of s2-rsync "true" "rsync -a --delete $src/ $out/peer2/")
echo "S2 rsync rescan ratio $(ratio "$ours" "$rsync_t")"
/usr/bin/python3 -c 'import sys; print("S2 ours rescan entries/s %.0f" % (float(sys.argv[1]) / float(sys.argv[2])))' "$entries" "$ours"
