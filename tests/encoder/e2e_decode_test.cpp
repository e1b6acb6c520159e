// End to end: generated WAV files are encoded by the mp4 program and decoded by two
// independent decoders (ffmpeg and faad). Both must accept every frame, agree with each
// other, give back the source's length (after the 1024-sample priming, at least the
// source and less than one frame more), and sound like the source by an objective measure.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/decoders.h"
#include "support/process.h"
#include "support/test_files.h"

namespace brevix::test {
namespace {

struct Case {
    std::string name;
    std::vector<std::vector<double>> channels;  // source, -1..1
    int rate;
    int bits;
    int bit_rate;
    std::string profile;  // "-lc" or "-main"
    // Per channel, against the source (ffmpeg's decoding). Set about 5 dB below what the
    // encoder achieves today: a wrong window, scalefactor or sign costs far more than that.
    double min_snr_db;
};

class DecodeTest : public ReferenceDecoderTest {
protected:
    // Encodes and decodes `c`, checks everything that holds for any signal, and returns
    // ffmpeg's decoding.
    Decoded round_trip(const Case& c) {
        const std::string wav = dir_.file(c.name + ".wav");
        const std::string aac = dir_.file(c.name + ".aac");
        write_wav(wav, c.channels, c.rate, c.bits);
        const ProcessResult enc =
            run_process({mp4_binary(), "-nh", "-c", "-r", std::to_string(c.bit_rate), c.profile,
                         wav, "-o", aac});
        EXPECT_EQ(enc.exit_code, 0) << enc.err;
        const int channels = static_cast<int>(c.channels.size());
        const Decoded ff = decode_with_ffmpeg(aac, channels);
        const Decoded fa = decode_with_faad(aac, dir_.file(c.name + ".faad.wav"));
        EXPECT_TRUE(ff.ok) << ff.error;
        EXPECT_TRUE(fa.ok) << fa.error;
        if (!ff.ok || !fa.ok) {
            return ff;
        }
        const std::size_t n = c.channels[0].size();
        // Length: priming plus whole frames covering the source.
        EXPECT_EQ(ff.frames(), ((n + 1023) / 1024 + 1) * 1024) << c.name;
        EXPECT_GE(ff.frames() - kFfmpegDelay, n);
        EXPECT_LT(ff.frames() - kFfmpegDelay, n + 1024);
        EXPECT_EQ(fa.frames() + 1024, ff.frames()) << "faad drops the priming frame";
        // faad plays mono as two equal channels.
        EXPECT_TRUE(fa.channels == channels || (channels == 1 && fa.channels == 2)) << fa.channels;
        for (int ch = 0; ch < channels; ++ch) {
            const double diff =
                max_difference(ff.samples[static_cast<std::size_t>(ch)], kFfmpegDelay,
                               fa.samples[static_cast<std::size_t>(ch)], kFaadDelay, n);
            EXPECT_LE(diff, 3.0) << c.name << " channel " << ch << ": decoders disagree";
        }
        for (int ch = 0; ch < channels; ++ch) {
            const std::vector<std::int16_t> src16 =
                to_int16(c.channels[static_cast<std::size_t>(ch)]);
            std::vector<double> source(src16.begin(), src16.end());
            if (c.bits > 16) {
                source.clear();
                for (double v : c.channels[static_cast<std::size_t>(ch)]) {
                    source.push_back(v * 32768.0);
                }
            }
            const double snr =
                snr_db(source, ff.samples[static_cast<std::size_t>(ch)], kFfmpegDelay);
            RecordProperty(c.name + "_snr_" + std::to_string(ch), std::to_string(snr));
            std::printf("[ measure  ] %s channel %d: SNR %.1f dB\n", c.name.c_str(), ch, snr);
            EXPECT_GE(snr, c.min_snr_db) << c.name << " channel " << ch;
        }
        return ff;
    }

