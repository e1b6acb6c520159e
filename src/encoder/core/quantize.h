// Non-uniform quantisation: q = sign(x) * int(|x|^(3/4) * 2^(-3/16 (sf - 100)) + 0.4054),
// which a decoder inverts as sign(q) * |q|^(4/3) * 2^(1/4 (sf - 100)).
// The rounding offset below one half biases towards smaller magnitudes, which lowers the
// mean squared error of the companded quantiser.
#pragma once

namespace brevix::aac {

constexpr int kScalefactorOffset = 100;
constexpr int kMaxScalefactor = 255;
constexpr float kRoundingOffset = 0.4054f;

// 2^(-3/16 (sf - 100)): the quantiser's gain on |x|^(3/4).
float quantizer_gain(int scalefactor);
// 2^(1/4 (sf - 100)): the decoder's gain on |q|^(4/3).
float dequantizer_gain(int scalefactor);

// |x|^(3/4) of `count` values.
void compand(const float* x, int count, float* out);

// Quantises one band: `xpow` = |x|^(3/4), `x` for the signs. Returns the largest magnitude.
int quantize_band(const float* x, const float* xpow, int count, int scalefactor, int* q);

// Decoder-side value of q at `scalefactor`.
float dequantize(int q, int scalefactor);

// Squared error of coding `x` as `q` at `scalefactor`. `q` must come from quantize_band()
// (same signs as `x`, magnitudes up to 8191).
float quantization_noise(const float* x, const int* q, int count, int scalefactor);

// Smallest scalefactor at which no value of the band exceeds the largest codable
// magnitude (8191), given the band's largest |x|^(3/4).
int min_scalefactor(float largest_xpow);

// Scalefactor at which the quantisation noise of a band is expected to equal
// `allowed_noise`: with step size d(|x|) = 4/3 |x|^(1/3) 2^((sf-100)/4), uniform noise of
// d^2/12 per line sums to 4/27 * 2^(3/8 (sf - 100)) * sum sqrt|x|. Returned unrounded.
float scalefactor_for_noise(float allowed_noise, float sum_sqrt_abs);

}  // namespace brevix::aac
