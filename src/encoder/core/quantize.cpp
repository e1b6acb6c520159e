#include "core/quantize.h"

#include <cmath>

namespace brevix::aac {
namespace {

struct GainTables {
    float quant[kMaxScalefactor + 1];
    float dequant[kMaxScalefactor + 1];
    GainTables() {
        for (int sf = 0; sf <= kMaxScalefactor; ++sf) {
            quant[sf] = static_cast<float>(std::exp2(-0.1875 * (sf - kScalefactorOffset)));
            dequant[sf] = static_cast<float>(std::exp2(0.25 * (sf - kScalefactorOffset)));
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
        // The clamp only guards the conversion; callers keep sf >= min_scalefactor().
        const int m = static_cast<int>(std::fmin(xpow[i] * gain + kRoundingOffset, 1.0e9f));
        q[i] = x[i] < 0.0f ? -m : m;
        largest = m > largest ? m : largest;
    }
    return largest;
}

float dequantize(int q, int scalefactor) {
    const float m = std::cbrt(static_cast<float>(q < 0 ? -q : q));
    const float v = m * m * m * m * gains().dequant[scalefactor];
    return q < 0 ? -v : v;
}

float quantization_noise(const float* x, const int* q, int count, int scalefactor) {
    float noise = 0.0f;
    for (int i = 0; i < count; ++i) {
        const float e = x[i] - dequantize(q[i], scalefactor);
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
