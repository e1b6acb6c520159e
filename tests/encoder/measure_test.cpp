// The benchmark's measures on signals whose answer is known: noise far below a noisy
// masker, noise raised by a known amount, the threshold in quiet, the delay of a
// decoding, and what a listener hears at once (a gap, an anti-phase image lost, noise
// between partials).
#include <cmath>
#include <vector>

#include "bench/listening.h"
#include "bench/spectral_measures.h"
#include "bench/stream_stats.h"
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

// A decoding that is other noise of the same spectrum: pure loss by waveform, close to
// the source in the cells judged by their energy.
TEST(NoiseToMaskRatio, CellsJudgedByEnergyIgnoreTheWaveform) {
    const std::size_t n = 20 * 1024;
    const NmrMeter meter(44100);
    const std::vector<float> source = white_noise(n, 3000.0f, 1);
    const std::vector<float> other = white_noise(n, 3000.0f, 2);
    const MaskingCurve mask = meter.masking(source);
    const std::vector<std::uint8_t> all(mask.threshold.size(), 1);
    const double wave = summarize({meter.noise_to_mask(source, mask, other, 0)}).mean_db;
    const double energy =
        summarize({meter.noise_to_mask(source, mask, other, 0, nullptr, &all)}).mean_db;
    EXPECT_GT(wave, 5.0);
    EXPECT_LT(energy, wave - 5.0);
    EXPECT_EQ(summarize({meter.noise_to_mask(source, mask, source, 0, nullptr, &all)}).mean_db,
              -300.0);
}

TEST(SpectralMeasures, BandwidthHolesAndPreEchoGiveKnownAnswers) {
    const std::size_t n = 40 * 1024;
    const std::vector<float> low =
        plus(test::pure_tone(n, 1000.0, 3000.0), test::pure_tone(n, 9000.0, 3000.0));
    const std::vector<float> source = plus(low, test::pure_tone(n, 15000.0, 3000.0));
    // Just above the highest tone kept (the window's leakage reaches a few steps further).
    for (const double top : {9000.0, 15000.0}) {
        const double bw = decoded_bandwidth_hz({source}, {top < 10000 ? low : source}, 0, 44100);
        EXPECT_GT(bw, top);
        EXPECT_LT(bw, top + 600.0);
    }
    // 9 dB down is no hole, 11 dB down is; a decoding that stops halfway has half.
    const std::vector<float> noise = white_noise(n, 3000.0f, 1);
    const std::vector<float> none(n, 0.0f);
    EXPECT_EQ(hole_share({noise}, {plus(none, noise, 0.355f)}, 0, 44100, 4000.0, 16000.0), 0.0);
    EXPECT_EQ(hole_share({noise}, {plus(none, noise, 0.28f)}, 0, 44100, 4000.0, 16000.0), 1.0);
    const std::vector<float> half(noise.begin(), noise.begin() + n / 2);
    EXPECT_NEAR(hole_share({noise}, {half}, 0, 44100, 4000.0, 16000.0), 0.5, 0.03);
    // Clicks every 8000 samples from 4000 on; noise in the 5 ms before each counts, 10 dB
    // more of it counts 10 dB more, and noise after them does not count.
    const std::vector<float> clicks = test::as_16_bit(test::clicks(int(n), 44100, 8000));
    const std::vector<std::size_t> onsets = find_onsets({clicks}, 44100);
    ASSERT_EQ(onsets.size(), (n - 4000 + 7999) / 8000);
    std::vector<float> before = clicks, louder = clicks, after = clicks;
    for (std::size_t i = 0; i < onsets.size(); ++i) {
        EXPECT_NEAR(double(onsets[i]), 4000.0 + 8000.0 * double(i), 64.0);
        for (std::size_t k = 0; k < 220; ++k) {
            before[onsets[i] - 220 + k] += noise[k];
            louder[onsets[i] - 220 + k] += std::sqrt(10.0f) * noise[k];
            after[onsets[i] + k] += noise[k];
        }
    }
    const PreEcho p = pre_echo({clicks}, {before}, 0, onsets, 44100);
    EXPECT_EQ(p.onsets, onsets.size());
    EXPECT_NEAR(pre_echo({clicks}, {louder}, 0, onsets, 44100).db - p.db, 10.0, 0.01);
    EXPECT_LT(pre_echo({clicks}, {after}, 0, onsets, 44100).db, p.db - 100.0);
}

