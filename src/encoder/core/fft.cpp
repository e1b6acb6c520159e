#include "core/fft.h"

#include <cmath>
#include <stdexcept>

namespace brevix::aac {

Fft::Fft(int size) : size_(size) {
    if (size < 4 || (size & (size - 1)) != 0) {
        throw std::invalid_argument("FFT size must be a power of two >= 4");
    }
    int bits = 0;
    while ((1 << bits) < size) {
        ++bits;
    }
    for (int i = 0; i < size; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b) {
            r |= ((i >> b) & 1) << (bits - 1 - b);
        }
        if (i < r) {
            bit_reverse_.push_back(i);
            bit_reverse_.push_back(r);
        }
    }
    twiddle_re_.resize(static_cast<std::size_t>(size - 1));
    twiddle_im_.resize(static_cast<std::size_t>(size - 1));
    const double pi = std::acos(-1.0);
    for (int half = 1; half < size; half *= 2) {
        for (int j = 0; j < half; ++j) {
            const double angle = -pi * j / half;
            twiddle_re_[static_cast<std::size_t>(half - 1 + j)] =
                static_cast<float>(std::cos(angle));
            twiddle_im_[static_cast<std::size_t>(half - 1 + j)] =
                static_cast<float>(std::sin(angle));
        }
    }
}

void Fft::forward(float* re, float* im) const {
    for (std::size_t p = 0; p < bit_reverse_.size(); p += 2) {
        const int i = bit_reverse_[p];
        const int j = bit_reverse_[p + 1];
        std::swap(re[i], re[j]);
        std::swap(im[i], im[j]);
    }
    // First two stages as one radix-4 pass: their twiddles are 1 and -i only.
    for (int s = 0; s < size_; s += 4) {
        const float a_re = re[s] + re[s + 1], a_im = im[s] + im[s + 1];
        const float b_re = re[s] - re[s + 1], b_im = im[s] - im[s + 1];
        const float c_re = re[s + 2] + re[s + 3], c_im = im[s + 2] + im[s + 3];
        const float d_re = re[s + 2] - re[s + 3], d_im = im[s + 2] - im[s + 3];
        re[s] = a_re + c_re;
        im[s] = a_im + c_im;
        re[s + 2] = a_re - c_re;
        im[s + 2] = a_im - c_im;
        // d * (-i) = (d_im, -d_re)
        re[s + 1] = b_re + d_im;
        im[s + 1] = b_im - d_re;
        re[s + 3] = b_re - d_im;
        im[s + 3] = b_im + d_re;
    }
    for (int half = 4; half < size_; half *= 2) {
        const float* w_re = twiddle_re_.data() + half - 1;
        const float* w_im = twiddle_im_.data() + half - 1;
        for (int s = 0; s < size_; s += 2 * half) {
            float* a_re = re + s;
            float* a_im = im + s;
            float* b_re = re + s + half;
            float* b_im = im + s + half;
            for (int j = 0; j < half; ++j) {
                const float t_re = b_re[j] * w_re[j] - b_im[j] * w_im[j];
                const float t_im = b_re[j] * w_im[j] + b_im[j] * w_re[j];
                b_re[j] = a_re[j] - t_re;
                b_im[j] = a_im[j] - t_im;
                a_re[j] += t_re;
                a_im[j] += t_im;
            }
        }
    }
}

}  // namespace brevix::aac
