#!/usr/bin/env bash
# Builds Brevix if needed and starts it under Wine (on a fresh Debian 12 machine, as root).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh win32

start() {
    source scripts/wine-env.sh build/win32
    wine_prepare_prefix
    cd build/win32
    wine brevix.exe
}

if [ -n "${DISPLAY:-}" ]; then
    start
else
    echo "No X display: running Brevix on a virtual X server (Xvfb), where it is not visible." >&2
    export -f start
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c start
fi
