# S6: an archive split into 100 MiB segments (8 MiB in the small run) beside zip -s, on one large file
# and a file of incompressible data. 7z tests and unpacks our segment set as it is (zip -s 0 cannot join
# an entry that spans more than two segments, of zip -s as of ours).
here=$(cd "$(dirname "$0")" && pwd)
source "$here/zip_common.sh"
if [ "$small" = 1 ]; then seg=8; else seg=100; fi
split_src="$out/split-src"
if [ ! -d "$split_src" ]; then
    mkdir -p "$split_src"
    cp "$large" "$split_src/"
    head -c $((seg * 3 * 1048576 / 2)) /dev/urandom >"$split_src/random.bin"
fi

ours=$(median_of s6-ours "rm -f $out/ours.z* " "$zipbin $split_src $out/ours.zip '' $seg")
ls "$out"/ours.z0* >/dev/null
check_zip "$out/ours.zip" "$split_src" "" split
zip_t=$(median_of s6-zip "rm -f $out/peer.z*" "cd $split_src && zip -q -r -6 -s ${seg}m $out/peer.zip .")
echo "S6 zip split ratio $(ratio "$ours" "$zip_t")"
