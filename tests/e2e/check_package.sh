#!/usr/bin/env bash
# Makes the release package with scripts/package.sh into a folder of its own, unzips it into
# a new, otherwise empty folder outside the build and checks what a Windows user gets:
# exactly brevix.exe, mp4.exe, README.txt and LICENSE.txt (the programs as the 32-bit release
# build made them: 32-bit, a windowed front end and a console encoder; the texts with CRLF
# line ends), mp4.exe -h working from there under Wine, and both programs' version resources
# carrying the package's version.
#   check_package.sh SOURCE_DIR BUILD_DIR VERSION_INFO_EXE
# BUILD_DIR is the build whose Windows programs run here. A 64-bit one (on a machine that
# cannot run 32-bit code) runs its own mp4.exe -h, of the same version, in place of the
# package's, and says so; everything else is checked on the package's own files.
set -euo pipefail
source_dir=$1
build_dir=$2
version_info=$3
export BREVIX_BUILD_DIR=$build_dir  # the Wine prefix, for programs outside the build

work=$(mktemp -d "${TMPDIR:-/tmp}/brevix-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

zip=$("$source_dir/scripts/package.sh" "$work/dist" | tail -n 1)
release_dir=$source_dir/build/win32  # the build the package is made from
version=$(cat "$release_dir/version.txt")
[ "$(basename "$zip")" = "brevix-$version-win32.zip" ] || fail "package named $zip"
listing=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$listing" = "LICENSE.txt README.txt brevix.exe mp4.exe " ] || fail "zip holds: $listing"

unpacked=$work/unpacked
unzip -q "$zip" -d "$unpacked"
for program in brevix.exe mp4.exe; do
    cmp -s "$unpacked/$program" "$release_dir/$program" || fail "$program is not the release build's"
done
for text in README.txt LICENSE.txt; do
    # Every line ends in CR LF, the last one too (its LF vanishes in $(...)).
    if [ ! -s "$unpacked/$text" ] || grep -q $'[^\r]$\|^$' "$unpacked/$text" ||
        [ -n "$(tail -c 1 "$unpacked/$text")" ]; then
        fail "$text does not have CRLF line ends throughout"
    fi
done

encoder=$unpacked/mp4.exe
if [ "$(cat "$build_dir/windows-bits.txt")" = 64 ]; then
    encoder=$build_dir/mp4.exe
    [ "$(cat "$build_dir/version.txt")" = "$version" ] || fail "the 64-bit build is not version $version"
    echo "e2e_Package: mp4.exe -h runs the 64-bit build's mp4.exe (version $version) in place of the package's 32-bit one"
fi
usage_status=0
usage=$("$source_dir/cmake/wine-run.sh" "$encoder" -h | tr -d '\r') || usage_status=$?
[ "$usage_status" = 0 ] || fail "mp4.exe -h exited with $usage_status"
grep -q '^Usage: mp4 ' <<<"$usage" || fail "mp4.exe -h printed: $usage"

# The helper is a Windows program: it gets Windows paths (Wine's drive Z: is the root).
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
info=$("$source_dir/cmake/wine-run.sh" "$version_info" "$(windows_path "$unpacked/brevix.exe")" \
    "$(windows_path "$unpacked/mp4.exe")" | tr -d '\r') || fail "version resources not read"
value() { sed -n "s/^$1: $2=//p" <<<"$info"; }
[ "$(value brevix.exe Subsystem)" = windows ] || fail "brevix.exe is not a windowed program"
[ "$(value mp4.exe Subsystem)" = console ] || fail "mp4.exe is not a console program"
for program in brevix.exe mp4.exe; do
    [ "$(value "$program" Machine)" = i386 ] || fail "$program is not a 32-bit program"
    for key in FILEVERSION PRODUCTVERSION; do
        [ "$(value "$program" "$key")" = "$version" ] || fail "$program $key is not $version"
    done
    [ "$(value "$program" OriginalFilename)" = "$program" ] || fail "$program OriginalFilename"
done
# The front end writes its product version with commas ("1, 0, 0, 1").
[ "$(value brevix.exe ProductVersion | sed 's/, /./g')" = "$version" ] ||
    fail "brevix.exe ProductVersion is not $version"
for key in FileVersion ProductVersion; do
    [ "$(value mp4.exe "$key")" = "$version" ] || fail "mp4.exe $key is not $version"
done
[ "$(value mp4.exe FileDescription)" = "AAC encoder" ] || fail "mp4.exe FileDescription"
for key in CompanyName LegalCopyright; do
    [ -n "$(value brevix.exe "$key")" ] && [ "$(value mp4.exe "$key")" = "$(value brevix.exe "$key")" ] ||
        fail "mp4.exe $key differs from brevix.exe's"
done
[ "$status" = 0 ] || printf '%s\n' "$info" >&2
exit "$status"
