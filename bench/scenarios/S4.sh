# S4: a zip archive of a tree of small files and of one large file beside zip -r -6 and
# 7z a -tzip -mx=5 -mmt=1. Our archives are checked with 7z t and unzip -t and unpacked by 7z.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/zip_common.sh"

for set in small large; do
    if [ "$set" = small ]; then src="$tree"; else src="$(dirname "$large")"; fi
    ours=$(median_of s4-ours-$set "rm -f $out/ours.zip" "$zipbin $src $out/ours.zip")
    check_zip "$out/ours.zip" "$src"
    zip_t=$(median_of s4-zip-$set "rm -f $out/peer.zip" "cd $src && zip -q -r -6 $out/peer.zip .")
    sz_t=$(median_of s4-7z-$set "rm -f $out/peer.zip" "7z a -tzip -mx=5 -mmt=1 $out/peer.zip $src/. >/dev/null")
    echo "S4 zip $set ratio $(ratio "$ours" "$zip_t")"
    echo "S4 7z $set ratio $(ratio "$ours" "$sz_t")"
done
