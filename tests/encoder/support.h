// What the encoder tests share: test signals, the mp4 program run as a process, the
// reference decoders (ffmpeg and faad, run as programs) with the measures that compare
// their output with the source, and an independent reader of AAC bits and codewords.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bench/child_process.h"
#include "bench/nmr.h"
#include "bench/stream_reader.h"
#include "bench/temp_folder.h"
#include "bench/wav_file.h"
#include "core/aac_tables.h"

namespace brevix::test {

using Signal = std::vector<double>;  // samples in -1..1

Signal sine(double hz, double amplitude, int n, int rate = 44100, double phase = 0.0);
Signal noise(double amplitude, int n, std::uint32_t seed);
// A quiet tone with short loud bursts every `period` samples.
Signal clicks(int n, int rate, int period);
Signal add(Signal a, const Signal& b);
// A raised-cosine fade-in over the first `samples`, so that a measure judges the steady
// sound rather than the switch-on click.
Signal fade_in(Signal x, int samples);
// The samples as a 16-bit file holds them, in 16-bit scale.
std::vector<float> as_16_bit(const Signal& x);
// White noise of the given rms and a tone, as the encoder's core and the measures take
// them: floats in 16-bit scale.
std::vector<float> white_noise(int n, double rms, std::uint32_t seed);
std::vector<float> pure_tone(int n, double hz, double amplitude);

// Runs `action`, which must throw an E whose message holds `words`.
template <class E, class F>
void expect_throw_saying(F action, const std::string& words) {
    try {
        action();
        ADD_FAILURE() << "nothing thrown; expected: " << words;
    } catch (const E& e) {
        EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
    }
}

// Runs the mp4 program with these arguments.
bench::ChildRun mp4(const std::vector<std::string>& args);

// Base of the tests that check the encoder's output with the reference programs. The test
// command installs them, so a missing one fails the test instead of letting it pass.
class ReferenceDecoderTest : public ::testing::Test {
protected:
    void SetUp() override;
    TempFolder dir_;
};

struct Decoded {
    std::string error;                        // empty when the decoder accepted everything
    std::vector<std::vector<float>> samples;  // per channel, 16-bit scale
    std::size_t frames() const { return samples.empty() ? 0 : samples[0].size(); }
};

// Samples in front of the source in a decoder's output: ffmpeg keeps an ADTS stream's 1024
// priming samples, faad drops that frame; in MP4 files both follow the edit list's start.
// Neither cuts the last frame short, so both decode whole frames.
constexpr int kFfmpegAdtsDelay = 1024;

Decoded decode_with_ffmpeg(const std::string& file, int channels);
Decoded decode_with_faad(const std::string& file, const std::string& scratch_wav);

// What ffprobe reports of a file: `entries` as for -show_entries ("stream=channels").
std::map<std::string, std::string> ffprobe(const std::string& file, const std::string& entries);
// What faad reads from an MP4 file's header ("Average bitrate", "Total samples", ...).
std::map<std::string, std::string> faad_info(const std::string& file);
// What mediainfo reports of a file (--Full), by field name ("Track name", "IsStreamable").
std::map<std::string, std::string> mediainfo(const std::string& file);

// Largest difference between two decodings over `count` samples after their delays.
double max_difference(const std::vector<float>& a, int delay_a, const std::vector<float>& b,
                      int delay_b, std::size_t count);

// The independent reader of AAC bits and codewords lives with the stream reader.
using bench::BitReader;
using bench::decode_codeword;
using bench::decode_spectral;

}  // namespace brevix::test
