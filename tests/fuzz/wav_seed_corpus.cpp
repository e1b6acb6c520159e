// Writes the seed corpus for the WAV probe and reader fuzzers: one file per interesting shape.
// Usage: wav_seed_corpus DIR
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "bench/wav_file.h"

using namespace brevix::wav;

namespace {

// 64 bytes of samples. A `mask` gives the extensible format, a `size` the data chunk's claim.
Bytes pcm_file(int channels, int rate, int bits = 16, unsigned mask = 0, std::int64_t size = -1) {
    Bytes chunks = chunk("fmt ", format_data({1, channels, rate, bits, mask}));
    append(chunks, chunk("data", Bytes(64, 0x11), size));
    return riff("WAVE", chunks);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];

    Bytes odd_chunks = chunk("LIST", Bytes(3, 'x'));
    append(odd_chunks, chunk("bext", Bytes(1, 'y')));
    append(odd_chunks, chunk("data", Bytes(9, 0x22)));
    append(odd_chunks, chunk("fmt ", format_data({1, 2, 44100})));

    Bytes other_riff_first = riff("AVI ", chunk("fmt ", format_data({1, 1, 44100})));
    append(other_riff_first, pcm_file(1, 44100));

    Bytes short_fmt = format_data({1, 2, 44100});
    short_fmt.resize(6);

    Bytes huge_fmt = format_data({1, 2, 44100});
    huge_fmt.resize(70000, 0);

    Bytes truncated = pcm_file(2, 44100);
    truncated.resize(26);

    Bytes outside = riff("WAVE", chunk("data", Bytes(4, 0)));
    append(outside, chunk("fmt ", format_data({1, 2, 44100})));

    const std::vector<std::pair<const char*, Bytes>> seeds = {
        {"mono_8_bit.wav", pcm_file(1, 48000, 8)},
        {"stereo.wav", pcm_file(2, 44100)},
        {"six_channels.wav", pcm_file(6, 44100, 16, 0x3F)},
        {"rate_48000.wav", pcm_file(2, 48000, 24)},
        {"stereo_32_bit.wav", pcm_file(2, 44100, 32, 0x3)},
        {"float.wav", file({3, 2, 44100, 32}, Bytes(64, 0x11))},
        {"data_claims_more.wav", pcm_file(2, 44100, 16, 0, 1000)},
        {"data_unsized.wav", pcm_file(2, 48000, 16, 0, 0xFFFFFFFF)},
        {"odd_chunks.wav", riff("WAVE", odd_chunks)},
        {"other_riff_first.wav", other_riff_first},
        {"no_fmt.wav", riff("WAVE", chunk("data", Bytes(16, 0)))},
        {"short_fmt.wav", riff("WAVE", chunk("fmt ", short_fmt))},
        {"huge_fmt.wav", riff("WAVE", chunk("fmt ", huge_fmt))},
        {"truncated.wav", truncated},
        {"fmt_outside.wav", outside},
        {"not_riff.wav", {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0x21, 0xFF, 0xFB, 0x90, 0x64}},
    };
    for (const auto& [name, bytes] : seeds) {
        if (!write_file(dir + "/" + name, bytes)) {
            std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), name);
            return 1;
        }
    }
    return 0;
}
