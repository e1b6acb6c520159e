#!/bin/sh
# Fuzzes the WAV header probe for a bounded time.
#   run_fuzz.sh BUILD_DIR SECONDS
# BUILD_DIR is a native build folder in which the targets wav_probe_fuzz (the program
# wav_probe_fuzzer) and wav_seed_corpus are built.
# SECONDS 0 only replays the seed corpus. Exits non-zero on any finding; crashing inputs
# are kept in BUILD_DIR/tests/fuzz/artifacts/.
set -eu

if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
fi
build=$1
seconds=$2
case $seconds in
    ''|*[!0-9]*) echo "SECONDS must be a whole number" >&2; exit 2 ;;
esac

dir=$build/tests/fuzz
fuzzer=$dir/wav_probe_fuzzer
generator=$dir/wav_seed_corpus
for program in "$fuzzer" "$generator"; do
    if [ ! -x "$program" ]; then
        echo "$program is missing: build the targets wav_probe_fuzz and wav_seed_corpus" >&2
        exit 2
    fi
done

seeds=$dir/seeds
corpus=$dir/corpus
artifacts=$dir/artifacts
rm -rf "$seeds" "$artifacts"
mkdir -p "$seeds" "$corpus" "$artifacts"
"$generator" "$seeds"

if [ "$seconds" -eq 0 ]; then
    set -- -runs=0
else
    set -- -max_total_time="$seconds" -print_final_stats=1
fi

# New inputs go into the first folder (the working corpus); the seeds stay as generated.
status=0
"$fuzzer" "$@" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/" "$corpus" "$seeds" || status=$?

findings=$(find "$artifacts" -type f | wc -l)
if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
    echo "wav_probe_fuzz: exit status $status, $findings finding(s) in $artifacts" >&2
    exit 1
fi
echo "wav_probe_fuzz: no findings"