    TempDir dir_;
};

constexpr int k44 = 44100;
constexpr int k48 = 48000;

// Tonal material fades in over 20 ms: the measures then judge the steady sound, which
// must come through with little noise. (Switch-on clicks are the clicks test's job.)
constexpr int kFade = 882;

TEST_F(DecodeTest, TonesAndChords) {
    const int n = 2 * k44;
    round_trip({"tone_stereo_lc_128k",
                {fade_in(sine(1000.0, 0.5, n, k44), kFade),
                 fade_in(sine(1000.0, 0.5, n, k44, 0.3), kFade)},
                k44,
                16,
                128000,
                "-lc",
                42.0});
    const int m = 2 * k48;
    round_trip({"chord_mono_main_64k_48k",
                {fade_in(chord({262, 330, 392, 523}, 0.7, m, k48), kFade)},
                k48,
                16,
                64000,
                "-main",
                35.0});
    round_trip({"chord_stereo_24bit_192k_48k",
                {fade_in(chord({220, 277, 330, 440, 880}, 0.8, m, k48), kFade),
                 fade_in(chord({147, 220, 294, 587}, 0.6, m, k48), kFade)},
                k48,
                24,
                192000,
                "-lc",
                44.0});
    round_trip({"tone_mono_8bit_96k",
                {fade_in(sine(440.0, 0.6, n, k44), kFade)},
                k44,
                8,
                96000,
                "-lc",
                28.0});
}

TEST_F(DecodeTest, DifferentChannelsStaySeparate) {
    // Unrelated left and right content: a mistake in mid/side coding would leak one into
    // the other.
    const int n = 2 * k44;
    round_trip({"separate_channels",
                {fade_in(sine(440.0, 0.5, n, k44), kFade),
                 fade_in(add(sine(3000.0, 0.3, n, k44), white_noise(0.01, n, 3)), kFade)},
                k44,
                16,
                128000,
                "-lc",
                28.0});
    const std::vector<double> left = fade_in(sine(700.0, 0.5, n, k44), kFade);
    const std::vector<double> silent(static_cast<std::size_t>(n), 0.0);
    const Decoded d =
        round_trip({"one_side_silent", {left, silent}, k44, 16, 96000, "-main", -1000.0});
    if (d.ok) {
        EXPECT_LT(energy_ratio_db(scaled(left, 32768.0), d.samples[1], kFfmpegDelay), -60.0)
            << "the silent channel must stay silent";
    }
}

TEST_F(DecodeTest, TransientsAndNoise) {
    const int n = 2 * k44;
    const std::vector<double> c = clicks(n, k44, 8000);
    round_trip({"clicks_stereo_main_128k", {c, c}, k44, 16, 128000, "-main", 30.0});
    const std::vector<double> noise_l = white_noise(0.3, n, 1);
    const std::vector<double> noise_r = white_noise(0.3, n, 2);
    const Decoded d =
        round_trip({"noise_stereo_128k", {noise_l, noise_r}, k44, 16, 128000, "-lc", 1.5});
    if (d.ok) {
        // Noise is coded to its masking threshold, not to the waveform; its loudness must
        // still come through (the band above the encoder's bandwidth is missing).
        const double ratio = energy_ratio_db(scaled(noise_l, 32768.0), d.samples[0], kFfmpegDelay);
        EXPECT_GT(ratio, -3.0);
        EXPECT_LT(ratio, 1.0);
    }
}

TEST_F(DecodeTest, EdgeCases) {
    const int n = k44;
    const std::vector<double> silent(static_cast<std::size_t>(n), 0.0);
    const Decoded quiet = round_trip({"silence", {silent, silent}, k44, 16, 64000, "-lc", -1000.0});
    if (quiet.ok) {
        for (const double v : quiet.samples[0]) {
            ASSERT_LE(std::fabs(v), 1.0);
        }
    }
    const std::vector<double> sq = square(200.0, 1.0, n, k44);
    round_trip({"square_full_scale", {sq}, k44, 16, 128000, "-lc", 23.0});
    round_trip({"odd_length_32bit",
                {fade_in(sine(500.0, 0.4, n + 333, k44), kFade),
                 fade_in(sine(600.0, 0.4, n + 333, k44), kFade)},
                k44,
                32,
                128000,
                "-main",
                40.0});
    round_trip({"one_sample", {{0.5}}, k44, 16, 64000, "-lc", -1000.0});
}

TEST_F(DecodeTest, EmptyFileGivesOneSilentFrame) {
    const std::string wav = dir_.file("empty.wav");
    const std::string aac = dir_.file("empty.aac");
    write_wav(wav, {{}, {}}, k44, 16);
    const ProcessResult enc = run_process({mp4_binary(), "-nh", wav, "-o", aac});
    ASSERT_EQ(enc.exit_code, 0) << enc.err;
    const Decoded ff = decode_with_ffmpeg(aac, 2);
    ASSERT_TRUE(ff.ok) << ff.error;
    EXPECT_EQ(ff.frames(), 1024u);  // priming only: nothing left after dropping it
}

}  // namespace
}  // namespace brevix::test
