# S5: an AES-256 zip archive beside 7z a -tzip -mem=AES256 -mmt=1 (the same deflate level as ours),
# on the tree of small files and on one large file. Our archives are checked and unpacked by 7z.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/zip_common.sh"
pw="bench password"

for set in small large; do
    if [ "$set" = small ]; then src="$tree"; else src="$(dirname "$large")"; fi
    ours=$(median_of s5-ours-$set "rm -f $out/ours.zip" "$zipbin $src $out/ours.zip '$pw'")
    check_zip "$out/ours.zip" "$src" "$pw"
    sz_t=$(median_of s5-7z-$set "rm -f $out/peer.zip" \
        "7z a -tzip -mem=AES256 -mx=5 -mmt=1 '-p$pw' $out/peer.zip $src/. >/dev/null")
    echo "S5 7z $set ratio $(ratio "$ours" "$sz_t")"
done
