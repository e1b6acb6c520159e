#include "core/prediction.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/huffman.h"
#include "core/psycho.h"
#include "core/quantize.h"

namespace brevix::aac {
namespace {

// Predictor constants: attenuation of the lattice's backward errors and the forgetting
// factor of its correlation and energy estimates.
constexpr float kAttenuation = 0.953125f;  // 61/64
constexpr float kForgetting = 0.90625f;    // 29/32

// Channels of one element: a single channel or a pair.
constexpr int kElementChannels = 2;

// A band is predicted when its residual costs fewer bits (by the perceptual entropy of
// the channels) and carries less energy than the band itself; the frame carries predictor
// data when the bands' savings exceed the flags and the reset. (Demanding a larger gain
// per band measured worse: every predicted band's saving counts once the flags are paid.)

std::uint32_t bits_of(float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    return u;
}

float float_of(std::uint32_t u) {
    float v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

// The roundings that keep encoder and decoders identical: the low 16 bits of the float's
// pattern cleared (truncation), or rounded away to nearest (ties up, or ties to even).
float trunc16(float v) {
    return float_of(bits_of(v) & 0xFFFF0000u);
}

float round16(float v) {
    return float_of((bits_of(v) + 0x8000u) & 0xFFFF0000u);
}

float round_even16(float v) {
    const std::uint32_t u = bits_of(v);
    return float_of((u + 0x7FFFu + ((u >> 16) & 1u)) & 0xFFFF0000u);
}

// Lattice coefficient from a correlation and an energy estimate.
float coefficient(float cor, float var) {
    return var > 1.0f ? cor * round_even16(kAttenuation / var) : 0.0f;
}

bool is_noise_or_intensity(int book) {
    return book == kNoiseCodebook || is_intensity_book(book);
}

}  // namespace

Predictors::Predictors(int lines) : lines_(std::clamp(lines, 0, kFrameLength)) {
    reset_all();
}

void Predictors::reset_all() {
    reset_lines(0, kFrameLength);
}

void Predictors::reset_lines(int start, int end) {
    start = std::max(start, 0);
    end = std::min(end, kFrameLength);
    for (int i = start; i < end; ++i) {
        r0_[i] = 0.0f;
        r1_[i] = 0.0f;
        cor0_[i] = 0.0f;
        cor1_[i] = 0.0f;
        var0_[i] = 1.0f;
        var1_[i] = 1.0f;
        unknown_[i] = 0;
    }
}

void Predictors::mark_unknown(int start, int end) {
    std::fill(unknown_ + std::max(start, 0), unknown_ + std::min(end, kFrameLength),
              std::uint8_t{1});
}

bool Predictors::known(int start, int end) const {
    for (int i = std::max(start, 0); i < std::min(end, kFrameLength); ++i) {
        if (unknown_[i] != 0) {
            return false;
        }
    }
    return true;
}

void Predictors::reset_group(int group) {
    if (group < 1 || group > kPredictorResetGroups) {
        return;
    }
    for (int i = group - 1; i < kFrameLength; i += kPredictorResetGroups) {
        reset_lines(i, i + 1);
    }
}

void Predictors::predict() {
    for (int i = 0; i < lines_; ++i) {
        const float k1 = coefficient(cor0_[i], var0_[i]);
        const float k2 = coefficient(cor1_[i], var1_[i]);
        prediction_[i] = round16(k1 * r0_[i] + k2 * r1_[i]);
    }
}

void Predictors::update(const float* x) {
    for (int i = 0; i < lines_; ++i) {
        const float k1 = coefficient(cor0_[i], var0_[i]);
        const float r0 = r0_[i];
        const float r1 = r1_[i];
        const float e0 = x[i];
        const float e1 = e0 - k1 * r0;
        cor1_[i] = trunc16(kForgetting * cor1_[i] + r1 * e1);
        var1_[i] = trunc16(kForgetting * var1_[i] + 0.5f * (r1 * r1 + e1 * e1));
        cor0_[i] = trunc16(kForgetting * cor0_[i] + r0 * e0);
        var0_[i] = trunc16(kForgetting * var0_[i] + 0.5f * (r0 * r0 + e0 * e0));
        r1_[i] = trunc16(kAttenuation * (r0 - k1 * e0));
        r0_[i] = trunc16(kAttenuation * e0);
    }
}

void choose_prediction(Ics* const* ics, Predictors* const* predictors, int count) {
    count = std::clamp(count, 1, kElementChannels);
    for (int c = 0; c < count; ++c) {
        ics[c]->prediction_present = false;
        ics[c]->prediction_reset = 0;
        std::fill(ics[c]->predicted, ics[c]->predicted + kMaxCodingBands, std::uint8_t{0});
    }
    const Ics& lead = *ics[0];
    if (lead.is_short()) {
        return;
    }
    const int bands = std::min(lead.max_sfb, kPredictionBands);
    // Bits the predictor data costs beyond the flag that is always there: the reset (one
    // bit and a group number) and one flag per band.
    const float overhead = static_cast<float>(1 + 5 + bands);
    float residual_energy[kElementChannels][kPredictionBands] = {};
    float saved = 0.0f;
    int used = 0;
    for (int b = 0; b < bands; ++b) {
        const int start = lead.band_start[b];
        const int width = lead.band_width[b];
        float gain = 0.0f;
        bool worthwhile = true;
        for (int c = 0; c < count; ++c) {
            worthwhile = worthwhile && predictors[c]->known(start, start + width);
            const float* p = predictors[c]->prediction();
            float e = 0.0f;
            for (int k = start; k < start + width; ++k) {
                const float d = ics[c]->spectrum[k] - p[k];
                e += d * d;
            }
            residual_energy[c][b] = e;
            gain += band_entropy(ics[c]->energy[b], ics[c]->threshold[b], width) -
                    band_entropy(e, ics[c]->threshold[b], width);
            worthwhile = worthwhile && e < ics[c]->energy[b];
        }
        if (worthwhile && gain > 0.0f) {
            saved += gain;
            ++used;
            for (int c = 0; c < count; ++c) {
                ics[c]->predicted[b] = 1;
            }
        }
    }
    if (used == 0 || saved <= overhead) {
        for (int c = 0; c < count; ++c) {
            std::fill(ics[c]->predicted, ics[c]->predicted + kMaxCodingBands, std::uint8_t{0});
        }
        return;
    }
    const int group = predictors[0]->next_reset_group;
    predictors[0]->next_reset_group = group % kPredictorResetGroups + 1;
    for (int c = 0; c < count; ++c) {
        Ics& s = *ics[c];
        s.prediction_present = true;
        s.prediction_reset = group;
        const float* p = predictors[c]->prediction();
        for (int b = 0; b < bands; ++b) {
            if (s.predicted[b] == 0) {
                continue;
            }
            for (int k = s.band_start[b]; k < s.band_start[b] + s.band_width[b]; ++k) {
                s.spectrum[k] -= p[k];
            }
            s.energy[b] = residual_energy[c][b];
        }
    }
}

void update_prediction(const Ics* const* ics, Predictors* const* predictors, int count,
                       const StereoMask* mask) {
    count = std::clamp(count, 1, kElementChannels);
    const Ics& lead = *ics[0];
    if (lead.is_short()) {
        for (int c = 0; c < count; ++c) {
            predictors[c]->reset_all();
        }
        return;
    }
    float x[kElementChannels][kFrameLength];
    const int lines = predictors[0]->lines();
    for (int c = 0; c < count; ++c) {
        const Ics& s = *ics[c];
        std::fill(x[c], x[c] + lines, 0.0f);
        for (int b = 0; b < s.max_sfb && s.band_start[b] < lines; ++b) {
            const int book = s.book[b];
            if (book == kZeroCodebook || is_noise_or_intensity(book)) {
                continue;
            }
            const int end = std::min(s.band_start[b] + s.band_width[b], lines);
            for (int k = s.band_start[b]; k < end; ++k) {
                x[c][k] = dequantize(s.quantized[k], s.scalefactor[b]);
            }
        }
    }
    if (count == 2 && mask != nullptr && mask->present != 0) {
        for (int b = 0; b < lead.max_sfb && lead.band_start[b] < lines; ++b) {
            if (!mask->used[b] || is_noise_or_intensity(ics[1]->book[b]) ||
                is_noise_or_intensity(lead.book[b])) {
                continue;
            }
            const int end = std::min(lead.band_start[b] + lead.band_width[b], lines);
            for (int k = lead.band_start[b]; k < end; ++k) {
                const float m = x[0][k];
                const float s = x[1][k];
                x[0][k] = m + s;
                x[1][k] = m - s;
            }
        }
    }
    for (int c = 0; c < count; ++c) {
        const Ics& s = *ics[c];
        Predictors& p = *predictors[c];
        if (s.prediction_present) {
            for (int b = 0; b < std::min(s.max_sfb, kPredictionBands); ++b) {
                if (!s.predicted[b]) {
                    continue;
                }
                const int end = std::min(s.band_start[b] + s.band_width[b], lines);
                for (int k = s.band_start[b]; k < end; ++k) {
                    x[c][k] += p.prediction()[k];
                }
            }
        }
        p.update(x[c]);
        // Bands that decoders rebuild differently for their predictors: noise-substituted
        // ones (noise the encoder does not know; some decoders reset the band's predictors,
        // others run them on their noise) and the right channel's intensity bands (some
        // decoders predict before intensity stereo, on zeros, others after it, on the
        // values taken from the left). The encoder resets the noise bands as well and
        // predicts such a band again only once the group resets have covered all its
        // lines, which brings every decoder back into step.
        for (int b = 0; b < s.max_sfb && s.band_start[b] < lines; ++b) {
            if (is_noise_or_intensity(s.book[b])) {
                const int start = s.band_start[b];
                const int end = start + s.band_width[b];
                if (s.book[b] == kNoiseCodebook) {
                    p.reset_lines(start, end);
                }
                p.mark_unknown(start, end);
            }
        }
        if (s.prediction_present) {
            p.reset_group(s.prediction_reset);
        }
    }
}

}  // namespace brevix::aac
