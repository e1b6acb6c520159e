#include "core/window.h"

#include <cmath>

namespace brevix::aac {
namespace {

double bessel_i0(double x) {
    // Power series; converges quickly for the arguments used here (x <= 6 pi).
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 60; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < sum * 1e-17) {
            break;
        }
    }
    return sum;
}

template <int kHalf>
struct Shapes {
    float sine[kHalf];
    float kbd[kHalf];

    explicit Shapes(double alpha) {
        const double pi = std::acos(-1.0);
        const int n_total = 2 * kHalf;
        for (int n = 0; n < kHalf; ++n) {
            sine[n] = static_cast<float>(std::sin(pi / n_total * (n + 0.5)));
        }
        // Kaiser kernel of kHalf + 1 points, accumulated and normalised.
        double kernel[kHalf + 1];
        double total = 0.0;
        for (int j = 0; j <= kHalf; ++j) {
            const double r = (j - kHalf / 2.0) / (kHalf / 2.0);
            kernel[j] = bessel_i0(pi * alpha * std::sqrt(std::fmax(0.0, 1.0 - r * r)));
            total += kernel[j];
        }
        double running = 0.0;
        for (int n = 0; n < kHalf; ++n) {
            running += kernel[n];
            kbd[n] = static_cast<float>(std::sqrt(running / total));
        }
    }
};

const Shapes<kFrameLength>& long_shapes() {
    static const Shapes<kFrameLength> shapes(4.0);
    return shapes;
}

const Shapes<kShortLength>& short_shapes() {
    static const Shapes<kShortLength> shapes(6.0);
    return shapes;
}

// out[n] = in[n] * rise[n] for n < len.
void rise(const float* in, const float* w, int len, float* out) {
    for (int n = 0; n < len; ++n) {
        out[n] = in[n] * w[n];
    }
}

// out[n] = in[n] * rise[len - 1 - n] for n < len.
void fall(const float* in, const float* w, int len, float* out) {
    for (int n = 0; n < len; ++n) {
        out[n] = in[n] * w[len - 1 - n];
    }
}

void copy(const float* in, int len, float* out) {
    for (int n = 0; n < len; ++n) {
        out[n] = in[n];
    }
}

void zero(int len, float* out) {
    for (int n = 0; n < len; ++n) {
        out[n] = 0.0f;
    }
}

}  // namespace

const float* long_rising_half(WindowShape shape) {
    return shape == WindowShape::kKbd ? long_shapes().kbd : long_shapes().sine;
}

const float* short_rising_half(WindowShape shape) {
    return shape == WindowShape::kKbd ? short_shapes().kbd : short_shapes().sine;
}

void window_long_block(const float* in, WindowSequence sequence, WindowShape previous,
                       WindowShape current, float* out) {
    constexpr int kHalf = kFrameLength;
    constexpr int kFlat = kShortWindowStart;  // 448: flat or zero part beside a short slope
    if (sequence == WindowSequence::kLongStop) {
        zero(kFlat, out);
        rise(in + kFlat, short_rising_half(previous), kShortLength, out + kFlat);
        copy(in + kFlat + kShortLength, kHalf - kFlat - kShortLength, out + kFlat + kShortLength);
    } else {
        rise(in, long_rising_half(previous), kHalf, out);
    }
    if (sequence == WindowSequence::kLongStart) {
        copy(in + kHalf, kFlat, out + kHalf);
        fall(in + kHalf + kFlat, short_rising_half(current), kShortLength, out + kHalf + kFlat);
        zero(kHalf - kFlat - kShortLength, out + kHalf + kFlat + kShortLength);
    } else {
        fall(in + kHalf, long_rising_half(current), kHalf, out + kHalf);
    }
}

void window_short_block(const float* in, int index, WindowShape previous, WindowShape current,
                        float* out) {
    const float* start = in + kShortWindowStart + index * kShortLength;
    rise(start, short_rising_half(index == 0 ? previous : current), kShortLength, out);
    fall(start + kShortLength, short_rising_half(current), kShortLength, out + kShortLength);
}

bool is_legal_transition(WindowSequence previous, WindowSequence next) {
    const bool previous_ends_short =
        previous == WindowSequence::kLongStart || previous == WindowSequence::kEightShort;
    const bool next_starts_short =
        next == WindowSequence::kEightShort || next == WindowSequence::kLongStop;
    return previous_ends_short == next_starts_short;
}

}  // namespace brevix::aac
