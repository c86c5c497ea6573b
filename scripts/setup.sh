#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the checks and the benchmarks need.
# Idempotent: apt-get runs only when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config git
    clang-14 clang-format-14 clang-tidy-14 libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
    zlib1g-dev libpcre2-dev libssl-dev libcurl4-openssl-dev libsystemd-dev libacl1-dev
    libgtest-dev libgmock-dev gettext libpam0g-dev
    python3 python3-pyftpdlib python3-aiosmtpd python3-openssl vsftpd openssl passwd
    zip unzip p7zip-full libarchive-tools gzip
    rsync pigz hyperfine
    xauth x11-xserver-utils
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
