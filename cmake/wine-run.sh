#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest: a private prefix in the build folder, and
# Xvfb when there is no display. The exit status is the program's.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
here=$(cd "$(dirname "$0")" && pwd)
# The programs live below the build folder; the prefix lives at its top. A program outside
# the build (an unpacked package) gets the build folder in BREVIX_BUILD_DIR.
build_dir=$(cd "${BREVIX_BUILD_DIR:-$(dirname "$1")}" && pwd)
while [ ! -f "$build_dir/CMakeCache.txt" ] && [ "$build_dir" != / ]; do
    build_dir=$(dirname "$build_dir")
done
source "$here/../scripts/wine-env.sh"
wine_use_build "$build_dir"
wine_prepare_prefix

# One program at a time per prefix: the prefix's Wine session (its wineserver and the
# virtual desktop) belongs to the display it was started on. Two runs with different
# displays would share it, and the first run's display going away would take the second
# run's windows with it. So each run holds the prefix's lock, and ends the session
# before the lock (and the display) is given up.
exec 8>"$build_dir/.wineprefix.run.lock"
flock 8
status=0
wine_start "$@" || status=$?
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
exit "$status"
