#!/usr/bin/env bash
# Configures and builds one preset: scripts/build.sh native|release|win32
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset "$1" >/dev/null
cmake --build --preset "$1" -j"$jobs"
