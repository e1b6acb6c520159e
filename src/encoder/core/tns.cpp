#include "core/tns.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/psycho.h"

namespace brevix::aac {
namespace {

// What the Main and LC profiles allow: filter orders, and the highest band (exclusive) a
// filter may reach, per window length and sampling rate.
constexpr int kMaxOrderLongLc = 12;
constexpr int kMaxOrderLongMain = 20;
constexpr int kMaxOrderShort = 7;
constexpr int kMaxBandsLong44100 = 42;
constexpr int kMaxBandsLong48000 = 40;
constexpr int kMaxBandsShort = 14;

// Below about 1.4 kHz the ear's time resolution is coarse and pre-echo is rarely heard;
// a filter starts at the first band at or above this, or an octave or two higher.
constexpr int kStartHz = 1350;
// Prediction gain from which a window is filtered: a steady sound gives about 1, a click
// or pulse within the window several times that.
constexpr double kMinGain = 1.4;
// Only bands this far above their threshold (10 dB) take part in the analysis: bands
// barely coded, such as the faint leakage of a steady tone into the bands above it, have
// a smooth and therefore predictable spectrum, but nothing to gain from shaping.
constexpr float kMinSignalToMask = 10.0f;
// Bits a window's shaping is worth beyond what it saves: noise that follows the signal in
// time is heard less than the same noise spread over the window, which the thresholds do
// not tell. 150 bits (about 5 % of a frame at 64 kbit/s stereo) lets a fifth to a third
// of the frames of drums and speech be shaped: the noise before onsets falls by 1 to 2 dB
// on drums, while the noise-to-mask ratio, which cannot see where in a window the noise
// lies, worsens by at most 0.6 dB.
constexpr float kShapingWorth = 150.0f;
// Lines below a band over which the synthesis filter's spreading of its noise is followed.
constexpr int kSpreadLines = 64;

// Reflection coefficients are sent with 4 bits (coef_res 1) on an arcsine scale.
constexpr int kCoefBits = 4;
constexpr int kMaxIndex = (1 << (kCoefBits - 1)) - 1;
constexpr int kMinIndex = -(1 << (kCoefBits - 1));
// Indices that fit one bit less may be sent compressed.
constexpr int kMaxCompressed = (1 << (kCoefBits - 2)) - 1;
constexpr int kMinCompressed = -(1 << (kCoefBits - 2));
constexpr double kHalfPi = 1.57079632679489661923;
constexpr double kScalePositive = ((1 << (kCoefBits - 1)) - 0.5) / kHalfPi;
constexpr double kScaleNegative = ((1 << (kCoefBits - 1)) + 0.5) / kHalfPi;

int quantize(double k) {
    const double angle = std::asin(std::clamp(k, -1.0, 1.0));
    const long index = std::lround(angle * (angle >= 0.0 ? kScalePositive : kScaleNegative));
    return static_cast<int>(std::clamp<long>(index, kMinIndex, kMaxIndex));
}

// One step of the step-up recursion: the order-`m` filter 1 + a1 z^-1 + ... + am z^-m
// from the order m - 1 one in `a` and the reflection coefficient `k`.
void step_up(double* a, int m, double k) {
    double next[kMaxTnsOrder + 1];
    for (int i = 1; i < m; ++i) {
        next[i] = a[i] + k * a[m - i];
    }
    std::copy(next + 1, next + m, a + 1);
    a[m] = k;
}

// The reflection coefficient the decoder reads for `index`.
double dequantize(int index) {
    return std::sin(index / (index >= 0 ? kScalePositive : kScaleNegative));
}

// Bits of one window's filter after its n_filt field: coef_res, length, order, direction,
// coef_compress and the coefficients.
int filter_bits(const TnsFilter& f, bool short_window) {
    if (f.order == 0) {
        return 0;
    }
    return 1 + (short_window ? 4 + 3 : 6 + 5) + 1 + 1 +
           f.order * (kCoefBits - (f.compress ? 1 : 0));
}

}  // namespace

Tns::Tns(int sample_rate, Profile profile) : scratch_(std::make_unique<Candidate[]>(2)) {
    long_.layout = long_bands(sample_rate);
    short_.layout = short_bands(sample_rate);
    for (int s = 0; s < kStarts; ++s) {
        long_.first_band[s] =
            bands_below_hz(long_.layout, kFrameLength, kStartHz << s, sample_rate);
        short_.first_band[s] =
            bands_below_hz(short_.layout, kShortLength, kStartHz << s, sample_rate);
    }
    long_.max_bands = sample_rate == 44100 ? kMaxBandsLong44100 : kMaxBandsLong48000;
    long_.max_order = profile == Profile::kMain ? kMaxOrderLongMain : kMaxOrderLongLc;
    short_.max_bands = kMaxBandsShort;
    short_.max_order = kMaxOrderShort;
}

Tns::~Tns() = default;

void Tns::apply(const TnsChannel* channels, int count, bool short_windows, int max_sfb,
                const int* group_lengths, int groups) {
    const Limits& limits = short_windows ? short_ : long_;
    const int lines = short_windows ? kShortLength : kFrameLength;
    const int end = std::min({max_sfb, limits.max_bands, limits.layout.count});
    for (int c = 0; c < count; ++c) {
        channels[c].data->present = false;
        for (TnsFilter& f : channels[c].data->filter) {
            f.order = 0;
        }
    }
    // Windows are decided one after the other, each by what it changes in the cost of its
    // group: the windows of a group share their scalefactors, so a threshold lowered in
    // one of them is a threshold lowered for all.
    Group group{channels, count, 0, short_windows ? group_lengths[0] : 1};
    Candidate* candidate = &scratch_[0];
    Candidate* best = &scratch_[1];
    for (int g = 0, w = 0; g < (short_windows ? groups : 1); ++g) {
        group.first = w;
        group.length = short_windows ? group_lengths[g] : 1;
        for (; w < group.first + group.length; ++w) {
            float best_change = kShapingWorth;
            bool found = false;
            double r[kStarts][kMaxTnsOrder + 1];
            correlate(group, w, lines, limits, end, r);
            for (int s = 0; s < kStarts; ++s) {
                if (!design(group, w, lines, limits, limits.first_band[s], end, r[s], *candidate)) {
                    continue;
                }
                // With the noise gain for every band a filter looks no dearer than it is:
                // most are turned down before the closer look band by band.
                const float before = group_entropy(group, limits.layout, end, -1, *candidate);
                if (group_entropy(group, limits.layout, end, w, *candidate) - before >
                    best_change) {
                    continue;
                }
                band_gains(group.count, limits.layout, end, *candidate);
                const float change =
                    group_entropy(group, limits.layout, end, w, *candidate) - before;
                if (change <= best_change) {
                    best_change = change;
                    found = true;
                    std::swap(candidate, best);
                }
            }
            if (!found) {
                continue;
            }
            const int lo = limits.layout.offsets[best->first_band];
            const int n = limits.layout.offsets[end] - lo;
            for (int c = 0; c < count; ++c) {
                const TnsChannel& ch = channels[c];
                ch.data->present = true;
                ch.data->filter[w] = best->filter;
                std::copy(best->lines[c], best->lines[c] + n, ch.spectrum + w * lines + lo);
                float* e = ch.energy + w * kMaxShortBands;
                float* t = ch.threshold + w * kMaxShortBands;
                for (int b = best->first_band; b < end; ++b) {
                    e[b] = best->energy[c][b];
                    t[b] /= best->gain[c][b];
                }
            }
        }
    }
}

float Tns::group_entropy(const Group& group, const BandLayout& layout, int end_band, int changed,
                         const Candidate& candidate) const {
    float bits = 0.0f;
    for (int c = 0; c < group.count; ++c) {
        const TnsChannel& ch = group.channels[c];
        for (int b = candidate.first_band; b < end_band; ++b) {
            float energy = 0.0f;
            float threshold = 1e30f;
            for (int w = group.first; w < group.first + group.length; ++w) {
                const bool filtered = w == changed;
                energy += filtered ? candidate.energy[c][b] : ch.energy[w * kMaxShortBands + b];
                const float t = ch.threshold[w * kMaxShortBands + b];
                threshold = std::min(threshold, filtered ? t / candidate.gain[c][b] : t);
            }
            bits += band_entropy(energy, threshold * static_cast<float>(group.length),
                                 layout.width(b) * group.length);
        }
    }
    return changed < 0 ? bits : bits + static_cast<float>(group.count * candidate.bits);
}

void Tns::correlate(const Group& group, int window, int lines, const Limits& limits, int end_band,
                    double (*r)[kMaxTnsOrder + 1]) const {
    const BandLayout& layout = limits.layout;
    const int first = limits.first_band[0];
    std::fill(r[0], r[0] + kStarts * (kMaxTnsOrder + 1), 0.0);
    if (end_band <= first) {
        return;
    }
    const int lo = layout.offsets[first];
    const int n = layout.offsets[end_band] - lo;
    float selected[kFrameLength + kMaxTnsOrder] = {};  // zeros past the end
    for (int c = 0; c < group.count; ++c) {
        const float* x = group.channels[c].spectrum + window * lines;
        const float* energy = group.channels[c].energy + window * kMaxShortBands;
        const float* threshold = group.channels[c].threshold + window * kMaxShortBands;
        for (int b = first; b < end_band; ++b) {
            const bool used = energy[b] > kMinSignalToMask * threshold[b];
            for (int k = layout.offsets[b]; k < layout.offsets[b + 1]; ++k) {
                selected[k - lo] = used ? x[k] : 0.0f;
            }
        }
        // Each start's sums are those of the lines from its start on: one pass from the top.
        float sum[kMaxTnsOrder + 1] = {};
        int k = n;
        for (int s = kStarts - 1; s >= 0; --s) {
            for (const int stop = std::min(n, layout.offsets[limits.first_band[s]] - lo);
                 k > stop;) {
                --k;
                for (int lag = 0; lag <= kMaxTnsOrder; ++lag) {
                    sum[lag] += selected[k] * selected[k + lag];
                }
            }
            for (int lag = 0; lag <= kMaxTnsOrder; ++lag) {
                r[s][lag] += sum[lag];
            }
        }
    }
}

bool Tns::design(const Group& group, int window, int lines, const Limits& limits, int first,
                 int end_band, const double* r, Candidate& out) const {
    const BandLayout& layout = limits.layout;
    if (end_band <= first) {
        return false;
    }
    const int lo = layout.offsets[first];
    const int n = layout.offsets[end_band] - lo;
    const int max_order = std::min(limits.max_order, n / 4);
    out.first_band = first;

    if (max_order < 1 || r[0] <= 0.0) {
        return false;
    }

    // Levinson-Durbin: reflection coefficients of the prediction error filter
    // 1 + a1 z^-1 + ... and the error energy left.
    double a[kMaxTnsOrder + 1] = {1.0};
    double reflection[kMaxTnsOrder + 1] = {};
    double error = r[0];
    for (int m = 1; m <= max_order && error > r[0] * 1e-9; ++m) {
        double acc = r[m];
        for (int i = 1; i < m; ++i) {
            acc += a[i] * r[m - i];
        }
        const double k = -acc / error;
        reflection[m] = k;
        step_up(a, m, k);
        error *= 1.0 - k * k;
    }
    if (r[0] < kMinGain * error) {
        return false;
    }

    // Quantised as the stream carries them; trailing zeros shorten the filter.
    TnsFilter& filter = out.filter;
    filter.order = 0;
    for (int m = 1; m <= max_order; ++m) {
        filter.index[m - 1] = static_cast<std::int8_t>(quantize(reflection[m]));
        if (filter.index[m - 1] != 0) {
            filter.order = m;
        }
    }
    const int order = filter.order;
    if (order == 0) {
        return false;
    }
    filter.length = layout.count - first;
    filter.compress = std::all_of(filter.index, filter.index + order,
                                  [](int i) { return i >= kMinCompressed && i <= kMaxCompressed; });
    out.bits = filter_bits(filter, lines == kShortLength);

    // The decoder's filter: step-up recursion from the quantised coefficients.
    std::fill(a + 1, a + kMaxTnsOrder + 1, 0.0);
    for (int m = 1; m <= order; ++m) {
        step_up(a, m, dequantize(filter.index[m - 1]));
    }

    // Noise power gain of the synthesis filter 1/A: energy of its impulse response.
    double h[kFrameLength];
    double noise_gain = 0.0;
    for (int k = 0; k < n; ++k) {
        // The older values' terms first, as in band_gains().
        const int taps = std::min(order, k);
        double older = 0.0;
        for (int i = 2; i <= taps; ++i) {
            older += a[i] * h[k - i];
        }
        double v = (k == 0 ? 1.0 : 0.0) - older;
        if (taps >= 1) {
            v -= a[1] * h[k - 1];
        }
        h[k] = v;
        noise_gain += v * v;
    }
    out.noise_gain = static_cast<float>(noise_gain);

    // The analysis filter runs downwards over frequency, so the decoder's synthesis filter
    // spreads each line's noise towards the lower, usually louder, lines instead of into
    // the quieter ones above.
    for (int c = 0; c < group.count; ++c) {
        const float* x = group.channels[c].spectrum + window * lines + lo;
        float* y = out.lines[c];
        for (int k = 0; k < n; ++k) {
            double acc = x[k];
            for (int i = 1; i <= std::min(order, n - 1 - k); ++i) {
                acc += a[i] * x[k + i];
            }
            y[k] = static_cast<float>(acc);
        }
        for (int b = first; b < end_band; ++b) {
            const int start = layout.offsets[b] - lo;
            const int stop = layout.offsets[b + 1] - lo;
            float sum = 0.0f;
            for (int k = start; k < stop; ++k) {
                sum += y[k] * y[k];
            }
            out.energy[c][b] = sum;
            out.gain[c][b] = out.noise_gain;
        }
    }
    std::copy(a, a + kMaxTnsOrder + 1, out.a);
    return true;
}

void Tns::band_gains(int count, const BandLayout& layout, int end_band, Candidate& out) const {
    const int lo = layout.offsets[out.first_band];
    const int order = out.filter.order;
    double h[kFrameLength];
    for (int c = 0; c < count; ++c) {
        const float* y = out.lines[c];
        for (int b = out.first_band; b < end_band; ++b) {
            // What the synthesis filter makes of this band's own noise: white noise grows
            // by the noise gain, but a band coded as zeros leaves its filtered lines as the
            // error, and those need not be white.
            const int start = layout.offsets[b] - lo;
            const int stop = layout.offsets[b + 1] - lo;
            double spread = 0.0;
            for (int k = stop - 1; k >= std::max(0, start - kSpreadLines); --k) {
                // The older values' terms first: they need not wait for the newest value,
                // so only its term lies on the chain from one line to the next.
                const int n = std::min(order, stop - 1 - k);
                double older = 0.0;
                for (int i = 2; i <= n; ++i) {
                    older += out.a[i] * h[k + i];
                }
                double v = (k >= start ? y[k] : 0.0) - older;
                if (n >= 1) {
                    v -= out.a[1] * h[k + 1];
                }
                h[k] = v;
                spread += v * v;
            }
            const float sum = out.energy[c][b];
            const float band_gain = sum > 0.0f ? static_cast<float>(spread) / sum : 0.0f;
            out.gain[c][b] = std::max(out.noise_gain, band_gain);
        }
    }
}

int tns_data_bits(const TnsData& data, bool short_windows) {
    if (!data.present) {
        return 0;
    }
    const int windows = short_windows ? kNumShortWindows : 1;
    int bits = 0;
    for (int w = 0; w < windows; ++w) {
        bits += (short_windows ? 1 : 2) + filter_bits(data.filter[w], short_windows);  // n_filt
    }
    return bits;
}

void write_tns_data(BitWriter& out, const TnsData& data, bool short_windows) {
    const int windows = short_windows ? kNumShortWindows : 1;
    for (int w = 0; w < windows; ++w) {
        const TnsFilter& f = data.filter[w];
        out.put(f.order > 0 ? 1 : 0, short_windows ? 1 : 2);
        if (f.order == 0) {
            continue;
        }
        out.put(kCoefBits == 4 ? 1 : 0, 1);
        out.put(static_cast<std::uint32_t>(f.length), short_windows ? 4 : 6);
        out.put(static_cast<std::uint32_t>(f.order), short_windows ? 3 : 5);
        out.put(1, 1);  // direction: downwards
        out.put(f.compress ? 1 : 0, 1);
        const int bits = kCoefBits - (f.compress ? 1 : 0);
        for (int i = 0; i < f.order; ++i) {
            out.put(static_cast<std::uint32_t>(f.index[i]), bits);  // two's complement
        }
    }
}

}  // namespace brevix::aac
