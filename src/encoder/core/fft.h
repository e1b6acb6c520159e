// In-place complex FFT (radix 2, decimation in time) on split real/imaginary arrays,
// for the power-of-two sizes the MDCT needs. Tables are built once per size, so a
// transform allocates nothing; the split layout keeps the butterfly loops vectorisable.
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
    std::vector<int> bit_reverse_;   // pairs (i, j) with i < j to swap
    std::vector<float> twiddle_re_;  // all stages back to back: stage with half-size h
    std::vector<float> twiddle_im_;  // starts at index h - 1
};

}  // namespace brevix::aac
