# S3: an incremental run after a tenth of the files changed, keeping the replaced files as older
# versions, beside rsync -a --backup-dir. Each run starts from the same mirror of the old state.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/copy_common.sh"

# made from the data set, so that it is made again with it
changed="$data/changed"
base="$out/base3"
if [ ! -d "$changed" ]; then
    rm -rf "$changed.tmp" && cp -a "$src" "$changed.tmp"
    /usr/bin/python3 - "$changed.tmp" <<'PY'
import os, sys, time
root = sys.argv[1]
n = 0
for folder, _, files in sorted(os.walk(root)):
    for name in sorted(files):
        n += 1
        if n % 10 == 0:
            path = os.path.join(folder, name)
            with open(path, "ab") as f:
                f.write(b"changed")
            t = time.time() + 60
            os.utime(path, (t, t))
PY
    mv "$changed.tmp" "$changed"
fi
rm -rf "$base" && cp -a "$src" "$base"
printf '[Global]\nDestination=%s\nDestMode=2\nDirCount=1\nCompress=0\nBakFiles=1\nBakSuffix=bak#3\n[Dir000]\nSource=%s\nBackupMode=1\n' \
    "$out/ours3" "$changed" >"$work/s3.buj"
ours=$(median_of s3-ours "rm -rf $out/ours3 && cp -a $base $out/ours3" "$vastrel /force $work/s3.buj")
rsync_t=$(median_of s3-rsync "rm -rf $out/peer3 $out/peer3-bak && cp -a $base $out/peer3" \
    "rsync -a --backup-dir=$out/peer3-bak $changed/ $out/peer3/")
# the destination is the changed tree plus one older version beside each changed file
diff -r -x '*.bak1.*' "$changed" "$out/ours3" >/dev/null
[ "$(find "$out/ours3" -name '*.bak1.*' | wc -l)" -eq "$(find "$out/peer3-bak" -type f | wc -l)" ]
echo "S3 rsync incremental-versions ratio $(ratio "$ours" "$rsync_t")"
