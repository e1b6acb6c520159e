#!/bin/sh
# Builds the optimised host tree (the settings of the `release` preset) and runs the
# benchmark. Arguments go to aac_bench (see --help); BUILD_DIR picks another build folder.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/release}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBREVIX_SANITIZE=OFF >/dev/null
cmake --build "$build" --target aac_bench -j 2
exec "$build/bench/aac_bench" "$@"
