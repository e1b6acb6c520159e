// The benchmark's measures on signals whose answer is known: noise far below a noisy
// masker, noise raised by a known amount, the threshold in quiet, and the delay of a
// decoding.
#include <cmath>
#include <vector>

#include "support.h"

namespace brevix::bench {
namespace {

using test::white_noise;

std::vector<float> plus(std::vector<float> a, const std::vector<float>& b, float gain = 1.0f) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] += gain * b[i];
    }
    return a;
}

NmrSummary nmr(const std::vector<float>& source, const std::vector<float>& decoded) {
    const NmrMeter meter(44100);
    return summarize({meter.noise_to_mask(source, meter.masking(source), decoded, 0)});
}

TEST(NoiseToMaskRatio, FollowsTheNoiseInDecibelsAgainstTheMaskOrTheThresholdInQuiet) {
    const std::size_t n = 20 * 1024;
    const std::vector<float> source = white_noise(n, 3000.0f, 1);
    const std::vector<float> error = white_noise(n, 30.0f, 2);
    // White noise 40 dB below a white masker: far below the 5.5 dB a noise masker hides.
    const NmrSummary quiet = nmr(source, plus(source, error));
    EXPECT_LT(quiet.mean_db, -25.0);
    EXPECT_GT(quiet.mean_db, -45.0);
    EXPECT_GE(quiet.worst_db, quiet.mean_db);
    EXPECT_EQ(quiet.frames, (n - 2048) / 1024 + 1);
    const NmrSummary loud = nmr(source, plus(source, error, std::sqrt(10.0f)));
    EXPECT_NEAR(loud.mean_db - quiet.mean_db, 10.0, 0.01);
    EXPECT_NEAR(loud.worst_db - quiet.worst_db, 10.0, 0.01);
    // A decoding that stops halfway: about half the frames are pure loss.
    EXPECT_GT(nmr(source, std::vector<float>(source.begin(), source.begin() + n / 2)).mean_db, 0.0);
    // Half a 16-bit step of noise in silence is inaudible; noise at -50 dBFS is not.
    const std::vector<float> silence(n, 0.0f);
    EXPECT_LT(nmr(silence, white_noise(n, 0.5f, 7)).mean_db, -5.0);
    EXPECT_GT(nmr(silence, white_noise(n, 100.0f, 8)).mean_db, 10.0);
}

// A 1 kHz tone and white noise with the same energy in the tone's band, and the same error
// in both: noise hides noise 5.5 dB below it, a pure tone far less, and a tone's mask does
// not gain from neighbouring bands the way broadband noise's does.
TEST(NoiseToMaskRatio, ATonalMaskerHidesLessThanANoisyOne) {
    const std::size_t n = 20 * 1024;
    const NmrMeter meter(44100);
    int band = 0;
    while (meter.band_centre_hz(band + 1) < 1000.0) {
        ++band;
    }
    const auto band_nmr_db = [&](const std::vector<float>& source) {
        std::vector<double> sums(static_cast<std::size_t>(meter.band_count()));
        const MaskingCurve mask = meter.masking(source);
        meter.noise_to_mask(source, mask, plus(source, white_noise(n, 2.0f, 5)), 0, &sums);
        return 10.0 * std::log10(sums[band] / static_cast<double>(mask.frames()));
    };
    const auto band_level = [&](const std::vector<float>& x) {
        std::vector<double> energy(static_cast<std::size_t>(meter.band_count()));
        meter.band_energy(x.data() + 4096, energy.data());
        return energy[band];
    };
    const std::vector<float> tone = test::pure_tone(n, 1000.0, 3000.0);
    std::vector<float> hiss = white_noise(n, 1.0f, 6);
    const float gain = static_cast<float>(std::sqrt(band_level(tone) / band_level(hiss)));
    hiss = plus(std::vector<float>(n, 0.0f), hiss, gain);
    EXPECT_GT(band_nmr_db(tone) - band_nmr_db(hiss), 10.0);
    EXPECT_LT(band_nmr_db(tone) - band_nmr_db(hiss), 25.0);
}

TEST(Alignment, FindsTheDelayOfADecoding) {
    // A chord with a beat: periodic enough to have secondary peaks, which must lose.
    const test::Signal chord =
        test::add(test::sine(220, 5000, 40000), test::sine(331, 3000, 40000));
    const std::vector<float> source =
        plus({chord.begin(), chord.end()}, white_noise(40000, 300.0, 10));
    for (int delay : {0, 1024, 1024 + 37, 2112}) {
        std::vector<float> decoded(static_cast<std::size_t>(delay), 0.0f);
        decoded.insert(decoded.end(), source.begin(), source.end());
        EXPECT_EQ(find_lag(source, decoded, 4096), delay);
    }
}

}  // namespace
}  // namespace brevix::bench
