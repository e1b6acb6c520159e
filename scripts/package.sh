#!/usr/bin/env bash
# Builds the release Windows programs if needed (win32 preset) and writes the package a
# Windows user downloads: brevix-VERSION-win32.zip in dist/ (or in OUTPUT_FOLDER), holding
# brevix.exe, mp4.exe, README.txt and LICENSE.txt side by side, the text files with Windows
# line ends. VERSION is the project version, as the build wrote it to version.txt.
#   scripts/package.sh [OUTPUT_FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/dist}
mkdir -p "$out"
out=$(cd "$out" && pwd)
cd "$root"
build=build/win32

# Configured once; after that the build configures again by itself when a CMakeLists.txt
# changes. Only the two programs are built: the package needs nothing else.
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset win32 >/dev/null
fi
# The release build is the one that strips the programs (and holds them to their budgets).
if ! grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$build/CMakeCache.txt"; then
    echo "package: $build is not a Release build; configure it with cmake --preset win32" >&2
    exit 1
fi
cmake --build --preset win32 -j"$(nproc 2>/dev/null || echo 2)" --target brevix mp4 >&2

version=$(cat "$build/version.txt")
if ! [[ $version =~ ^[0-9]+(\.[0-9]+)*$ ]]; then
    echo "package: '$version' in $build/version.txt is not a version" >&2
    exit 1
fi
name=brevix-$version-win32.zip

# Put together beside the package, so the finished zip replaces an older one in one step.
stage=$(mktemp -d "$out/.package.XXXXXX")
trap 'rm -rf "$stage"' EXIT
# Text files get CRLF line ends; every file keeps its own time, so that packaging the same
# files again gives the same zip.
to_crlf() {
    sed 's/\r$//; s/$/\r/' "$1" >"$2"
    touch -r "$1" "$2"
}
cp -p "$build/brevix.exe" "$build/mp4.exe" "$stage/"
to_crlf packaging/README.txt "$stage/README.txt"
to_crlf LICENSE "$stage/LICENSE.txt"
# -j: no folders inside the zip; -D: no folder entries; -X: no owner ids or extra times.
(cd "$stage" && zip -q -j -D -X package.zip brevix.exe mp4.exe README.txt LICENSE.txt)
mv -f "$stage/package.zip" "$out/$name"
echo "$out/$name"
