#!/usr/bin/python3
"""Reference for the AES framing, independent of the code under test.

Usage: aes_reference.py MODE PASSWORD_HEX SALT_HEX PLAIN_HEX|@PLAIN_FILE
Prints the whole object (salt, verifier, ciphertext, 10-byte code) in hexadecimal. The key material
comes from hashlib's PBKDF2, the key stream from the openssl command line (AES-ECB over little-endian
counter blocks), the code from hmac.
"""
import hashlib
import hmac
import subprocess
import sys

mode = int(sys.argv[1])
password = bytes.fromhex(sys.argv[2])
salt = bytes.fromhex(sys.argv[3])
if sys.argv[4].startswith("@"):
    with open(sys.argv[4][1:], "rb") as f:
        plain = f.read()
else:
    plain = bytes.fromhex(sys.argv[4])

key_length = {1: 16, 2: 24, 3: 32}[mode]
material = hashlib.pbkdf2_hmac("sha1", password, salt, 1000, 2 * key_length + 2)
aes_key, mac_key, verifier = material[:key_length], material[key_length:2 * key_length], material[-2:]

blocks = (len(plain) + 15) // 16
counters = b"".join((i + 1).to_bytes(8, "little") + bytes(8) for i in range(blocks))
key_stream = b""
if blocks:
    key_stream = subprocess.run(
        ["openssl", "enc", "-aes-%d-ecb" % (key_length * 8), "-nopad", "-K", aes_key.hex()],
        input=counters, capture_output=True, check=True).stdout
cipher = bytes(p ^ k for p, k in zip(plain, key_stream))
code = hmac.new(mac_key, cipher, hashlib.sha1).digest()[:10]
print((salt + verifier + cipher + code).hex())
