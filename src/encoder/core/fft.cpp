#include "core/fft.h"

#include <cmath>
#include <stdexcept>
#include <utility>

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
    radix2_first_ = bits % 2 == 1;
    const double pi = std::acos(-1.0);
    for (int h = radix2_first_ ? 2 : 4; 4 * h <= size; h *= 4) {
        for (int power = 1; power <= 3; ++power) {
            for (int part = 0; part < 2; ++part) {
                for (int j = 0; j < h; ++j) {
                    const double angle = -2.0 * pi * power * j / (4.0 * h);
                    twiddles_.push_back(
                        static_cast<float>(part == 0 ? std::cos(angle) : std::sin(angle)));
                }
            }
        }
    }
}

// After the bit-reversal, each block of 4h values holds four transforms of size h, of the
// block's inputs with index 0, 2, 1 and 3 modulo 4 (in that order). One radix-4 butterfly
// per j combines them into the transform of size 4h:
//   X[j + q h] = F0 + (-i)^q w^j F1 + (-1)^q w^2j F2 + (i)^q w^3j F3,  q = 0..3.
void Fft::forward(float* re, float* im) const {
    for (std::size_t p = 0; p < bit_reverse_.size(); p += 2) {
        const int i = bit_reverse_[p];
        const int j = bit_reverse_[p + 1];
        std::swap(re[i], re[j]);
        std::swap(im[i], im[j]);
    }
    // The first pass has only trivial twiddles (1 and -i): done on its own, without
    // multiplications.
    int h = 1;
    if (radix2_first_) {
        for (int s = 0; s < size_; s += 2) {
            const float a_re = re[s];
            const float a_im = im[s];
            re[s] = a_re + re[s + 1];
            im[s] = a_im + im[s + 1];
            re[s + 1] = a_re - re[s + 1];
            im[s + 1] = a_im - im[s + 1];
        }
        h = 2;
    } else {
        for (int s = 0; s < size_; s += 4) {
            const float y0_re = re[s] + re[s + 1];
            const float y0_im = im[s] + im[s + 1];
            const float y1_re = re[s] - re[s + 1];
            const float y1_im = im[s] - im[s + 1];
            const float z0_re = re[s + 2] + re[s + 3];
            const float z0_im = im[s + 2] + im[s + 3];
            const float z1_re = re[s + 2] - re[s + 3];
            const float z1_im = im[s + 2] - im[s + 3];
            re[s] = y0_re + z0_re;
            im[s] = y0_im + z0_im;
            re[s + 2] = y0_re - z0_re;
            im[s + 2] = y0_im - z0_im;
            re[s + 1] = y1_re + z1_im;
            im[s + 1] = y1_im - z1_re;
            re[s + 3] = y1_re - z1_im;
            im[s + 3] = y1_im + z1_re;
        }
        h = 4;
    }
    const float* tables = twiddles_.data();
    for (; 4 * h <= size_; h *= 4) {
        const float* w1_re = tables;
        const float* w1_im = tables + h;
        const float* w2_re = tables + 2 * h;
        const float* w2_im = tables + 3 * h;
        const float* w3_re = tables + 4 * h;
        const float* w3_im = tables + 5 * h;
        tables += 6 * h;
        for (int s = 0; s < size_; s += 4 * h) {
            float* r0 = re + s;
            float* i0 = im + s;
            float* r2 = r0 + h;  // F2 sits in the second quarter, F1 in the third
            float* i2 = i0 + h;
            float* r1 = r0 + 2 * h;
            float* i1 = i0 + 2 * h;
            float* r3 = r0 + 3 * h;
            float* i3 = i0 + 3 * h;
            // The eight quarter runs never overlap each other or the tables; without
            // being told, the compiler gives up on checking that and does not vectorise.
#pragma GCC ivdep
            for (int j = 0; j < h; ++j) {
                const float t1_re = r1[j] * w1_re[j] - i1[j] * w1_im[j];
                const float t1_im = r1[j] * w1_im[j] + i1[j] * w1_re[j];
                const float t2_re = r2[j] * w2_re[j] - i2[j] * w2_im[j];
                const float t2_im = r2[j] * w2_im[j] + i2[j] * w2_re[j];
                const float t3_re = r3[j] * w3_re[j] - i3[j] * w3_im[j];
                const float t3_im = r3[j] * w3_im[j] + i3[j] * w3_re[j];
                const float y0_re = r0[j] + t2_re;
                const float y0_im = i0[j] + t2_im;
                const float y1_re = r0[j] - t2_re;
                const float y1_im = i0[j] - t2_im;
                const float z0_re = t1_re + t3_re;
                const float z0_im = t1_im + t3_im;
                const float z1_re = t1_re - t3_re;
                const float z1_im = t1_im - t3_im;
                r0[j] = y0_re + z0_re;  // q = 0
                i0[j] = y0_im + z0_im;
                r1[j] = y0_re - z0_re;  // q = 2
                i1[j] = y0_im - z0_im;
                r2[j] = y1_re + z1_im;  // q = 1: y1 - i z1
                i2[j] = y1_im - z1_re;
                r3[j] = y1_re - z1_im;  // q = 3: y1 + i z1
                i3[j] = y1_im + z1_re;
            }
        }
    }
}

}  // namespace brevix::aac
