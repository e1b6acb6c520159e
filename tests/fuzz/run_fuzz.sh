#!/bin/sh
# Fuzzes the WAV header probe and the encoder's WAV reader for a bounded time.
#   run_fuzz.sh BUILD_DIR SECONDS
# BUILD_DIR is a native build folder in which the targets wav_fuzzers (the programs
# wav_probe_fuzzer and wav_reader_fuzzer, built with clang++) and wav_seed_corpus are built.
# The fuzzers share SECONDS (at least one second each); 0 only replays the seed corpus.
# Exits non-zero on any finding; crashing inputs are kept in
# BUILD_DIR/tests/fuzz/artifacts/FUZZER/.
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
fuzzers="wav_probe_fuzzer wav_reader_fuzzer"
generator=$dir/wav_seed_corpus
for program in $fuzzers wav_seed_corpus; do
    if [ ! -x "$dir/$program" ]; then
        echo "$dir/$program is missing: build the targets wav_fuzzers and wav_seed_corpus" \
             "(the fuzzers need clang++)" >&2
        exit 2
    fi
done

# Both fuzzers start from the same seeds: they read the same RIFF WAVE files.
seeds=$dir/seeds
rm -rf "$seeds" "$dir/artifacts"
mkdir -p "$seeds"
"$generator" "$seeds"

# run FUZZER SECONDS: runs one fuzzer (0 seconds: replays the seeds). New inputs go into
# its own working corpus (the first folder); the seeds stay as generated.
run() {
    fuzzer=$1
    corpus=$dir/corpus/$fuzzer
    artifacts=$dir/artifacts/$fuzzer
    mkdir -p "$corpus" "$artifacts"
    if [ "$2" -eq 0 ]; then
        set -- -runs=0
    else
        set -- -max_total_time="$2" -print_final_stats=1
    fi
    status=0
    "$dir/$fuzzer" "$@" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts/" "$corpus" "$seeds" || status=$?
    findings=$(find "$artifacts" -type f | wc -l)
    if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
        echo "$fuzzer: exit status $status, $findings finding(s) in $artifacts" >&2
        return 1
    fi
    echo "$fuzzer: no findings"
}

# Half the time each (the first gets an odd second), so the whole run takes SECONDS. Both
# run even if the first finds something.
failed=0
left=$seconds
count=2  # fuzzers still to run
for fuzzer in $fuzzers; do
    share=$(( (left + count - 1) / count ))
    if [ "$seconds" -gt 0 ] && [ "$share" -eq 0 ]; then
        share=1
    fi
    left=$(( left - share ))
    count=$(( count - 1 ))
    run "$fuzzer" "$share" || failed=1
done
exit "$failed"
