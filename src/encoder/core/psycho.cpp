#include "core/psycho.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace brevix::aac {
namespace {

constexpr float kSpreadUpDbPerBark = 15.0f;    // masking towards higher frequencies
constexpr float kSpreadDownDbPerBark = 27.0f;  // masking towards lower frequencies
constexpr float kNoiseMaskingDb = 6.0f;        // noise masker: noise this far below is hidden
constexpr float kToneMaskingBaseDb = 18.0f;    // tonal masker: 18 dB + Bark below
constexpr float kFullScaleSpl = 96.0f;         // playback level assumed for a full-scale sine
constexpr float kPreEchoRise = 2.0f;           // threshold may at most double per long frame

float bark(float hz) {
    return 13.0f * std::atan(0.00076f * hz) + 3.5f * std::atan((hz / 7500.0f) * (hz / 7500.0f));
}

// Threshold in quiet in dB SPL (Terhardt's approximation), floored to keep it sane at the
// band edges.
float quiet_threshold_db(float hz) {
    const float khz = std::max(hz, 20.0f) / 1000.0f;
    const float db = 3.64f * std::pow(khz, -0.8f) -
                     6.5f * std::exp(-0.6f * (khz - 3.3f) * (khz - 3.3f)) +
                     0.001f * khz * khz * khz * khz;
    return std::min(db, 120.0f);
}

// Offset in dB between the spread masker and the threshold, by tonality 0..1: noise must
// stay further below a tone than below noise, more so at higher frequencies.
float masking_offset_db(float tonality, float bark_value) {
    return tonality * (kToneMaskingBaseDb + 0.5f * bark_value) +
           (1.0f - tonality) * kNoiseMaskingDb;
}

}  // namespace

float band_entropy(float energy, float threshold, int lines) {
    if (energy <= threshold || threshold <= 0.0f) {
        return 0.0f;
    }
    return 0.5f * static_cast<float>(lines) * std::log2(energy / threshold);
}

PsychoModel::PsychoModel(int sample_rate)
    : long_(long_bands(sample_rate)), short_(short_bands(sample_rate)) {
    init_params(long_, kFrameLength, sample_rate, long_params_);
    for (int b = 0; b < long_.count; ++b) {
        for (int k = long_.offsets[b]; k < long_.offsets[b + 1]; ++k) {
            line_band_[k] = static_cast<std::uint8_t>(b);
        }
    }
    init_params(short_, kShortLength, sample_rate, short_params_);
    std::fill(std::begin(previous_threshold_), std::end(previous_threshold_), 0.0f);
}

void PsychoModel::init_params(const BandLayout& layout, int block_half, int sample_rate,
                              BandParams& params) {
    const float hz_per_line = static_cast<float>(sample_rate) / (2.0f * block_half);
    // Energy of a full-scale (32768) sine over one block in this MDCT's scaling: M^2 * A^2.
    const float full_scale_energy =
        static_cast<float>(block_half) * static_cast<float>(block_half) * 32768.0f * 32768.0f;
    for (int b = 0; b < layout.count; ++b) {
        const float low = layout.offsets[b] * hz_per_line;
        const float high = layout.offsets[b + 1] * hz_per_line;
        params.bark[b] = bark(0.5f * (low + high));
        // The quietest point of the band decides: any noise there must stay below it.
        float db = quiet_threshold_db(low);
        for (int line = layout.offsets[b]; line < layout.offsets[b + 1]; ++line) {
            db = std::min(db, quiet_threshold_db((line + 0.5f) * hz_per_line));
        }
        params.ath[b] = full_scale_energy * std::pow(10.0f, (db - kFullScaleSpl) / 10.0f);
    }
    for (int b = 0; b < layout.count; ++b) {
        params.spread_up[b] =
            b == 0 ? 0.0f
                   : std::pow(10.0f,
                              -kSpreadUpDbPerBark * (params.bark[b] - params.bark[b - 1]) / 10.0f);
        params.spread_down[b] =
            b + 1 >= layout.count
                ? 0.0f
                : std::pow(10.0f,
                           -kSpreadDownDbPerBark * (params.bark[b + 1] - params.bark[b]) / 10.0f);
    }
}

