// In-place complex FFT on split real/imaginary arrays, for the power-of-two sizes the
// MDCT and the analyses need. Radix 4 (decimation in time, after a bit-reversal), with one
// radix-2 pass first when the size is an odd power of two: half the passes over the data
// and a quarter fewer multiplications than radix 2. Twiddles are tabulated per pass once
// per size, so a transform allocates nothing; the split layout and the per-pass tables
// keep the butterfly loops vectorisable.
#pragma once

#include <vector>

namespace brevix::aac {

class Fft {
public:
    explicit Fft(int size);  // size: power of two, >= 4

    // Forward transform, kernel exp(-2*pi*i*n*k/size). Unscaled.
    void forward(float* re, float* im) const;

    int size() const { return size_; }

private:
    int size_;
    bool radix2_first_;             // odd power of two: one radix-2 pass before radix 4
    std::vector<int> bit_reverse_;  // pairs (i, j) with i < j to swap
    // Per radix-4 pass with quarter size h, six runs of h values back to back:
    // re and im of w^j, w^2j and w^3j (w = exp(-2*pi*i / 4h)), j = 0 .. h-1.
    std::vector<float> twiddles_;
};

}  // namespace brevix::aac
