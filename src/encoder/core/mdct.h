// MDCT of one windowed block of N samples into N/2 coefficients, computed through a
// DCT-IV of the folded block and an N/4-point complex FFT.
//
// Scaling matches the decoder's inverse transform, which multiplies by 2/N: the forward
// transform is X[k] = 2 * sum x[n] cos(2*pi/N * (n + n0) * (k + 1/2)), n0 = N/4 + 1/2,
// so windowed overlap-add of the inverse restores the input exactly.
#pragma once

#include <vector>

#include "core/fft.h"

namespace brevix::aac {

class Mdct {
public:
    explicit Mdct(int block_length);  // N: 2048 (long) or 256 (short)

    // `input`: N windowed samples; `output`: N/2 coefficients. No allocation.
    void forward(const float* input, float* output);

    // MDST of the same block, X[k] = 2 * sum x[n] sin(2*pi/N * (n + n0) * (k + 1/2)): the
    // imaginary part to the MDCT's real one. Together they give a spectrum whose line
    // energies do not flicker with the phase of a steady tone (for the psychoacoustics).
    void forward_mdst(const float* input, float* output);

    // Inverse with the decoder's 2/N scaling: `input` N/2 coefficients, `output` N samples
    // (still to be windowed and overlap-added). Used by tests and analysis.
    void inverse(const float* input, float* output);

private:
    // DCT-IV of half_ values in `v` (in place), times `scale`.
    void dct4(float* v, float scale);

    int half_;  // M = N/2
    Fft fft_;
    std::vector<float> pre_re_, pre_im_;    // exp(-i*pi*n/M)
    std::vector<float> post_re_, post_im_;  // exp(-i*pi*(k+1/4)/M)
    std::vector<float> fold_;               // M folded samples
    std::vector<float> work_re_, work_im_;  // M/2 complex values
};

}  // namespace brevix::aac
