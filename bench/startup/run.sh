#!/usr/bin/env bash
# Start-up benchmark under Wine: builds brevix.exe, the two reference programs and the
# launcher (win32 preset; win64 where this machine cannot run 32-bit Windows programs, as
# scripts/wine-env.sh finds out), then times brevix.exe against each reference:
#   1. bare_dialog.exe: a dialog with the main window's style and font, no menu, no controls;
#   2. main_template_dialog.exe: the main window's own template (menu and controls) shown
#      by a program that does nothing else, so the difference is the program's own work.
# Argument: the number of timed runs per program and comparison (default 40). Uses the test
# prefix in that build folder (cmake/wine-run.sh: Xvfb when DISPLAY is unset).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${1:-40}
cd "$root"
cmake --preset win32 >/dev/null
source scripts/wine-env.sh
wine_choose_build build/win32
preset=$wine_chosen_build
echo "Start-up benchmark of the $preset build: $wine_chosen_reason."
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target brevix bare_dialog main_template_dialog startup_bench \
    -j2 >/dev/null
# All programs are started from the build folder, by relative path, in the same way.
cd "build/$preset"
for reference in bare_dialog main_template_dialog; do
    "$root/cmake/wine-run.sh" bench/startup/startup_bench.exe -n "$runs" \
        brevix.exe "bench\\startup\\$reference.exe"
    echo
done
