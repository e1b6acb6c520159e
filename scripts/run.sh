#!/usr/bin/env bash
# Builds Brevix if needed and starts it under Wine (on a fresh Debian 12 machine, as root).
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

source scripts/wine-env.sh build/win32
wine_prepare_prefix
cd build/win32
exec wine brevix.exe