// Spreads masking densities across bands in two recursive passes (each band receives the
// exponentially decaying sum of all lower resp. higher bands) and floors the result with
// the threshold in quiet.
void PsychoModel::spread(const BandLayout& layout, const BandParams& params, const float* energy,
                         const float* tonality, float* threshold) const {
    // Each band masks with its energy lowered by its own offset: a tonal masker hides far
    // less noise, in its own band and in its neighbours, than a noise-like one.
    float density[kMaxLongBands];
    float upward[kMaxLongBands];
    const int n = layout.count;
    for (int b = 0; b < n; ++b) {
        const float offset_db = masking_offset_db(tonality ? tonality[b] : 0.0f, params.bark[b]);
        density[b] =
            energy[b] / static_cast<float>(layout.width(b)) * std::pow(10.0f, -offset_db / 10.0f);
    }
    float carry = 0.0f;
    for (int b = 0; b < n; ++b) {
        carry = density[b] + params.spread_up[b] * carry;
        upward[b] = carry;
    }
    carry = 0.0f;
    for (int b = n - 1; b >= 0; --b) {
        carry = density[b] + params.spread_down[b] * carry;
        const float spread_density = upward[b] + carry - density[b];
        threshold[b] =
            std::max(spread_density * static_cast<float>(layout.width(b)), params.ath[b]);
    }
}

float PsychoModel::analyze_long(const float* spectrum, float* energy, float* threshold) {
    const BandLayout& layout = long_;
    // Line energies summed over two frames: the MDCT of a steady tone flickers with its
    // phase, the sum of two frames is steadier.
    for (int k = 0; k < kFrameLength; ++k) {
        const float e = spectrum[k] * spectrum[k];
        const float smoothed = e + previous_spectrum_[k] * previous_spectrum_[k] + 1e-3f;
        smoothed_energy_[k] = smoothed;
        previous_spectrum_[k] = spectrum[k];
    }
    // Tonality per band: the share of its energy that sits in spectral peaks (a local
    // maximum at least 6 dB above the mean of the lines three away, counted with the two
    // lines on either side). A steady tone keeps its peak in the two-frame sum; noise rarely
    // forms such peaks.
    float tonal_energy[kMaxLongBands] = {};
    for (int k = 4; k < kFrameLength - 4; ++k) {
        const float* s = smoothed_energy_;
        if (s[k] < s[k - 1] || s[k] < s[k + 1]) {
            continue;
        }
        // Lines three away lie outside the main lobe of a tone near line k, even one
        // halfway between two lines.
        const float neighbours = 0.5f * (s[k - 3] + s[k + 3]);
        if (s[k] > 4.0f * neighbours) {
            // The peak's main lobe may straddle a band edge: credit each line to its band.
            for (int j = k - 2; j <= k + 2; ++j) {
                tonal_energy[line_band_[j]] += s[j];
            }
        }
    }
    float tonality[kMaxLongBands] = {};
    for (int b = 0; b < layout.count; ++b) {
        float e = 0.0f;
        float smoothed = 0.0f;
        for (int k = layout.offsets[b]; k < layout.offsets[b + 1]; ++k) {
            e += spectrum[k] * spectrum[k];
            smoothed += smoothed_energy_[k];
        }
        energy[b] = e;
        tonality[b] = std::min(1.0f, tonal_energy[b] / (smoothed + 1e-9f));
    }
    spread(layout, long_params_, energy, tonality, threshold);
    float pe = 0.0f;
    for (int b = 0; b < layout.count; ++b) {
        if (previous_long_) {
            threshold[b] = std::min(threshold[b], kPreEchoRise * previous_threshold_[b]);
            threshold[b] = std::max(threshold[b], long_params_.ath[b]);
        }
        previous_threshold_[b] = threshold[b];
        pe += band_entropy(energy[b], threshold[b], layout.width(b));
    }
    previous_long_ = true;
    return pe;
}

float PsychoModel::analyze_short(const float* spectrum, float* energy, float* threshold) {
    const BandLayout& layout = short_;
    float pe = 0.0f;
    for (int w = 0; w < kNumShortWindows; ++w) {
        const float* x = spectrum + w * kShortLength;
        float* e = energy + w * kMaxShortBands;
        float* t = threshold + w * kMaxShortBands;
        for (int b = 0; b < layout.count; ++b) {
            float sum = 0.0f;
            for (int k = layout.offsets[b]; k < layout.offsets[b + 1]; ++k) {
                sum += x[k] * x[k];
            }
            e[b] = sum;
        }
        // Short blocks hold attacks: treat every band as noise-like.
        spread(layout, short_params_, e, nullptr, t);
        for (int b = 0; b < layout.count; ++b) {
            pe += band_entropy(e[b], t[b], layout.width(b));
        }
    }
    // The next long frame has no usable history: its threshold may start anywhere.
    previous_long_ = false;
    std::fill(std::begin(previous_spectrum_), std::end(previous_spectrum_), 0.0f);
    return pe;
}

}  // namespace brevix::aac
