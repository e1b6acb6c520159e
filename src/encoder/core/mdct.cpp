#include "core/mdct.h"

#include <cmath>

namespace brevix::aac {

Mdct::Mdct(int block_length) : half_(block_length / 2), fft_(block_length / 4) {
    const int quarter = half_ / 2;
    const double pi = std::acos(-1.0);
    pre_re_.resize(static_cast<std::size_t>(quarter));
    pre_im_.resize(static_cast<std::size_t>(quarter));
    post_re_.resize(static_cast<std::size_t>(quarter));
    post_im_.resize(static_cast<std::size_t>(quarter));
    for (int n = 0; n < quarter; ++n) {
        const double a = -pi * n / half_;
        pre_re_[static_cast<std::size_t>(n)] = static_cast<float>(std::cos(a));
        pre_im_[static_cast<std::size_t>(n)] = static_cast<float>(std::sin(a));
        const double b = -pi * (n + 0.25) / half_;
        post_re_[static_cast<std::size_t>(n)] = static_cast<float>(std::cos(b));
        post_im_[static_cast<std::size_t>(n)] = static_cast<float>(std::sin(b));
    }
    fold_.resize(static_cast<std::size_t>(half_));
    work_re_.resize(static_cast<std::size_t>(quarter));
    work_im_.resize(static_cast<std::size_t>(quarter));
}

// With u[n] = v[2n] + i*v[M-1-2n], the DCT-IV splits into an M/2-point FFT between a
// pre-twiddle exp(-i*pi*n/M) and a post-twiddle exp(-i*pi*(k+1/4)/M):
// X[2k] = Re W[k], X[M-1-2k] = -Im W[k].
void Mdct::dct4(float* v, float scale) {
    const int quarter = half_ / 2;
    float* re = work_re_.data();
    float* im = work_im_.data();
    for (int n = 0; n < quarter; ++n) {
        const float a = v[2 * n] * scale;
        const float b = v[half_ - 1 - 2 * n] * scale;
        re[n] = a * pre_re_[static_cast<std::size_t>(n)] - b * pre_im_[static_cast<std::size_t>(n)];
        im[n] = a * pre_im_[static_cast<std::size_t>(n)] + b * pre_re_[static_cast<std::size_t>(n)];
    }
    fft_.forward(re, im);
    for (int k = 0; k < quarter; ++k) {
        const float c = post_re_[static_cast<std::size_t>(k)];
        const float s = post_im_[static_cast<std::size_t>(k)];
        v[2 * k] = re[k] * c - im[k] * s;
        v[half_ - 1 - 2 * k] = -(re[k] * s + im[k] * c);
    }
}

void Mdct::forward(const float* x, float* out) {
    // Fold the four quarters a, b, c, d of the block into (-c_r - d, a - b_r).
    const int m = half_;
    const int h = m / 2;
    for (int n = 0; n < h; ++n) {
        out[n] = -x[3 * h - 1 - n] - x[3 * h + n];
        out[h + n] = x[n] - x[m - 1 - n];
    }
    dct4(out, 2.0f);
}

// The MDST equals the MDCT of the time-reversed block with the sign of every even line
// flipped; the reversal is folded into the input folding (compare forward()).
void Mdct::forward_mdst(const float* x, float* out) {
    const int m = half_;
    const int h = m / 2;
    for (int n = 0; n < h; ++n) {
        out[n] = -x[h + n] - x[h - 1 - n];
        out[h + n] = x[2 * m - 1 - n] - x[m + n];
    }
    dct4(out, 2.0f);
    for (int k = 0; k < m; k += 2) {
        out[k] = -out[k];
    }
}

void Mdct::inverse(const float* in, float* out) {
    const int m = half_;
    const int h = m / 2;
    float* v = fold_.data();
    for (int k = 0; k < m; ++k) {
        v[k] = in[k];
    }
    dct4(v, 1.0f / static_cast<float>(m));
    // Unfold: the transpose of the folding in forward().
    for (int n = 0; n < h; ++n) {
        out[n] = v[h + n];
        out[m - 1 - n] = -v[h + n];
        out[3 * h - 1 - n] = -v[n];
        out[3 * h + n] = -v[n];
    }
}

}  // namespace brevix::aac