// A stream made by hand: frame 1 codes its upper short-window bands as noise, in eight
// short windows of one group; no other frame codes noise.
TEST(Listening, DropoutsImageLowBandAndFloorGiveKnownAnswers) {
    const std::size_t n = 40 * 1024;
    const std::vector<float> a = white_noise(n, 3000.0f, 5);
    const std::vector<float> b = white_noise(n, 3000.0f, 6);
    std::vector<float> minus_a = a;
    for (float& v : minus_a) {
        v = -v;
    }
    // A 10 ms gap in the right channel of a decoding delayed by 100 samples: one event of
    // the two whole blocks in it (of those it cuts short, less than 20 dB is lost).
    std::vector<float> late(100, 0.0f);
    late.insert(late.end(), a.begin(), a.end());
    Channels decoded = {late, late};
    std::fill(decoded[1].begin() + 20100, decoded[1].begin() + 20541, 0.0f);
    const Dropouts d = find_dropouts({a, a}, decoded, 100, 44100);
    EXPECT_EQ(d.events, 1);
    EXPECT_NEAR(d.longest_ms, 2 * 128 / 44.1, 0.01);
    EXPECT_EQ(d.worst_channel, 1u);
    EXPECT_EQ(find_dropouts({white_noise(n, 200.0f, 5)}, {std::vector<float>(n)}, 0, 44100).events,
              0)
        << "below -40 dBFS";
    // Anti-phase noise decoded as unrelated noise: correlation -1 becomes 0.
    const Image image = stereo_image({a, minus_a}, {a, b}, 0, 44100);
    EXPECT_NEAR(image.source[0], -1.0, 1e-3);
    EXPECT_NEAR(image.error, 1.0, 0.05);
    EXPECT_NEAR(stereo_image({a, minus_a}, {a, minus_a}, 0, 44100).error, 0.0, 1e-6);
    // Noise 20 dB down is 20 dB of SNR below 4 kHz; a decoding equal to its source raises
    // no floor, one with noise added in the valleys does.
    const std::vector<double> snr = low_band_snr({a}, {plus(a, b, 0.1f)}, 0, 44100);
    EXPECT_NEAR(snr[0], 20.0, 1.5);
    std::vector<float> partials(n, 0.0f);
    for (std::size_t i = 0; i < n; ++i) {
        for (int h = 10; h < 45; ++h) {
            partials[i] +=
                300.0f * static_cast<float>(std::sin(2.0 * 3.14159265 * 220.0 * h * i / 44100));
        }
    }
    EXPECT_NEAR(floor_between_partials({partials}, {partials}, 0, 44100)[0], 0.0, 1e-6);
    EXPECT_GT(floor_between_partials({partials}, {plus(partials, b, 0.1f)}, 0, 44100)[0], 10.0);
    EXPECT_TRUE(std::isnan(floor_between_partials({a}, {plus(a, b, 0.1f)}, 0, 44100)[0]))
        << "noise has no partials, only chance valleys";
}

TEST(StreamStats, ToolSharesAndSubstitutedCellsFollowTheStream) {
    AacStream s;
    for (int j = 0; j < 5; ++j) {
        ChannelStream c;
        c.window_sequence = j == 1 ? 2 : 0;
        c.max_sfb = j == 1 ? 14 : 49;
        c.group_length = {j == 1 ? 8 : 1};
        c.book.assign(static_cast<std::size_t>(c.max_sfb), 1);
        std::fill(c.book.begin() + (j == 1 ? 8 : 49), c.book.end(), kNoiseBook);
        c.predictor_data_present = j == 0;
        c.prediction_used.assign(j == 0 ? 40 : 0, 1);
        c.tns_order = j == 2 ? std::vector<int>{0, 3} : std::vector<int>{0};
        s.frames.push_back({{Element{0, 0, false, 0, {}, {c}}}, j == 4 ? 10 : 0, 0, 100, 0});
    }
    const ToolUse use = tool_use(s);
    EXPECT_DOUBLE_EQ(use.fill, 0.02);
    EXPECT_DOUBLE_EQ(use.tns, 0.2);
    EXPECT_DOUBLE_EQ(use.noise, (128 - 44) * 8 / 5120.0);
    EXPECT_DOUBLE_EQ(use.predicted, aac::tables::kSwbOffsetsLong44100[40] / 5120.0);
    EXPECT_EQ(use.intensity, 0.0);
    // Frame 1 owns the middle of the meter's frame 0 at lag 1024 (of its frame 1 at lag 0):
    // there the bands above short line 44 (bin 352) are substituted, elsewhere nothing.
    const NmrMeter meter(44100);
    const auto bands = static_cast<std::size_t>(meter.band_count());
    for (const int lag : {1024, 0}) {
        const std::vector<std::uint8_t> cells = substituted_cells(s, 0, meter, 3, lag);
        const std::size_t noisy = lag == 1024 ? 0 : 1;
        for (std::size_t f = 0; f < 3; ++f) {
            for (int b = 0; b < meter.band_count(); ++b) {
                if (meter.band_first(b) >= 352 || meter.band_end(b) <= 352) {
                    EXPECT_EQ(cells[f * bands + std::size_t(b)],
                              f == noisy && meter.band_first(b) >= 352 ? 1 : 0)
                        << "lag " << lag << " frame " << f << " band " << b;
                }
            }
        }
    }
}

}  // namespace
}  // namespace brevix::bench
