#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Brevix need, skipping
# those already present. Run as root on Debian 12.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest clang-format
    g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix mingw-w64-tools
    wine wine32:i386 wine64 xvfb xauth fonts-wine imagemagick
    ffmpeg faad sox zip unzip atomicparsley mediainfo
)

# Wine's 32-bit half comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
