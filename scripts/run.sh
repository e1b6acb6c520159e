#!/usr/bin/env bash
# Builds Brevix if needed and starts it under Wine (on a fresh Debian 12 machine, as root).
# Where this machine cannot run 32-bit Windows programs, the 64-bit build is shown instead.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${BREVIX_RUN_STARTED:-}" ]; then
    scripts/install-deps.sh
    scripts/build.sh win32
fi

if [ -z "${DISPLAY:-}" ]; then
    echo "No X display: running Brevix on a virtual X server (Xvfb), where it is not visible." >&2
    BREVIX_RUN_STARTED=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

source scripts/wine-env.sh
wine_choose_build build/win32
if [ "$wine_chosen_build" = win64 ]; then
    echo "Showing the 64-bit build of Brevix: $wine_chosen_reason." >&2
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 -j"$(nproc 2>/dev/null || echo 2)" --target brevix mp4 >&2
fi
wine_use_build "build/$wine_chosen_build"
wine_prepare_prefix
cd "$wine_build_dir"
exec "${wine_loader[@]}" brevix.exe
