// The reference decoders (ffmpeg and faad, run as programs) and the measures used to
// compare their output with the source.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace brevix::test {

// Base of the tests that check the encoder's output with the reference programs (ffmpeg,
// ffprobe, faad). The test command installs them, so a missing one fails the test with a
// clear message instead of letting it pass unchecked.
class ReferenceDecoderTest : public ::testing::Test {
protected:
    void SetUp() override;
};

struct Decoded {
    bool ok = false;
    std::string error;  // what the decoder complained about
    int channels = 0;
    std::vector<std::vector<double>> samples;  // per channel, 16-bit scale
    std::size_t frames() const { return samples.empty() ? 0 : samples[0].size(); }
};

// Samples in front of the source in a decoder's output. ADTS: ffmpeg's output includes
// the 1024 priming samples; faad drops the first frame itself. MP4: ffmpeg skips the
// priming as the edit list says; faad ignores the edit list but still drops the first
// frame. Neither cuts the last frame short (ffmpeg 5.1, faad 2.10), so both decode whole
// frames: the source rounded up to a multiple of 1024.
constexpr int kFfmpegDelay = 1024;
constexpr int kFaadDelay = 0;
constexpr int kMp4Delay = 0;

Decoded decode_with_ffmpeg(const std::string& aac, int channels);
Decoded decode_with_faad(const std::string& aac, const std::string& scratch_wav);

// What ffprobe reports about a file: `entries` as for -show_entries (e.g.
// "stream=channels,duration"), answered as name -> value. Empty if ffprobe fails.
std::map<std::string, std::string> ffprobe(const std::string& file, const std::string& entries);

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
