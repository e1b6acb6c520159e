#!/bin/sh
# Decodes what the end-to-end run encoded with the real encoder (the RealEncoder tests of
# encode_test.cpp) with both reference decoders: each must accept the whole stream, and the
# decoded length must be the source's plus the encoder's 1024-sample delay, padded to whole
# frames.
#   check_real_encoder_output.sh FOLDER
set -eu
folder=$1
source=$folder/song.wav
[ -f "$source" ] || { echo "no $source: the end-to-end run did not keep its files" >&2; exit 1; }

# Source length in samples per channel: data bytes / 4 (16-bit stereo).
source_samples=$(( ($(stat -c %s "$source") - 44) / 4 ))
status=0
for aac in "$folder"/song_lc.aac "$folder"/song_main.aac; do
    [ -f "$aac" ] || { echo "missing $aac" >&2; status=1; continue; }
    bytes=$(ffmpeg -v error -xerror -i "$aac" -f s16le -ac 2 - | wc -c)
    decoded=$((bytes / 4))
    low=$((source_samples + 1024))
    high=$((source_samples + 1024 + 2048))
    if [ "$decoded" -lt "$low" ] || [ "$decoded" -ge "$high" ]; then
        echo "$aac: ffmpeg decoded $decoded samples, expected $low to $high" >&2
        status=1
    fi
    if ! faad -q -o /dev/null "$aac" >/dev/null 2>"$folder/faad.err" || [ -s "$folder/faad.err" ]; then
        echo "$aac: faad failed: $(cat "$folder/faad.err")" >&2
        status=1
    fi
    echo "$aac: $decoded samples decoded (source $source_samples)"
done
exit $status
