#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest: a private prefix in the build folder, and
# Xvfb when there is no display. The exit status is the program's.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
here=$(cd "$(dirname "$0")" && pwd)
# The programs live below the build folder; the prefix lives at its top.
build_dir=$(cd "$(dirname "$1")" && pwd)
while [ ! -f "$build_dir/CMakeCache.txt" ] && [ "$build_dir" != / ]; do
    build_dir=$(dirname "$build_dir")
done
source "$here/../scripts/wine-env.sh" "$build_dir"
wine_prepare_prefix
exec wine "$@"
