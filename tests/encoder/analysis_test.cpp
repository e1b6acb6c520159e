// The encoder's signal path where a fault hides from a decoder: the transforms against
// their direct formulas (the psychoacoustic model's MDST is heard by no decoder), block
// switching, the psychoacoustic model, the quantiser's accuracy and the rate loop's
// guarantees on any spectrum.
#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "core/bands.h"
#include "core/block_switch.h"
#include "core/ics.h"
#include "core/mdct.h"
#include "core/psycho.h"
#include "core/quantize.h"
#include "core/rate_loop.h"
#include "core/window.h"
#include "support.h"

namespace brevix::aac {
namespace {

const double kPi = std::acos(-1.0);
using test::pure_tone, test::white_noise;

// Largest difference relative to the largest expected value.
double relative_error(const std::vector<float>& got, const std::vector<double>& want) {
    double peak = 0.0;
    double error = 0.0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        peak = std::max(peak, std::fabs(want[i]));
        error = std::max(error, std::fabs(got[i] - want[i]));
    }
    return error / peak;
}

// (The transforms run on the FFT, whose faults show here too.)
TEST(Transform, MdctMdstAndInverseMatchTheirDirectFormulas) {
    // X[k] = 2 sum x[n] cos|sin(2 pi / N (n + n0)(k + 1/2)), n0 = N/4 + 1/2, and the inverse
    // y[n] = 2/N sum X[k] cos(2 pi / N (n + n0)(k + 1/2)).
    for (int length : {2048, 256}) {
        const std::vector<float> x = white_noise(length, 10000.0, 3);
        const double n0 = length / 4.0 + 0.5;
        std::vector<double> cosine(length / 2), sine(length / 2), inverse(length);
        for (int k = 0; k < length / 2; ++k) {
            for (int n = 0; n < length; ++n) {
                const double a = 2.0 * kPi / length * (n + n0) * (k + 0.5);
                cosine[k] += 2.0 * x[n] * std::cos(a);
                sine[k] += 2.0 * x[n] * std::sin(a);
                inverse[n] += 2.0 / length * x[k] * std::cos(a);
            }
        }
        Mdct mdct(length);
        std::vector<float> got(length / 2), back(length);
        mdct.forward(x.data(), got.data());
        EXPECT_LT(relative_error(got, cosine), 2e-5) << "MDCT of " << length;
        mdct.forward_mdst(x.data(), got.data());
        EXPECT_LT(relative_error(got, sine), 2e-5) << "MDST of " << length;
        mdct.inverse(x.data(), back.data());
        EXPECT_LT(relative_error(back, inverse), 2e-5) << "inverse MDCT of " << length;
    }
    // The encoder takes the model's transform of a frame for its own long-only sine one:
    // they must agree to the bit (from the second block on, when the first frame is coded).
    const std::vector<float> x = white_noise(5 * 1024, 10000.0, 4);
    std::vector<float> windowed(2048), own(1024);
    PsychoModel model(44100);
    Mdct mdct(2048);
    for (int block = 0; block < 3; ++block) {
        const float* history = x.data() + block * 1024;
        model.look_ahead(history);
        window_long_block(history, WindowSequence::kOnlyLong, WindowShape::kSine,
                          WindowShape::kSine, windowed.data());
        mdct.forward(windowed.data(), own.data());
        if (block > 0) {
            EXPECT_TRUE(std::equal(own.begin(), own.end(), model.long_sine_spectrum())) << block;
        }
    }
}

// The model and the window state machine as the encoder runs them: each new block enters a
// three-block history, and frame k is decided with block k + 2 in view.
std::vector<WindowSequence> sequences_for(const std::vector<float>& signal) {
    PsychoModel model(44100);
    std::vector<float> history(3 * 1024, 0.0f);
    std::vector<WindowSequence> out;
    WindowSequence previous = WindowSequence::kOnlyLong;
    for (std::size_t start = 0; start + 1024 <= signal.size(); start += 1024) {
        std::copy(history.begin() + 1024, history.end(), history.begin());
        std::copy(signal.begin() + static_cast<long>(start),
                  signal.begin() + static_cast<long>(start + 1024), history.begin() + 2048);
        model.look_ahead(history.data());
        if (start >= 2048) {
            previous =
                next_window_sequence(previous, model.wants_short_now(), model.wants_short_next());
            out.push_back(previous);
        }
    }
    return out;
}

// Start, short (one or two frames) and stop windows around the event, the event inside the
// short windows' span, long windows everywhere else.
void expect_short_windows_around(const std::vector<WindowSequence>& got, int event) {
    using S = WindowSequence;
    const auto first = std::find(got.begin(), got.end(), S::kEightShort) - got.begin();
    const auto last = got.rend() - std::find(got.rbegin(), got.rend(), S::kEightShort) - 1;
    ASSERT_TRUE(first >= 1 && last + 1 < static_cast<long>(got.size()) && last - first <= 1)
        << "event at " << event;
    EXPECT_GE(event, first * 1024 + kShortWindowStart);  // frame k holds 1024 k .. 1024 k + 2048
    EXPECT_LT(event, last * 1024 + kShortWindowStart + 9 * 128);
    for (long k = 0; k < static_cast<long>(got.size()); ++k) {
        const S want = k == first - 1            ? S::kLongStart
                       : k == last + 1           ? S::kLongStop
                       : k >= first && k <= last ? S::kEightShort
                                                 : S::kOnlyLong;
        EXPECT_EQ(got[k], want) << "frame " << k << ", event at " << event;
    }
}

TEST(BlockSwitching, ShortWindowsForAttacksAndAbruptEndsButNeverForSteadySound) {
    for (const auto& steady :
         {pure_tone(40 * 1024, 440.0, 20000.0f), white_noise(40 * 1024, 10000.0, 1)}) {
        EXPECT_EQ(sequences_for(steady),
                  std::vector<WindowSequence>(38, WindowSequence::kOnlyLong));
    }
    for (int position : {10 * 1024 + 100, 10 * 1024 + 600, 10 * 1024 + 1000}) {
        std::vector<float> click = pure_tone(24 * 1024, 440.0, 200.0f);
        for (int i = 0; i < 64; ++i) {
            click[position + i] += 20000.0f * std::exp(-i / 20.0f);
        }
        expect_short_windows_around(sequences_for(click), position);
    }
    // A long window would spread a loud sound's noise into the silence after it.
    std::vector<float> stop = pure_tone(24 * 1024, 440.0, 30.0f);
    const std::vector<float> loud = white_noise(10 * 1024 + 700, 3000, 2);
    std::copy(loud.begin(), loud.end(), stop.begin());
    expect_short_windows_around(sequences_for(stop), 10 * 1024 + 700);

    // Whatever the wishes, only legal sequences; a wish announced a frame ahead is kept.
    using S = WindowSequence;
    EXPECT_TRUE(is_legal_transition(S::kLongStop, S::kLongStart));
    EXPECT_FALSE(is_legal_transition(S::kOnlyLong, S::kEightShort));
    EXPECT_FALSE(is_legal_transition(S::kEightShort, S::kLongStart));
    std::mt19937 random(3);
    S previous = S::kOnlyLong;
    bool now = false;
    for (int k = 0; k < 5000; ++k) {
        const bool next = random() % 3 == 0;
        const S s = next_window_sequence(previous, now, next);
        ASSERT_TRUE(is_legal_transition(previous, s));
        if (now && (previous == S::kLongStart || previous == S::kEightShort)) {
            EXPECT_EQ(s, S::kEightShort);
        }
        previous = s;
        now = next;
    }
}

struct Bands {
    std::vector<float> energy = std::vector<float>(kMaxLongBands);
    std::vector<float> threshold = std::vector<float>(kMaxLongBands);
    std::vector<float> weight = std::vector<float>(kMaxLongBands);
};

// The long-window analysis of frame `frame` (blocks frame - 1 and frame) as the encoder
// runs it.
Bands analyze_frame(const std::vector<float>& signal, int frame) {
    PsychoModel model(44100);
    Mdct mdct(2048);
    std::vector<float> history(3 * 1024, 0.0f), windowed(2048), spectrum(1024);
    Bands out;
    for (int block = 0; block <= frame + 1; ++block) {
        std::copy(history.begin() + 1024, history.end(), history.begin());
        for (int i = 0; i < 1024; ++i) {
            const std::size_t at = static_cast<std::size_t>(block * 1024 + i);
            history[2048 + i] = at < signal.size() ? signal[at] : 0.0f;
        }
        model.look_ahead(history.data());
    }
    window_long_block(history.data(), WindowSequence::kOnlyLong, WindowShape::kSine,
                      WindowShape::kSine, windowed.data());
    mdct.forward(windowed.data(), spectrum.data());
    model.analyze_long(spectrum.data(), out.energy.data(), out.threshold.data(), out.weight.data());
    return out;
}

int band_of(double hz) {
    const BandLayout layout = long_bands(44100);
    int b = 0;
    while (b + 1 < layout.count && layout.offsets[b + 1] <= hz * 2048.0 / 44100.0) {
        ++b;
    }
    return b;
}

TEST(Psychoacoustics, TonesMaskLessThanNoiseAndSilenceLeavesTheThresholdInQuiet) {
    const int b = band_of(1000.0);
    const Bands sine = analyze_frame(pure_tone(12 * 1024, 1000.0, 10000.0f), 8);
    const Bands hiss = analyze_frame(white_noise(12 * 1024, 10000.0, 1), 8);
    const float tonal_db = 10.0f * std::log10(sine.energy[b] / sine.threshold[b]);
    const float noisy_db = 10.0f * std::log10(hiss.energy[b] / hiss.threshold[b]);
    EXPECT_GT(noisy_db, 2.0f);  // noise hides noise about 5.5 dB below it, a tone far less
    EXPECT_LT(noisy_db, 12.0f);
    EXPECT_GT(tonal_db - noisy_db, 8.0f);

    const Bands quiet = analyze_frame(std::vector<float>(8 * 1024, 0.0f), 4);
    const Bands faint = analyze_frame(white_noise(8 * 1024, 0.01f, 2), 4);
    float bark = 0.0f;
    for (int band = 0; band < 49; ++band) {
        EXPECT_GT(quiet.threshold[band], 0.0f);
        EXPECT_EQ(quiet.threshold[band], faint.threshold[band]) << "band " << band;
        bark += quiet.weight[band];
    }
    // Hearing is most sensitive around 3-4 kHz; the weights are the bands' Bark widths.
    EXPECT_LT(quiet.threshold[band_of(3500.0)], quiet.threshold[band_of(100.0)]);
    EXPECT_LT(quiet.threshold[band_of(3500.0)], quiet.threshold[band_of(15000.0)]);
    EXPECT_NEAR(bark, 25.0f, 1.0f);
    EXPECT_GT(quiet.weight[0], quiet.weight[45]);
}

// A long window spreads its noise over its whole span: when the sound stops or starts in
// the middle of the frame, the noise would fill the silent half, so the threshold drops far
// below that of the steady sound.
TEST(Psychoacoustics, AStopOrStartWithinTheFrameLowersTheThreshold) {
    const std::vector<float> going_on = white_noise(12 * 1024, 5000.0f, 3);
    std::vector<float> stopping = going_on;
    std::fill(stopping.begin() + 7 * 1024, stopping.end(), 0.0f);
    std::vector<float> starting = going_on;
    std::fill(starting.begin(), starting.begin() + 7 * 1024, 0.0f);
    const Bands steady = analyze_frame(going_on, 7);
    const Bands stop = analyze_frame(stopping, 7);
    const Bands start = analyze_frame(starting, 7);
    for (int b = 10; b < 40; ++b) {  // higher up the threshold in quiet sets the floor
        EXPECT_LT(stop.threshold[b], 0.05f * steady.threshold[b]) << "band " << b;
        EXPECT_LT(start.threshold[b], 0.05f * steady.threshold[b]) << "band " << b;
    }
}

TEST(Quantize, ReconstructsWithinHalfAStepAndKeepsValuesCodable) {
    std::vector<float> x = white_noise(512, 3e5f, 1);
    x[0] = 3.3e7f;  // the largest a 16-bit input gives
    std::vector<float> xpow(512);
    compand(x.data(), 512, xpow.data());
    const int lowest = min_scalefactor(xpow[0]);
    for (int sf : {120, 160, lowest}) {
        std::vector<int> q(512);
        const int largest = quantize_band(x.data(), xpow.data(), 512, sf, q.data());
        EXPECT_TRUE(sf != lowest || largest <= kMaxQuantizedValue);
        for (int i = 0; i < 512; ++i) {
            const float back = dequantize(q[i], sf);
            // In the companded domain the error is at most the rounding offset.
            EXPECT_NEAR(std::pow(std::fabs(back) / dequantizer_gain(sf), 0.75f),
                        xpow[i] * quantizer_gain(sf), 0.6f);
            EXPECT_TRUE(q[i] == 0 || (back < 0) == (x[i] < 0)) << "sign kept";
        }
    }
    int q = 0;
    EXPECT_GT(quantize_band(x.data(), xpow.data(), 1, lowest - 1, &q), kMaxQuantizedValue);
    // The scalefactor chosen for a noise target gives about that noise in a dense band.
    float sum_sqrt = 0.0f;
    for (int i = 1; i < 65; ++i) {
        sum_sqrt += std::sqrt(std::fabs(x[i]));
    }
    for (float target : {1e6f, 1e8f, 1e10f}) {
        const int sf = static_cast<int>(std::lround(scalefactor_for_noise(target, sum_sqrt)));
        std::vector<int> qs(64);
        quantize_band(x.data() + 1, xpow.data() + 1, 64, sf, qs.data());
        const float noise = quantization_noise(x.data() + 1, qs.data(), 64, sf);
        EXPECT_GT(noise, target / 3.0f);
        EXPECT_LT(noise, target * 3.0f);
    }
}

// A long-window channel with the given spectrum, every band's threshold `ratio` below its
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

// What the bitstream needs: codable values, books that fit, scalefactors in range and in
// steps the difference code can carry.
void expect_codable(const Ics& ics) {
    int last = ics.global_gain;
    for (int b = 0; b < ics.max_sfb; ++b) {
        const int* q = ics.quantized + ics.band_start[b];
        EXPECT_LT(count_bits(ics.book[b], q, ics.band_width[b]), kInfeasibleBits) << "band " << b;
        if (ics.book[b] != kZeroCodebook) {
            EXPECT_LE(std::abs(ics.scalefactor[b] - last), kScalefactorDiffLimit) << "band " << b;
            EXPECT_TRUE(ics.scalefactor[b] >= 0 && ics.scalefactor[b] <= 255);
            last = ics.scalefactor[b];
        }
    }
}

TEST(RateLoop, MeetsTheBudgetAndKeepsEveryBandCodableOnAnySpectrum) {
    auto ics = std::make_unique<Ics>();
    Ics* channels[1] = {ics.get()};
    RateLoop loop;
    std::vector<float> spectrum = white_noise(1024, 2e5f, 3);
    for (int k = 0; k < 1024; ++k) {
        spectrum[k] /= 1.0f + k / 64.0f;
    }
    fill_channel(*ics, spectrum, 0.01f);
    int previous_bits = 0;
    for (int budget : {300, 1000, 3000, 6000}) {
        loop.prepare(channels, 1);
        const int bits = loop.run({budget, budget * 3 / 4, budget});
        EXPECT_LE(bits, budget);
        EXPECT_GT(bits, std::max(previous_bits, budget * 3 / 4)) << "budget " << budget;
        expect_codable(*ics);
        previous_bits = bits;
    }
    // Neighbouring bands 150 dB apart and full-scale peaks force the scalefactor range and
    // the largest-value limits.
    const BandLayout layout = long_bands(44100);
    for (int b = 0; b < 49; ++b) {
        for (int k = layout.offsets[b]; k < layout.offsets[b + 1]; ++k) {
            spectrum[k] = b % 2 == 0 ? 3.3e7f : 1e-1f * ((k % 3) - 1.0f);
        }
    }
    for (float ratio : {1e-12f, 1e-6f, 1e-2f}) {
        fill_channel(*ics, spectrum, ratio);
        loop.prepare(channels, 1);
        EXPECT_LE(loop.run({6000, 0, 6100}), 6100);
        expect_codable(*ics);
    }
    // Silence costs one zero section.
    fill_channel(*ics, std::vector<float>(1024, 0.0f), 0.01f);
    loop.prepare(channels, 1);
    EXPECT_LE(loop.run({2000, 0, 2000}), 20);
}

}  // namespace
}  // namespace brevix::aac
