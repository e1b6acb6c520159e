#!/usr/bin/env bash
# Runs every test (on a fresh Debian 12 machine, as root): installs what is missing,
# checks that every source is laid out as .clang-format says,
# builds the host code with sanitizers and runs its unit tests, fuzzes the WAV header
# probe and the encoder's WAV reader for a bounded time, then builds the Windows programs
# (32-bit and 64-bit) and runs their end-to-end tests under Wine: on the 32-bit build where
# this machine runs 32-bit Windows programs, on the 64-bit build where it does not (or
# where BREVIX_FORCE_WIN64=1 asks for it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh

scripts/build.sh native
ctest --preset native

sh tests/fuzz/run_fuzz.sh build/native "${BREVIX_FUZZ_SECONDS:-60}"

# Both Windows builds, always, so that neither can rot on machines that test the other.
scripts/build.sh win32
scripts/build.sh win64

source scripts/wine-env.sh
wine_choose_build build/win32
echo "Windows tests: the $wine_chosen_build build, under Wine's ${wine_chosen_build#win}-bit loader: $wine_chosen_reason."
ctest --preset "$wine_chosen_build"
