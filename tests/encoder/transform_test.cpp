// FFT, MDCT and windows: the fast transforms against their direct formulas, the window
// shapes' power-complementarity, and perfect reconstruction through analysis, inverse
// transform and overlap-add for any legal mix of window sequences and shapes.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/fft.h"
#include "core/mdct.h"
#include "core/window.h"

namespace brevix::aac {
namespace {

const double kPi = std::acos(-1.0);

std::vector<float> random_signal(int n, unsigned seed, float amplitude = 20000.0f) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> dist(-amplitude, amplitude);
    std::vector<float> x(static_cast<std::size_t>(n));
    for (float& v : x) {
        v = dist(random);
    }
    return x;
}

TEST(Fft, MatchesTheDirectDft) {
    for (int size : {4, 8, 64, 512}) {
        std::vector<float> re = random_signal(size, 1);
        std::vector<float> im = random_signal(size, 2);
        std::vector<double> want_re(static_cast<std::size_t>(size)),
            want_im(static_cast<std::size_t>(size));
        for (int k = 0; k < size; ++k) {
            for (int n = 0; n < size; ++n) {
                const double a = -2.0 * kPi * n * k / size;
                want_re[static_cast<std::size_t>(k)] +=
                    re[static_cast<std::size_t>(n)] * std::cos(a) -
                    im[static_cast<std::size_t>(n)] * std::sin(a);
                want_im[static_cast<std::size_t>(k)] +=
                    re[static_cast<std::size_t>(n)] * std::sin(a) +
                    im[static_cast<std::size_t>(n)] * std::cos(a);
            }
        }
        Fft fft(size);
        fft.forward(re.data(), im.data());
        double peak = 0.0;
        double error = 0.0;
        for (int k = 0; k < size; ++k) {
            peak = std::max(peak, std::hypot(want_re[static_cast<std::size_t>(k)],
                                             want_im[static_cast<std::size_t>(k)]));
            error = std::max(
                error,
                std::hypot(re[static_cast<std::size_t>(k)] - want_re[static_cast<std::size_t>(k)],
                           im[static_cast<std::size_t>(k)] - want_im[static_cast<std::size_t>(k)]));
        }
        EXPECT_LT(error / peak, 1e-5) << "size " << size;
    }
}

// X[k] = 2 sum x[n] cos(2 pi / N (n + n0)(k + 1/2)), n0 = N/4 + 1/2.
std::vector<double> direct_mdct(const std::vector<float>& x) {
    const int n_total = static_cast<int>(x.size());
    const double n0 = n_total / 4.0 + 0.5;
    std::vector<double> out(static_cast<std::size_t>(n_total / 2));
    for (int k = 0; k < n_total / 2; ++k) {
        double sum = 0.0;
        for (int n = 0; n < n_total; ++n) {
            sum += x[static_cast<std::size_t>(n)] *
                   std::cos(2.0 * kPi / n_total * (n + n0) * (k + 0.5));
        }
        out[static_cast<std::size_t>(k)] = 2.0 * sum;
    }
    return out;
}

TEST(Mdct, ForwardMatchesTheDirectFormula) {
    for (int length : {2048, 256}) {
        const std::vector<float> x = random_signal(length, 3);
        const std::vector<double> want = direct_mdct(x);
        std::vector<float> got(static_cast<std::size_t>(length / 2));
        Mdct mdct(length);
        mdct.forward(x.data(), got.data());
        double peak = 0.0;
        double error = 0.0;
        for (std::size_t k = 0; k < got.size(); ++k) {
            peak = std::max(peak, std::fabs(want[k]));
            error = std::max(error, std::fabs(got[k] - want[k]));
        }
        EXPECT_LT(error / peak, 2e-5) << "length " << length;
    }
}

TEST(Mdct, MdstMatchesTheDirectFormula) {
    // X[k] = 2 sum x[n] sin(2 pi / N (n + n0)(k + 1/2)), n0 = N/4 + 1/2.
    for (int length : {2048, 256}) {
        const std::vector<float> x = random_signal(length, 7);
        const double n0 = length / 4.0 + 0.5;
        std::vector<float> got(static_cast<std::size_t>(length / 2));
        Mdct mdct(length);
        mdct.forward_mdst(x.data(), got.data());
        double peak = 0.0;
        double error = 0.0;
        for (int k = 0; k < length / 2; ++k) {
            double sum = 0.0;
            for (int n = 0; n < length; ++n) {
                sum += x[static_cast<std::size_t>(n)] *
                       std::sin(2.0 * kPi / length * (n + n0) * (k + 0.5));
            }
            peak = std::max(peak, std::fabs(2.0 * sum));
            error = std::max(error, std::fabs(got[static_cast<std::size_t>(k)] - 2.0 * sum));
        }
        EXPECT_LT(error / peak, 2e-5) << "length " << length;
    }
}

TEST(Mdct, InverseMatchesTheDecoderFormula) {
    // y[n] = 2/N sum X[k] cos(2 pi / N (n + n0)(k + 1/2))
    for (int length : {2048, 256}) {
        const std::vector<float> spectrum = random_signal(length / 2, 4);
        const double n0 = length / 4.0 + 0.5;
        std::vector<float> got(static_cast<std::size_t>(length));
        Mdct mdct(length);
        mdct.inverse(spectrum.data(), got.data());
        double peak = 0.0;
        double error = 0.0;
        for (int n = 0; n < length; ++n) {
            double sum = 0.0;
            for (int k = 0; k < length / 2; ++k) {
                sum += spectrum[static_cast<std::size_t>(k)] *
                       std::cos(2.0 * kPi / length * (n + n0) * (k + 0.5));
            }
            sum *= 2.0 / length;
            peak = std::max(peak, std::fabs(sum));
            error = std::max(error, std::fabs(got[static_cast<std::size_t>(n)] - sum));
        }
        EXPECT_LT(error / peak, 2e-5) << "length " << length;
    }
}

TEST(Window, ShapesArePowerComplementaryAndDistinct) {
    for (WindowShape shape : {WindowShape::kSine, WindowShape::kKbd}) {
        const float* lw = long_rising_half(shape);
        for (int n = 0; n < 1024; ++n) {
            // Rising half squared plus the mirrored (falling) half squared is one.
            EXPECT_NEAR(lw[n] * lw[n] + lw[1023 - n] * lw[1023 - n], 1.0f, 1e-5f);
        }
        const float* sw = short_rising_half(shape);
        for (int n = 0; n < 128; ++n) {
            EXPECT_NEAR(sw[n] * sw[n] + sw[127 - n] * sw[127 - n], 1.0f, 1e-5f);
        }
        for (int n = 1; n < 1024; ++n) {
            EXPECT_GE(lw[n], lw[n - 1]);
        }
    }
    // Sine: sin(pi/N (n + 1/2)).
    EXPECT_NEAR(long_rising_half(WindowShape::kSine)[0], std::sin(kPi / 2048 * 0.5), 1e-7);
    EXPECT_NEAR(short_rising_half(WindowShape::kSine)[127], std::sin(kPi / 256 * 127.5), 1e-7);
    // KBD starts far lower than sine (steeper skirts) and both reach one in the middle.
    EXPECT_LT(long_rising_half(WindowShape::kKbd)[0], 1e-3f);
    EXPECT_LT(short_rising_half(WindowShape::kKbd)[0], 1e-3f);
    EXPECT_GT(long_rising_half(WindowShape::kKbd)[1023], 0.9999f);
    EXPECT_LT(short_rising_half(WindowShape::kKbd)[10], short_rising_half(WindowShape::kSine)[10]);
}

TEST(Window, TransitionRules) {
    using S = WindowSequence;
    EXPECT_TRUE(is_legal_transition(S::kOnlyLong, S::kOnlyLong));
    EXPECT_TRUE(is_legal_transition(S::kOnlyLong, S::kLongStart));
    EXPECT_TRUE(is_legal_transition(S::kLongStart, S::kEightShort));
    EXPECT_TRUE(is_legal_transition(S::kEightShort, S::kEightShort));
    EXPECT_TRUE(is_legal_transition(S::kEightShort, S::kLongStop));
    EXPECT_TRUE(is_legal_transition(S::kLongStop, S::kOnlyLong));
    EXPECT_TRUE(is_legal_transition(S::kLongStop, S::kLongStart));
    EXPECT_FALSE(is_legal_transition(S::kOnlyLong, S::kEightShort));
    EXPECT_FALSE(is_legal_transition(S::kOnlyLong, S::kLongStop));
    EXPECT_FALSE(is_legal_transition(S::kLongStart, S::kOnlyLong));
    EXPECT_FALSE(is_legal_transition(S::kEightShort, S::kOnlyLong));
    EXPECT_FALSE(is_legal_transition(S::kEightShort, S::kLongStart));
}

// Analysis, inverse transform, synthesis window and overlap-add over many frames with a
// random legal sequence of windows and shapes must give back the input.
TEST(Mdct, OverlapAddReconstructsTheInputForAnyLegalSequence) {
    constexpr int kFrames = 40;
    const std::vector<float> x = random_signal((kFrames + 1) * 1024, 5);
    std::vector<double> y(x.size(), 0.0);
    Mdct long_mdct(2048);
    Mdct short_mdct(256);
    std::mt19937 random(6);
    WindowSequence sequence = WindowSequence::kOnlyLong;
    WindowShape shape = WindowShape::kSine;
    int short_frames = 0;
    int kbd_frames = 0;
    for (int k = 0; k < kFrames; ++k) {
        WindowSequence next;
        do {
            next = static_cast<WindowSequence>(random() % 4);
        } while (!is_legal_transition(sequence, next));
        const WindowShape previous_shape = shape;
        shape = static_cast<WindowShape>(random() % 2);
        sequence = next;
        short_frames += sequence == WindowSequence::kEightShort;
        kbd_frames += shape == WindowShape::kKbd;
        const float* frame = x.data() + k * 1024;
        std::vector<float> windowed(2048), spectrum(1024), back(2048), synthesis(2048);
        if (sequence == WindowSequence::kEightShort) {
            for (int w = 0; w < 8; ++w) {
                window_short_block(frame, w, previous_shape, shape, windowed.data());
                short_mdct.forward(windowed.data(), spectrum.data());
                short_mdct.inverse(spectrum.data(), back.data());
                // Place the block where it came from and apply the same window again.
                std::vector<float> placed(2048, 0.0f);
                std::copy(back.begin(), back.begin() + 256,
                          placed.begin() + kShortWindowStart + 128 * w);
                window_short_block(placed.data(), w, previous_shape, shape, synthesis.data());
                for (int n = 0; n < 256; ++n) {
                    y[static_cast<std::size_t>(k * 1024 + kShortWindowStart + 128 * w + n)] +=
                        synthesis[static_cast<std::size_t>(n)];
                }
            }
        } else {
            window_long_block(frame, sequence, previous_shape, shape, windowed.data());
            long_mdct.forward(windowed.data(), spectrum.data());
            long_mdct.inverse(spectrum.data(), back.data());
            window_long_block(back.data(), sequence, previous_shape, shape, synthesis.data());
            for (int n = 0; n < 2048; ++n) {
                y[static_cast<std::size_t>(k * 1024 + n)] += synthesis[static_cast<std::size_t>(n)];
            }
        }
    }
    EXPECT_GT(short_frames, 3);
    EXPECT_GT(kbd_frames, 3);
    double error = 0.0;
    for (std::size_t n = 1024; n < static_cast<std::size_t>(kFrames * 1024); ++n) {
        error = std::max(error, std::fabs(y[n] - x[n]));
    }
    EXPECT_LT(error, 0.05) << "input amplitude 20000";
}

}  // namespace
}  // namespace brevix::aac
