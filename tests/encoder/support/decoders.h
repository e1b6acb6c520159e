// The reference decoders (ffmpeg and faad, run as programs) and the measures used to
// compare their output with the source.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brevix::test {

struct Decoded {
    bool ok = false;
    std::string error;  // what the decoder complained about
    int channels = 0;
    std::vector<std::vector<double>> samples;  // per channel, 16-bit scale
    std::size_t frames() const { return samples.empty() ? 0 : samples[0].size(); }
};

// ffmpeg's output includes the 1024 priming samples; faad drops the first frame itself.
constexpr int kFfmpegDelay = 1024;
constexpr int kFaadDelay = 0;

Decoded decode_with_ffmpeg(const std::string& aac, int channels);
Decoded decode_with_faad(const std::string& aac, const std::string& scratch_wav);

// Signal-to-noise ratio in dB of `decoded` (from sample `delay` on) against `source`, over
// the source's length.
double snr_db(const std::vector<double>& source, const std::vector<double>& decoded, int delay);

// Largest absolute difference between two decodings after their delays.
double max_difference(const std::vector<double>& a, int delay_a, const std::vector<double>& b,
                      int delay_b, std::size_t count);

// Energy ratio in dB of decoded to source over the source's length.
double energy_ratio_db(const std::vector<double>& source, const std::vector<double>& decoded,
                       int delay);

}  // namespace brevix::test
