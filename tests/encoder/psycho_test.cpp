// The psychoacoustic model: what masks how much (tones less than noise, nothing but the
// threshold in quiet in silence), the limits a long window's threshold gets from the
// frames around it, and the band weights the rate loop uses.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/mdct.h"
#include "core/psycho.h"
#include "core/window.h"

namespace brevix::aac {
namespace {

struct Bands {
    std::vector<float> energy = std::vector<float>(kMaxLongBands);
    std::vector<float> threshold = std::vector<float>(kMaxLongBands);
    std::vector<float> weight = std::vector<float>(kMaxLongBands);
};

// Feeds `signal` block by block as the encoder does and returns the long-window analysis
// of frame `frame` (input blocks frame - 1 and frame).
Bands analyze_frame(const std::vector<float>& signal, int frame) {
    PsychoModel model(44100);
    Mdct mdct(2048);
    std::vector<float> history(3 * 1024, 0.0f);
    std::vector<float> windowed(2048);
    std::vector<float> spectrum(1024);
    Bands out;
    for (int block = 0; block <= frame + 1; ++block) {
        std::copy(history.begin() + 1024, history.end(), history.begin());
        for (int i = 0; i < 1024; ++i) {
            const std::size_t at = static_cast<std::size_t>(block * 1024 + i);
            history[static_cast<std::size_t>(2048 + i)] = at < signal.size() ? signal[at] : 0.0f;
        }
        model.look_ahead(history.data());
        if (block == frame + 1) {
            window_long_block(history.data(), WindowSequence::kOnlyLong, WindowShape::kSine,
                              WindowShape::kSine, windowed.data());
            mdct.forward(windowed.data(), spectrum.data());
            model.analyze_long(spectrum.data(), out.energy.data(), out.threshold.data(),
                               out.weight.data());
        }
    }
    return out;
}

std::vector<float> noise(int n, float rms, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<float> dist(0.0f, rms);
    std::vector<float> x(static_cast<std::size_t>(n));
    for (float& v : x) {
        v = dist(random);
    }
    return x;
}

std::vector<float> tone(int n, double hz, float amplitude) {
    std::vector<float> x(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        x[static_cast<std::size_t>(i)] =
            amplitude * static_cast<float>(std::sin(2.0 * 3.14159265358979 * hz * i / 44100.0));
    }
    return x;
}

int band_of(double hz) {
    const BandLayout layout = long_bands(44100);
    const double line = hz * 2048.0 / 44100.0;
    int b = 0;
    while (b + 1 < layout.count && layout.offsets[b + 1] <= line) {
        ++b;
    }
    return b;
}

TEST(Psychoacoustics, ATonalBandMasksLessThanANoisyOne) {
    const int n = 12 * 1024;
    const int b = band_of(1000.0);
    const Bands sine = analyze_frame(tone(n, 1000.0, 10000.0f), 8);
    const Bands hiss = analyze_frame(noise(n, 10000.0f, 1), 8);
    const float tonal_db = 10.0f * std::log10(sine.energy[b] / sine.threshold[b]);
    const float noisy_db = 10.0f * std::log10(hiss.energy[b] / hiss.threshold[b]);
    // Noise hides noise about 5.5 dB below it; a tone far less.
    EXPECT_GT(noisy_db, 2.0f);
    EXPECT_LT(noisy_db, 12.0f);
    EXPECT_GT(tonal_db - noisy_db, 8.0f);
}

TEST(Psychoacoustics, SilenceLeavesTheThresholdInQuiet) {
    const Bands quiet = analyze_frame(std::vector<float>(8 * 1024, 0.0f), 4);
    const Bands faint = analyze_frame(noise(8 * 1024, 0.01f, 2), 4);
    for (int b = 0; b < 49; ++b) {
        EXPECT_GT(quiet.threshold[b], 0.0f);
        EXPECT_EQ(quiet.threshold[b], faint.threshold[b]) << "band " << b;
    }
    // Hearing is most sensitive around 3-4 kHz, far less at the ends of the range.
    EXPECT_LT(quiet.threshold[band_of(3500.0)], quiet.threshold[band_of(100.0)]);
    EXPECT_LT(quiet.threshold[band_of(3500.0)], quiet.threshold[band_of(15000.0)]);
}

// A long window spreads its noise over its whole span. When the sound stops in the middle
// of the frame, the noise would fill the silent half, which the next frame's mask (of
// silence) must then cover; when it starts there, the silent half before it, which is the
// previous frame's. Either way the threshold drops far below the one of steady sound
// (which has only twice the energy).
TEST(Psychoacoustics, AStopOrStartWithinTheFrameLowersTheThreshold) {
    const int n = 12 * 1024;
    const std::vector<float> going_on = noise(n, 5000.0f, 3);
    std::vector<float> stopping = going_on;
    std::fill(stopping.begin() + 7 * 1024, stopping.end(), 0.0f);
    std::vector<float> starting = going_on;
    std::fill(starting.begin(), starting.begin() + 7 * 1024, 0.0f);
    // Frame 7 covers blocks 6 and 7.
    const Bands steady = analyze_frame(going_on, 7);
    const Bands stop = analyze_frame(stopping, 7);
    const Bands start = analyze_frame(starting, 7);
    // (Up to 13 kHz: higher up the threshold in quiet sets the floor.)
    for (int b = 10; b < 40; ++b) {
        EXPECT_LT(stop.threshold[b], 0.05f * steady.threshold[b]) << "band " << b;
        EXPECT_LT(start.threshold[b], 0.05f * steady.threshold[b]) << "band " << b;
    }
}

TEST(Psychoacoustics, WeightsAreBarkWidths) {
    const Bands bands = analyze_frame(noise(6 * 1024, 100.0f, 4), 3);
    float total = 0.0f;
    for (int b = 0; b < 49; ++b) {
        EXPECT_GT(bands.weight[b], 0.0f);
        total += bands.weight[b];
    }
    // 0 .. 22050 Hz spans about 25 Bark; low bands are wider on that scale than high ones.
    EXPECT_NEAR(total, 25.0f, 1.0f);
    EXPECT_GT(bands.weight[0], bands.weight[45]);
}

}  // namespace
}  // namespace brevix::aac
