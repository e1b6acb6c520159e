#include "core/quantize.h"

#include <cmath>

#include "core/huffman.h"

namespace brevix::aac {
namespace {

struct GainTables {
    float quant[kMaxScalefactor + 1];
    float dequant[kMaxScalefactor + 1];
    float pow43[kMaxQuantizedValue + 1];  // m^(4/3): what a decoder rebuilds from m
    GainTables() {
        for (int sf = 0; sf <= kMaxScalefactor; ++sf) {
            quant[sf] = static_cast<float>(std::exp2(-0.1875 * (sf - kScalefactorOffset)));
            dequant[sf] = static_cast<float>(std::exp2(0.25 * (sf - kScalefactorOffset)));
        }
        for (int m = 0; m <= kMaxQuantizedValue; ++m) {
            pow43[m] = static_cast<float>(std::pow(static_cast<double>(m), 4.0 / 3.0));
        }
    }
};

const GainTables& gains() {
    static const GainTables tables;
    return tables;
}

}  // namespace

float quantizer_gain(int scalefactor) {
    return gains().quant[scalefactor];
}

float dequantizer_gain(int scalefactor) {
    return gains().dequant[scalefactor];
}

void compand(const float* x, int count, float* out) {
    for (int i = 0; i < count; ++i) {
        const float a = std::fabs(x[i]);
        // a^(3/4) = sqrt(a * sqrt(a)): two square roots are much cheaper than pow().
        out[i] = std::sqrt(a * std::sqrt(a));
    }
}

int quantize_band(const float* x, const float* xpow, int count, int scalefactor, int* q) {
    const float gain = gains().quant[scalefactor];
    int largest = 0;
    for (int i = 0; i < count; ++i) {
        // The clamp only guards the conversion; callers keep sf >= min_scalefactor(). (A
        // comparison, unlike fmin(), compiles to one vector instruction.)
        const float v = xpow[i] * gain + kRoundingOffset;
        const int m = static_cast<int>(v < 1.0e9f ? v : 1.0e9f);
        q[i] = x[i] < 0.0f ? -m : m;
        largest = m > largest ? m : largest;
    }
    return largest;
}

float dequantize(int q, int scalefactor) {
    const int m = q < 0 ? -q : q;
    const float v = (m <= kMaxQuantizedValue ? gains().pow43[m]
                                             : std::pow(static_cast<float>(m), 4.0f / 3.0f)) *
                    gains().dequant[scalefactor];
    return q < 0 ? -v : v;
}

float quantization_noise(const float* x, const int* q, int count, int scalefactor) {
    const float* pow43 = gains().pow43;
    const float gain = gains().dequant[scalefactor];
    float noise = 0.0f;
    for (int i = 0; i < count; ++i) {
        // The caller's q holds magnitudes up to kMaxQuantizedValue with x's sign, so
        // the error is the difference of magnitudes.
        const int m = q[i] < 0 ? -q[i] : q[i];
        const float e = std::fabs(x[i]) - pow43[m] * gain;
        noise += e * e;
    }
    return noise;
}

int min_scalefactor(float largest_xpow) {
    if (largest_xpow <= 0.0f) {
        return 0;
    }
    // largest_xpow * 2^(-3/16 (sf - 100)) + offset must stay below 8192.
    int sf = static_cast<int>(
        std::ceil(kScalefactorOffset + 16.0 / 3.0 * std::log2(largest_xpow / 8191.0)));
    if (sf < 0) {
        sf = 0;
    }
    while (sf<kMaxScalefactor&& static_cast<int>(largest_xpow * gains().quant[sf] +
                                                 kRoundingOffset)> 8191) {
        ++sf;
    }
    return sf;
}

float scalefactor_for_noise(float allowed_noise, float sum_sqrt_abs) {
    if (sum_sqrt_abs <= 0.0f) {
        return static_cast<float>(kMaxScalefactor);
    }
    return kScalefactorOffset +
           8.0f / 3.0f * std::log2(allowed_noise * 27.0f / (4.0f * sum_sqrt_abs) + 1e-30f);
}

}  // namespace brevix::aac
