#include "core/psycho.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/window.h"

namespace brevix::aac {
namespace {

constexpr float kFullScaleSpl = 92.0f;  // playback level assumed for a full-scale sine
constexpr float kQuietThresholdCapDb = 50.0f;
// A long frame's threshold is at most these multiples of the previous and next frames'
// masks (see psycho.h).
constexpr float kPreEchoRise = 2.0f;
constexpr float kPostEchoRise = 4.0f;
constexpr int kTonalityContext = 2;  // lines either side of a band: a tone's main lobe
// Long windows' least masking offset below about 1 kHz, in dB: there a band (86 Hz) holds
// only a few partials of a chord, a bass line or a voice, which the ear resolves and the
// flatness measure cannot tell from noise, and noise 5.5 dB under them is heard as
// roughness in the bass. It holds up to kLowOffsetBark and fades out over kLowOffsetFade
// Bark above (770 to 1270 Hz). Short windows, chosen for attacks, keep the plain offsets.
constexpr float kLowOffsetDb = 12.0f;
constexpr float kLowOffsetBark = 7.0f;
constexpr float kLowOffsetFade = 3.0f;
// Below kBassHz (fading out by twice that) a band holds one or two partials of a chord's
// or a bass line's fundamentals, the loudest of the sound, whose roughness a listener hears
// first; where the rate allows, the encoder asks for a stricter least offset there (see
// ModelStrictness).
constexpr float kBassHz = 200.0f;
// Forward masking between short windows (2.9 ms apart): a window's threshold is at least
// this share of the one before.
constexpr float kForwardMasking = 0.1f;
// What a short frame costs beyond its perceptual entropy, compared with a long one: side
// information for several window groups and the Huffman codes' poorer efficiency on
// short windows' coarse spectra, in bits.
constexpr float kShortWindowSideBits = 400.0f;

float bark(float hz) {
    return 13.0f * std::atan(0.00076f * hz) + 3.5f * std::atan((hz / 7500.0f) * (hz / 7500.0f));
}

// Threshold in quiet in dB SPL (Terhardt's approximation), capped at 50 dB: its steep
// rise at both ends of the range differs much between listeners (above 15 kHz above all
// with age), so the encoder does not count on it there.
float quiet_threshold_db(float hz) {
    const float khz = std::max(hz, 20.0f) / 1000.0f;
    const float db = 3.64f * std::pow(khz, -0.8f) -
                     6.5f * std::exp(-0.6f * (khz - 3.3f) * (khz - 3.3f)) +
                     0.001f * khz * khz * khz * khz;
    return std::min(db, kQuietThresholdCapDb);
}

// Schroeder's spreading function in dB; `dz` is maskee minus masker in Bark.
float spreading_db(float dz) {
    return 15.81f + 7.5f * (dz + 0.474f) - 17.5f * std::sqrt(1.0f + (dz + 0.474f) * (dz + 0.474f));
}

// Offset in dB between a masker's energy and the noise it hides: 5.5 dB for noise,
// 14.5 dB + its Bark value for a tone (tones mask noise poorly, more so higher up).
float masking_offset_db(float tonality, float bark_value) {
    return tonality * (14.5f + bark_value) + (1.0f - tonality) * 5.5f;
}

// log2 to about 0.001, from the float's exponent and a cubic in its mantissa (exact at
// 1 and 2): the flatness measure takes the log of every spectral line, where log2f()
// would cost more than the whole transform.
inline float fast_log2(float x) {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const float exponent = static_cast<float>(static_cast<int>((bits >> 23) & 0xFF) - 127);
    bits = (bits & 0x007FFFFFu) | 0x3F800000u;  // mantissa as a float in [1, 2)
    float m;
    std::memcpy(&m, &bits, sizeof m);
    const float t = m - 1.0f;
    return exponent + t * (1.4208645f + t * (-0.5772507f + t * 0.1563861f));
}

// Perceptual entropy of the lines [first, end) with energies `scale` * power[k] against a
// band threshold: each line above its share of the threshold needs about half a bit per
// doubling of its energy.
float line_entropy(const float* power, int first, int end, float threshold, float scale) {
    const float share = static_cast<float>(end - first) * scale / std::max(threshold, 1e-9f);
    float pe = 0.0f;
    for (int k = first; k < end; ++k) {
        const float r = power[k] * share;
        pe += r > 1.0f ? 0.5f * fast_log2(r) : 0.0f;
    }
    return pe;
}

}  // namespace

float band_entropy(float energy, float threshold, int lines) {
    if (energy <= threshold || threshold <= 0.0f) {
        return 0.0f;
    }
    return 0.5f * static_cast<float>(lines) * std::log2(energy / threshold);
}

PsychoModel::PsychoModel(int sample_rate, const ModelStrictness& strictness)
    : long_(long_bands(sample_rate)),
      short_(short_bands(sample_rate)),
      long_mdct_(kLongBlock),
      short_mdct_(kShortBlock) {
    init_params(long_, kFrameLength, sample_rate, kLowOffsetDb, strictness.bass_offset_db,
                long_params_);
    long_tonality_lines_ = strictness.tonality_lines;
    init_params(short_, kShortLength, sample_rate, 0.0f, 0.0f, short_params_);
}

void PsychoModel::init_params(const BandLayout& layout, int block_half, int sample_rate,
                              float low_offset_db, float bass_offset_db, BandParams& params) {
    const float hz_per_line =
        static_cast<float>(sample_rate) / (2.0f * static_cast<float>(block_half));
    // Energy of a full-scale (32768) sine over one block in this MDCT's scaling: M^2 * A^2.
    const float full_scale_energy =
        static_cast<float>(block_half) * static_cast<float>(block_half) * 32768.0f * 32768.0f;
    const int n = layout.count;
    params.count = n;
    for (int b = 0; b < n; ++b) {
        const float low = layout.offsets[b] * hz_per_line;
        const float high = layout.offsets[b + 1] * hz_per_line;
        params.bark[b] = bark(0.5f * (low + high));
        params.width[b] = bark(high) - bark(low);
        params.least_offset_db[b] = std::max(
            low_offset_db *
                std::clamp((kLowOffsetBark + kLowOffsetFade - params.bark[b]) / kLowOffsetFade,
                           0.0f, 1.0f),
            bass_offset_db *
                std::clamp((2.0f * kBassHz - 0.5f * (low + high)) / kBassHz, 0.0f, 1.0f));
        // The quietest point of the band decides: any noise there must stay below it.
        float db = quiet_threshold_db(low);
        for (int line = layout.offsets[b]; line < layout.offsets[b + 1]; ++line) {
            db = std::min(db, quiet_threshold_db((static_cast<float>(line) + 0.5f) * hz_per_line));
        }
        params.ath[b] = full_scale_energy * std::pow(10.0f, (db - kFullScaleSpl) / 10.0f);
    }
    // Masking density at z from a masker at z' is E' s(z - z'); band b collects it over
    // its width, and dividing by the integral of s makes a flat spectrum spread onto
    // itself, so the offsets keep their meaning for broadband maskers.
    for (int maskee = 0; maskee < n; ++maskee) {
        float integral = 0.0f;
        for (int masker = 0; masker < n; ++masker) {
            integral +=
                std::pow(10.0f, spreading_db(params.bark[maskee] - params.bark[masker]) / 10.0f) *
                params.width[masker];
        }
        for (int masker = 0; masker < n; ++masker) {
            params.spread[masker * n + maskee] =
                std::pow(10.0f, spreading_db(params.bark[maskee] - params.bark[masker]) / 10.0f) *
                params.width[maskee] / integral;
        }
    }
}

// Spectral flatness (geometric over arithmetic mean) of the power spectrum over each band
// and a little context: about -3 dB for noise, far lower for a line spectrum. Mapped
// linearly from -3 dB (noise, tonality 0) to -25 dB (tone, 1).
void PsychoModel::tonality(const BandLayout& layout, const float* power, int lines, int scale,
                           int least_lines, float* out) {
    for (int b = 0; b < layout.count; ++b) {
        const int width = (layout.offsets[b + 1] - layout.offsets[b]) * scale;
        const int context = std::max(kTonalityContext, (least_lines - width) / 2);
        const int first = std::max(0, layout.offsets[b] * scale - context);
        const int end = std::min(lines, layout.offsets[b + 1] * scale + context);
        float log_sum = 0.0f;
        float sum = 0.0f;
        for (int k = first; k < end; ++k) {
            const float p = power[k] + 1.0f;
            log_sum += fast_log2(p);
            sum += p;
        }
        const float count = static_cast<float>(end - first);
        const float flatness_db = 3.0103f * (log_sum / count - fast_log2(sum / count));
        out[b] = std::clamp((flatness_db + 3.0f) / -22.0f, 0.0f, 1.0f);
    }
}

// Each line is predicted from the two frames before: its level continued in a straight
// line and its phase turned by the step it last took. The band's steadiness is one minus
// its power-weighted prediction error |x - p| / (|x| + |p|), scaled so that noise (whose
// error averages about 0.7) comes out near 0.
void PsychoModel::steadiness(const float* re, const float* im, float* power, float* out) {
    constexpr float kNoiseError = 0.6f;
    float* const r1 = past_re_[0];
    float* const i1 = past_im_[0];
    float* const m1 = past_magnitude_[0];
    float* const r2 = past_re_[1];
    float* const i2 = past_im_[1];
    float* const m2 = past_magnitude_[1];
    // Per line, in one pass the compiler can vectorise: the prediction p = level u1 (u1
    // conj(u2)), with u1, u2 the unit phasors of the last two frames, is level u1^2 conj(u2)
    // = level / (m1^2 m2) (r1 + i i1)^2 (r2 - i i2); the magnitudes come from the frames
    // before.
    for (int k = 0; k < kFrameLength; ++k) {
        power[k] = re[k] * re[k] + im[k] * im[k];
        const float m = std::sqrt(power[k]);
        const float level = std::max(0.0f, 2.0f * m1[k] - m2[k]);
        const float scale = level / std::max(m1[k] * m1[k] * m2[k], 1e-30f);
        const float sr = r1[k] * r1[k] - i1[k] * i1[k];
        const float si = 2.0f * r1[k] * i1[k];
        const float dr = re[k] - scale * (sr * r2[k] + si * i2[k]);
        const float di = im[k] - scale * (si * r2[k] - sr * i2[k]);
        // Computed for every line and then chosen, so the loop has no branch.
        const float predicted = std::sqrt(dr * dr + di * di) / std::max(m + level, 1e-20f);
        const bool known = (m1[k] > 0.0f) & (m2[k] > 0.0f);
        const float error = known ? predicted : 1.0f;
        line_weighted_[k] = power[k] * error;
        line_magnitude_[k] = m;
    }
    for (int b = 0; b < long_.count; ++b) {
        float weighted = 0.0f;
        float total = 0.0f;
        for (int k = long_.offsets[b]; k < long_.offsets[b + 1]; ++k) {
            weighted += line_weighted_[k];
            total += power[k];
        }
        const float mean_error = total > 0.0f ? weighted / total : 1.0f;
        out[b] = std::clamp(1.0f - mean_error / kNoiseError, 0.0f, 1.0f);
    }
    std::copy(r1, r1 + kFrameLength, r2);
    std::copy(i1, i1 + kFrameLength, i2);
    std::copy(m1, m1 + kFrameLength, m2);
    std::copy(re, re + kFrameLength, r1);
    std::copy(im, im + kFrameLength, i1);
    std::copy(line_magnitude_, line_magnitude_ + kFrameLength, m1);
}

void PsychoModel::spread(const BandParams& params, const float* energy, const float* tonality,
                         float* threshold) {
    const int n = params.count;
    float lowered[kMaxLongBands];
    for (int b = 0; b < n; ++b) {
        const float offset =
            std::max(masking_offset_db(tonality[b], params.bark[b]), params.least_offset_db[b]);
        lowered[b] = energy[b] * std::pow(10.0f, -offset / 10.0f);
    }
    for (int maskee = 0; maskee < n; ++maskee) {
        threshold[maskee] = 0.0f;
    }
    for (int masker = 0; masker < n; ++masker) {
        const float* row = params.spread + masker * n;
        const float e = lowered[masker];
        for (int maskee = 0; maskee < n; ++maskee) {
            threshold[maskee] += e * row[maskee];
        }
    }
    for (int b = 0; b < n; ++b) {
        threshold[b] = std::max(threshold[b], params.ath[b]);
    }
}

void PsychoModel::short_energies(const float* power, float scale, float* energy) const {
    for (int w = 0; w < kNumShortWindows; ++w) {
        const float* p = power + w * kShortLength;
        float* e = energy + w * kMaxShortBands;
        for (int b = 0; b < short_.count; ++b) {
            float sum = 0.0f;
            for (int k = short_.offsets[b]; k < short_.offsets[b + 1]; ++k) {
                sum += p[k];
            }
            e[b] = scale * sum;
        }
    }
}

void PsychoModel::short_thresholds(const float* energy, const float* tonal,
                                   float* threshold) const {
    for (int w = 0; w < kNumShortWindows; ++w) {
        const float* e = energy + w * kMaxShortBands;
        float* t = threshold + w * kMaxShortBands;
        spread(short_params_, e, tonal, t);
        if (w > 0) {
            const float* before = t - kMaxShortBands;
            for (int b = 0; b < short_.count; ++b) {
                t[b] = std::max(t[b], kForwardMasking * before[b]);
            }
        }
    }
}

// As for long windows, the short windows' energies come from MDCT and MDST: from the MDCT
// alone a steady tone's energy would flicker from window to window with its phase, and the
// quietest window would look far quieter than it is.
float PsychoModel::short_window_entropy(const float* samples, const float* tonal, float* min_mask) {
    float mdst[kShortLength];
    for (int w = 0; w < kNumShortWindows; ++w) {
        window_short_block(samples, w, WindowShape::kKbd, WindowShape::kKbd, windowed_);
        float* p = short_power_ + w * kShortLength;
        short_mdct_.forward(windowed_, p);
        short_mdct_.forward_mdst(windowed_, mdst);
        for (int k = 0; k < kShortLength; ++k) {
            p[k] = p[k] * p[k] + mdst[k] * mdst[k];
        }
    }
    short_energies(short_power_, 0.5f, short_energy_);
    short_thresholds(short_energy_, tonal, short_threshold_);
    float pe = 0.0f;
    for (int b = 0; b < short_.count; ++b) {
        min_mask[b] = 1e30f;
    }
    for (int w = 0; w < kNumShortWindows; ++w) {
        const float* p = short_power_ + w * kShortLength;
        const float* t = short_threshold_ + w * kMaxShortBands;
        for (int b = 0; b < short_.count; ++b) {
            min_mask[b] = std::min(min_mask[b], t[b]);
            pe += line_entropy(p, short_.offsets[b], short_.offsets[b + 1], t[b], 0.5f);
        }
    }
    return pe;
}

void PsychoModel::analyze(const float* samples, Analysis& out) {
    const float* rise = long_rising_half(WindowShape::kSine);
    for (int n = 0; n < kFrameLength; ++n) {
        windowed_[n] = samples[n] * rise[n];
        windowed_[kLongBlock - 1 - n] = samples[kLongBlock - 1 - n] * rise[n];
    }
    long_mdct_.forward(windowed_, out.spectrum);
    long_mdct_.forward_mdst(windowed_, mdst_);
    steadiness(out.spectrum, mdst_, out.power, out.steadiness);
    tonality(long_, out.power, kFrameLength, 1, long_tonality_lines_, out.tonality);
    // Half the summed power: the MDCT's expected share, steady from frame to frame.
    float steady[kMaxLongBands];
    for (int b = 0; b < long_.count; ++b) {
        float p = 0.0f;
        for (int k = long_.offsets[b]; k < long_.offsets[b + 1]; ++k) {
            p += out.power[k];
        }
        steady[b] = 0.5f * p;
    }
    spread(long_params_, steady, out.tonality, out.mask);

    // Long or short windows? A long window spreads its noise over the whole frame, so
    // it must stay below the mask of the frame's quietest part (the smallest short-window
    // mask, times 64 for the long transform's 8 x more lines at 8 x the block length).
    constexpr int kRatio = kFrameLength / kShortLength;
    float short_tonal[kMaxShortBands];
    tonality(short_, out.power, kFrameLength, kRatio, 0, short_tonal);
    float min_mask[kMaxShortBands];
    const float pe_short = short_window_entropy(samples, short_tonal, min_mask);
    float pe_long = 0.0f;
    int short_band = 0;
    for (int b = 0; b < long_.count; ++b) {
        const int centre = (long_.offsets[b] + long_.offsets[b + 1]) / 2;
        while (short_band + 1 < short_.count && short_.offsets[short_band + 1] * kRatio <= centre) {
            ++short_band;
        }
        const float limit = std::min(out.mask[b], float{kRatio * kRatio} * min_mask[short_band]);
        pe_long += line_entropy(out.power, long_.offsets[b], long_.offsets[b + 1], limit, 0.5f);
    }
    out.wants_short = pe_short + kShortWindowSideBits < pe_long;
}

void PsychoModel::look_ahead(const float* span) {
    if (!started_) {
        analyze(span, analyses_[current_]);
        analyses_[previous_] = analyses_[current_];
        started_ = true;
    }
    const int oldest = previous_;
    previous_ = current_;
    current_ = next_;
    next_ = oldest;
    analyze(span + kFrameLength, analyses_[next_]);
}

void PsychoModel::analyze_long(const float* spectrum, float* energy, float* threshold,
                               float* weight) {
    const Analysis& previous = analyses_[previous_];
    const Analysis& current = analyses_[current_];
    const Analysis& next = analyses_[next_];
    for (int b = 0; b < long_.count; ++b) {
        float e = 0.0f;
        for (int k = long_.offsets[b]; k < long_.offsets[b + 1]; ++k) {
            e += spectrum[k] * spectrum[k];
        }
        energy[b] = e;
        const float limit = std::min(kPreEchoRise * previous.mask[b], kPostEchoRise * next.mask[b]);
        threshold[b] = std::max(std::min(current.mask[b], limit), long_params_.ath[b]);
        weight[b] = long_params_.width[b];
    }
}

void PsychoModel::analyze_short(const float* spectrum, float* energy, float* threshold,
                                float* weight) {
    float* const tonal = short_tonality_;
    tonality(short_, analyses_[current_].power, kFrameLength, kFrameLength / kShortLength, 0,
             tonal);
    for (int b = 0; b < short_.count; ++b) {
        weight[b] = short_params_.width[b];
    }
    for (int k = 0; k < kFrameLength; ++k) {
        short_power_[k] = spectrum[k] * spectrum[k];
    }
    short_energies(short_power_, 1.0f, energy);
    short_thresholds(energy, tonal, threshold);
    // Noise in the loudest windows is still heard against the frame as a whole: no window's
    // threshold exceeds the frame's mean. (Otherwise an attack's own window would get
    // eight times the noise the frame's masking allows.)
    for (int b = 0; b < short_.count; ++b) {
        float mean = 0.0f;
        for (int w = 0; w < kNumShortWindows; ++w) {
            mean += threshold[w * kMaxShortBands + b] / kNumShortWindows;
        }
        for (int w = 0; w < kNumShortWindows; ++w) {
            threshold[w * kMaxShortBands + b] = std::min(threshold[w * kMaxShortBands + b], mean);
        }
    }
}

}  // namespace brevix::aac
