// The benchmark's quality measure on signals whose answer is known: noise far below the
// mask, noise raised by a known amount, tonal against noisy maskers, the threshold in
// quiet, and the alignment of a delayed decoding.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "bench/nmr.h"

namespace brevix::bench {
namespace {

constexpr int kRate = 44100;
const double kPi = std::acos(-1.0);

std::vector<float> noise(std::size_t n, float rms, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<float> dist(0.0f, rms);
    std::vector<float> x(n);
    for (float& v : x) {
        v = dist(random);
    }
    return x;
}

std::vector<float> tone(std::size_t n, double hz, float amplitude) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = amplitude *
               static_cast<float>(std::sin(2.0 * kPi * hz * static_cast<double>(i) / kRate));
    }
    return x;
}

std::vector<float> plus(const std::vector<float>& a, const std::vector<float>& b,
                        float gain = 1.0f) {
    std::vector<float> sum(a);
    for (std::size_t i = 0; i < sum.size(); ++i) {
        sum[i] += gain * b[i];
    }
    return sum;
}

// Mean NMR in dB of `decoded` (not delayed) against `source`.
double mean_nmr(const std::vector<float>& source, const std::vector<float>& decoded) {
    const NmrMeter meter(kRate);
    const MaskingCurve mask = meter.masking(source);
    return summarize({meter.noise_to_mask(source, mask, decoded, 0)}).mean_db;
}

TEST(NoiseToMaskRatio, NoiseFarBelowTheSignalIsMasked) {
    const std::size_t n = 20 * 1024;
    const std::vector<float> source = noise(n, 3000.0f, 1);
    // White noise 40 dB below a white masker: far below the 5.5 dB a noise masker hides.
    const double nmr = mean_nmr(source, plus(source, noise(n, 30.0f, 2)));
    EXPECT_LT(nmr, -25.0);
    EXPECT_GT(nmr, -45.0);
}

TEST(NoiseToMaskRatio, MoreNoiseRaisesTheRatioByTheSameDecibels) {
    const std::size_t n = 20 * 1024;
    const std::vector<float> source = plus(noise(n, 2000.0f, 3), tone(n, 440.0, 8000.0f));
    const std::vector<float> error = noise(n, 100.0f, 4);
    const NmrMeter meter(kRate);
    const MaskingCurve mask = meter.masking(source);
    const NmrSummary quiet = summarize({meter.noise_to_mask(source, mask, plus(source, error), 0)});
    const NmrSummary loud =
        summarize({meter.noise_to_mask(source, mask, plus(source, error, std::sqrt(10.0f)), 0)});
    EXPECT_NEAR(loud.mean_db - quiet.mean_db, 10.0, 0.01);
    EXPECT_NEAR(loud.worst_db - quiet.worst_db, 10.0, 0.01);
    EXPECT_GE(quiet.worst_db, quiet.mean_db);
    EXPECT_EQ(quiet.frames, (n - 2048) / 1024 + 1);
}

// Mean noise-to-mask ratio (dB) in band `band` alone.
double band_nmr(const NmrMeter& meter, const std::vector<float>& source,
                const std::vector<float>& decoded, int band) {
    std::vector<double> sums(static_cast<std::size_t>(meter.band_count()), 0.0);
    const MaskingCurve mask = meter.masking(source);
    meter.noise_to_mask(source, mask, decoded, 0, &sums);
    return 10.0 *
           std::log10(sums[static_cast<std::size_t>(band)] / static_cast<double>(mask.frames()));
}

// Mean energy of band `band` over the frames of `x`.
double band_level(const NmrMeter& meter, const std::vector<float>& x, int band) {
    std::vector<double> energy(static_cast<std::size_t>(meter.band_count()));
    double sum = 0.0;
    int frames = 0;
    for (std::size_t start = 0; start + 2048 <= x.size(); start += 1024, ++frames) {
        meter.band_energy(x.data() + start, energy.data());
        sum += energy[static_cast<std::size_t>(band)];
    }
    return sum / frames;
}

TEST(NoiseToMaskRatio, ATonalMaskerHidesLessThanANoisyOne) {
    const std::size_t n = 20 * 1024;
    const NmrMeter meter(kRate);
    int band = 0;
    while (meter.band_centre_hz(band + 1) < 1000.0) {
        ++band;
    }
    // A 1 kHz tone and white noise with the same energy in the tone's band; the same
    // error in both. Noise hides noise 5.5 dB below it, a pure tone only (14.5 + 8.5) dB
    // below (the flatness measure sees a lone tone in a narrow band as about half tonal),
    // and a tone's mask does not gain from neighbouring bands the way broadband noise does.
    const std::vector<float> sine = tone(n, 1000.0, 3000.0f);
    std::vector<float> hiss = noise(n, 1.0f, 6);
    const double gain = std::sqrt(band_level(meter, sine, band) / band_level(meter, hiss, band));
    for (float& v : hiss) {
        v *= static_cast<float>(gain);
    }
    const std::vector<float> error = noise(n, 2.0f, 5);
    const double tonal = band_nmr(meter, sine, plus(sine, error), band);
    const double noisy = band_nmr(meter, hiss, plus(hiss, error), band);
    EXPECT_GT(tonal - noisy, 10.0);
    EXPECT_LT(tonal - noisy, 25.0);
}

TEST(NoiseToMaskRatio, TheThresholdInQuietHidesNoiseInSilence) {
    const std::size_t n = 20 * 1024;
    const std::vector<float> silence(n, 0.0f);
    // Half a 16-bit step of white noise is inaudible at any sane playback level...
    EXPECT_LT(mean_nmr(silence, noise(n, 0.5f, 7)), -5.0);
    // ...noise at -50 dBFS in silence is clearly audible.
    EXPECT_GT(mean_nmr(silence, noise(n, 100.0f, 8)), 10.0);
}

TEST(NoiseToMaskRatio, SilentFramesAndMissingSamplesCountAsNoise) {
    const std::size_t n = 10 * 1024;
    const std::vector<float> source = noise(n, 1000.0f, 9);
    // A decoding that stops halfway misses half the signal: about half the frames are
    // pure loss (the signal above its own mask by the masking offset).
    const std::vector<float> half(source.begin(),
                                  source.begin() + static_cast<std::ptrdiff_t>(n / 2));
    EXPECT_GT(mean_nmr(source, half), 0.0);
    EXPECT_LT(mean_nmr(source, source), -100.0);
}

TEST(Alignment, FindsTheDelayOfADecoding) {
    const std::size_t n = 40000;
    // A chord with a beat: periodic enough to have secondary peaks, which must lose.
    std::vector<float> source = plus(tone(n, 220.0, 5000.0f), tone(n, 331.0, 3000.0f));
    source = plus(source, noise(n, 300.0f, 10));
    for (int delay : {0, 1024, 1024 + 37, 2112}) {
        std::vector<float> decoded(static_cast<std::size_t>(delay), 0.0f);
        decoded.insert(decoded.end(), source.begin(), source.end());
        EXPECT_EQ(find_lag(source, decoded, 4096), delay);
    }
    EXPECT_GT(snr_db(source, source, 0), 100.0);
}

}  // namespace
}  // namespace brevix::bench
