#!/usr/bin/env bash
# Fails, naming the places, when a C or C++ source of the repository is not laid out as
# .clang-format says. `clang-format -i FILE` puts a file right.
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
else
    mapfile -t files < <(find src tests tools bench -name '*.c' -o -name '*.cpp' -o -name '*.h')
fi
if ! clang-format --dry-run --Werror "${files[@]}"; then
    echo "check-format: the files above differ from .clang-format (clang-format -i FILE)" >&2
    exit 1
fi
echo "check-format: ${#files[@]} files laid out as .clang-format says"
