# S8: per-file ".enc" encryption of the engine (AES-256, PBKDF2 with 1000 rounds per file) beside
# openssl enc -aes-256-ctr -pbkdf2 -iter 1000, on a tree of small files and on one large file. Our
# outputs are restored and compared with the sources; openssl's are decrypted and compared.
# Our format authenticates the ciphertext with HMAC-SHA1 as well, so the large file is also timed beside
# the same work done by openssl: the encryption, then an HMAC-SHA1 of its output (the "openssl+hmac"
# peer).
here=$(cd "$(dirname "$0")" && pwd)
source "$here/engine_common.sh"

pass="benchmark password"
openssl_tree="$work/openssl-tree.sh"
cat >"$openssl_tree" <<SH
set -e
cd "$tree"
find . -type f | while IFS= read -r f; do
    mkdir -p "$out/peer/\$(dirname "\$f")"
    openssl enc -aes-256-ctr -pbkdf2 -iter 1000 -pass "pass:$pass" -in "\$f" -out "$out/peer/\$f.enc"
done
SH

# tree of small files
ours=$(median_of s8-ours-small "rm -rf $out/ours" "$bin enc $tree $out/ours '$pass'")
rm -rf "$out/restored" && "$bin" dec "$out/ours" "$out/restored" "$pass"
diff -r "$tree" "$out/restored" >/dev/null
peer=$(median_of s8-openssl-small "rm -rf $out/peer" "bash $openssl_tree")
first=$(cd "$tree" && find . -type f -size +0 -print -quit)
cmp -s <(openssl enc -d -aes-256-ctr -pbkdf2 -iter 1000 -pass "pass:$pass" -in "$out/peer/$first.enc") "$tree/$first"
echo "S8 openssl small ratio $(ratio "$ours" "$peer")"

# one large file
ours=$(median_of s8-ours-large "rm -rf $out/ours" "$bin enc $large $out/ours '$pass'")
rm -rf "$out/restored" && "$bin" dec "$out/ours" "$out/restored" "$pass"
cmp -s "$out/restored/large.bin" "$large"
peer=$(median_of s8-openssl-large "rm -f $out/peer.enc" \
    "openssl enc -aes-256-ctr -pbkdf2 -iter 1000 -pass 'pass:$pass' -in $large -out $out/peer.enc")
cmp -s <(openssl enc -d -aes-256-ctr -pbkdf2 -iter 1000 -pass "pass:$pass" -in "$out/peer.enc") "$large"
echo "S8 openssl large ratio $(ratio "$ours" "$peer")"
peer=$(median_of s8-openssl-hmac-large "rm -f $out/peer.enc" \
    "openssl enc -aes-256-ctr -pbkdf2 -iter 1000 -pass 'pass:$pass' -in $large -out $out/peer.enc &&
     openssl dgst -sha1 -hmac '$pass' $out/peer.enc >/dev/null")
cmp -s <(openssl enc -d -aes-256-ctr -pbkdf2 -iter 1000 -pass "pass:$pass" -in "$out/peer.enc") "$large"
echo "S8 openssl+hmac large ratio $(ratio "$ours" "$peer")"
