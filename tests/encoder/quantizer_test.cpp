// Quantiser and rate loop: reconstruction accuracy, the largest codable value, the noise
// model behind the scalefactor estimate, and the loop's guarantees (budget, scalefactor
// range, codable values) on ordinary and hostile spectra.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/bands.h"
#include "core/huffman.h"
#include "core/ics.h"
#include "core/quantize.h"
#include "core/rate_loop.h"

namespace brevix::aac {
namespace {

TEST(Quantize, ReconstructsWithinHalfAStep) {
    std::mt19937 random(1);
    std::uniform_real_distribution<float> dist(-1e6f, 1e6f);
    std::vector<float> x(512), xpow(512);
    for (float& v : x) {
        v = dist(random);
    }
    compand(x.data(), 512, xpow.data());
    for (int sf : {120, 140, 160}) {
        std::vector<int> q(512);
        quantize_band(x.data(), xpow.data(), 512, sf, q.data());
        for (int i = 0; i < 512; ++i) {
            const float back = dequantize(q[static_cast<std::size_t>(i)], sf);
            // In the companded domain the error is at most the rounding offset.
            const float step_domain = std::pow(std::fabs(back) / dequantizer_gain(sf), 0.75f);
            EXPECT_NEAR(step_domain, xpow[static_cast<std::size_t>(i)] * quantizer_gain(sf), 0.6f);
            if (q[static_cast<std::size_t>(i)] != 0) {
                EXPECT_EQ(back < 0, x[static_cast<std::size_t>(i)] < 0);  // sign kept
            }
        }
    }
}

TEST(Quantize, MinimumScalefactorKeepsValuesCodable) {
    for (float peak : {1.0f, 1e3f, 1e6f, 3.3e7f}) {
        float xpow = 0.0f;
        compand(&peak, 1, &xpow);
        const int sf = min_scalefactor(xpow);
        int q = 0;
        EXPECT_LE(quantize_band(&peak, &xpow, 1, sf, &q), kMaxQuantizedValue) << peak;
        if (sf > 0) {
            EXPECT_GT(quantize_band(&peak, &xpow, 1, sf - 1, &q), kMaxQuantizedValue) << peak;
        }
    }
}

TEST(Quantize, NoiseEstimateTracksTheMeasuredNoise) {
    // For a dense band the scalefactor chosen for a noise target gives about that noise.
    std::mt19937 random(2);
    std::normal_distribution<float> dist(0.0f, 3e5f);
    std::vector<float> x(64), xpow(64);
    float sum_sqrt = 0.0f;
    for (float& v : x) {
        v = dist(random);
        sum_sqrt += std::sqrt(std::fabs(v));
    }
    compand(x.data(), 64, xpow.data());
    for (float target : {1e6f, 1e8f, 1e10f}) {
        const int sf = static_cast<int>(std::lround(scalefactor_for_noise(target, sum_sqrt)));
        std::vector<int> q(64);
        quantize_band(x.data(), xpow.data(), 64, sf, q.data());
        const float noise = quantization_noise(x.data(), q.data(), 64, sf);
        EXPECT_GT(noise, target / 3.0f) << target;
        EXPECT_LT(noise, target * 3.0f) << target;
    }
}

// A long-window channel with the spectrum given, every band's threshold `ratio` below its
// energy.
void fill_channel(Ics& ics, const std::vector<float>& spectrum, float ratio) {
    ics.sequence = WindowSequence::kOnlyLong;
    ics.set_layout(long_bands(44100), 49);
    std::copy(spectrum.begin(), spectrum.end(), ics.spectrum);
    for (int b = 0; b < ics.max_sfb; ++b) {
        float e = 0.0f;
        for (int k = ics.band_start[b]; k < ics.band_start[b] + ics.band_width[b]; ++k) {
            e += ics.spectrum[k] * ics.spectrum[k];
        }
        ics.energy[b] = e;
        ics.threshold[b] = std::max(e * ratio, 1.0f);
        ics.weight[b] = 1.0f;
    }
}

// Noise-to-mask ratio of band `b` as coded.
float coded_nmr(const Ics& ics, int b) {
    const int start = ics.band_start[b];
    const float noise = ics.book[b] == kZeroCodebook
                            ? ics.energy[b]
                            : quantization_noise(ics.spectrum + start, ics.quantized + start,
                                                 ics.band_width[b], ics.scalefactor[b]);
    return noise / ics.threshold[b];
}

// Checks what the bitstream needs: codable values, books that fit, scalefactor steps.
void expect_codable(const Ics& ics) {
    int last = ics.global_gain;
    for (int b = 0; b < ics.max_sfb; ++b) {
        const int book = ics.book[b];
        const int* q = ics.quantized + ics.band_start[b];
        EXPECT_LT(count_bits(book, q, ics.band_width[b]), kInfeasibleBits) << "band " << b;
        if (book != kZeroCodebook) {
            EXPECT_LE(std::abs(ics.scalefactor[b] - last), kScalefactorDiffLimit) << "band " << b;
            EXPECT_GE(ics.scalefactor[b], 0);
            EXPECT_LE(ics.scalefactor[b], 255);
            last = ics.scalefactor[b];
        }
    }
    EXPECT_GE(ics.global_gain, 0);
    EXPECT_LE(ics.global_gain, 255);
}

TEST(RateLoop, MeetsTheBudgetAndSpendsMoreWhenAllowed) {
    std::mt19937 random(3);
    std::normal_distribution<float> dist(0.0f, 1.0f);
    std::vector<float> spectrum(1024);
    for (int k = 0; k < 1024; ++k) {
        spectrum[static_cast<std::size_t>(k)] = dist(random) * 2e5f / (1.0f + k / 64.0f);
    }
    auto ics = std::make_unique<Ics>();
    fill_channel(*ics, spectrum, 0.01f);
    Ics* channels[1] = {ics.get()};
    RateLoop loop;
    int previous_bits = 0;
    for (int budget : {300, 1000, 3000, 6000}) {
        loop.prepare(channels, 1);
        const int bits = loop.run({budget, budget * 3 / 4, budget});
        EXPECT_LE(bits, budget);
        EXPECT_GT(bits, previous_bits) << "budget " << budget;
        EXPECT_GT(bits, budget * 3 / 4) << "budget " << budget;
        expect_codable(*ics);
        previous_bits = bits;
    }
}

TEST(RateLoop, HostileSpectraStayCodable) {
    // Neighbouring bands 150 dB apart and full-scale peaks force the scalefactor range
    // and the largest-value limits.
    std::vector<float> spectrum(1024, 0.0f);
    for (int b = 0; b < 49; ++b) {
        const BandLayout layout = long_bands(44100);
        for (int k = layout.offsets[b]; k < layout.offsets[b + 1]; ++k) {
            spectrum[static_cast<std::size_t>(k)] =
                (b % 2 == 0) ? 3.3e7f : 1e-1f * ((k % 3) - 1.0f);
        }
    }
    auto ics = std::make_unique<Ics>();
    Ics* channels[1] = {ics.get()};
    RateLoop loop;
    for (float ratio : {1e-12f, 1e-6f, 1e-2f}) {
        fill_channel(*ics, spectrum, ratio);
        loop.prepare(channels, 1);
        const int bits = loop.run({6000, 0, 6100});
        EXPECT_LE(bits, 6100);
        expect_codable(*ics);
    }
}

// The loop spends bits where they lower the noise-to-mask ratio most, not where the
// threshold is lowest: bands alike (32 lines each) but for a 12 dB lower threshold end up
// with about the same ratio, so those bands get the bits they need.
TEST(RateLoop, EqualisesNoiseToMaskRatiosAcrossThresholds) {
    std::mt19937 random(4);
    std::normal_distribution<float> dist(0.0f, 1e5f);
    std::vector<float> spectrum(1024);
    for (float& v : spectrum) {
        v = dist(random);
    }
    auto ics = std::make_unique<Ics>();
    fill_channel(*ics, spectrum, 0.01f);
    for (int b = 38; b < 46; ++b) {
        ics->threshold[b] /= 16.0f;
    }
    Ics* channels[1] = {ics.get()};
    RateLoop loop;
    loop.prepare(channels, 1);
    loop.run({8000, 7000, 8000});
    float lowered_db = 0.0f;
    float plain_db = 0.0f;
    for (int b = 38; b < 46; ++b) {
        lowered_db += 10.0f * std::log10(coded_nmr(*ics, b)) / 8.0f;
        plain_db += 10.0f * std::log10(coded_nmr(*ics, b - 8)) / 8.0f;
    }
    // Scalefactor steps are 1.5 dB; the allocation itself would be 12 dB off if it
    // balanced noise instead of noise-to-mask ratios.
    EXPECT_NEAR(lowered_db, plain_db, 2.0f);
}

// Frame after frame, the trade-off settles where the frames use their target on average,
// and a frame may then use more or fewer bits than the target as its content asks.
TEST(RateLoop, FollowsTheTargetOverFrames) {
    std::mt19937 random(5);
    std::normal_distribution<float> dist(0.0f, 1.0f);
    auto ics = std::make_unique<Ics>();
    Ics* channels[1] = {ics.get()};
    RateLoop loop;
    int total = 0;
    int frames = 0;
    for (int frame = 0; frame < 60; ++frame) {
        std::vector<float> spectrum(1024);
        const float level = frame % 2 == 0 ? 3e5f : 3e4f;  // a loud and a quiet frame
        for (int k = 0; k < 1024; ++k) {
            spectrum[static_cast<std::size_t>(k)] = dist(random) * level / (1.0f + k / 128.0f);
        }
        fill_channel(*ics, spectrum, 0.01f);
        loop.prepare(channels, 1);
        const int bits = loop.run({2000, 0, 6000});
        EXPECT_LE(bits, 6000);
        if (frame >= 20) {
            total += bits;
            ++frames;
        }
    }
    EXPECT_NEAR(total / frames, 2000, 300);
}

TEST(RateLoop, SilenceCostsAlmostNothing) {
    std::vector<float> spectrum(1024, 0.0f);
    auto ics = std::make_unique<Ics>();
    fill_channel(*ics, spectrum, 0.01f);
    Ics* channels[1] = {ics.get()};
    RateLoop loop;
    loop.prepare(channels, 1);
    EXPECT_LE(loop.run({2000, 0, 2000}), 20);  // one zero section
    for (int b = 0; b < ics->max_sfb; ++b) {
        EXPECT_EQ(ics->book[b], kZeroCodebook);
    }
}

}  // namespace
}  // namespace brevix::aac
