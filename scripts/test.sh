#!/usr/bin/env bash
# Runs every test (on a fresh Debian 12 machine, as root): installs what is missing,
# checks that every source is laid out as .clang-format says,
# builds the host code with sanitizers and runs its unit tests, fuzzes the WAV header
# probe and the encoder's WAV reader for a bounded time, then builds the Windows programs
# and runs their end-to-end tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh

scripts/build.sh native
ctest --preset native

if [ -x tests/fuzz/run_fuzz.sh ]; then
    tests/fuzz/run_fuzz.sh build/native "${BREVIX_FUZZ_SECONDS:-60}"
fi

scripts/build.sh win32
ctest --preset win32
