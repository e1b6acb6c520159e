#include "bench/listening.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "bench/nmr.h"
#include "core/fft.h"

namespace brevix::bench {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSize = NmrMeter::kFrameSize;  // 2048
constexpr int kHop = NmrMeter::kHop;         // 1024
constexpr double kFullScale = 32768.0;
// A full-scale sine's peak bin power after the Hann window.
constexpr double kFullScaleBin = (kFullScale * kSize / 4.0) * (kFullScale * kSize / 4.0);
const double kImageEdges[kImageBands + 1] = {3500.0, 5000.0, 7000.0, 10000.0, 14000.0};

double db(double ratio) {
    return 10.0 * std::log10(std::max(ratio, 1e-30));
}

// Complex spectra of Hann-windowed frames of kSize samples.
class Spectra {
public:
    Spectra() : fft_(kSize), window_(kSize), re_(kSize), im_(kSize) {
        for (int i = 0; i < kSize; ++i) {
            window_[static_cast<std::size_t>(i)] =
                static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * i / kSize));
        }
    }
    // The frame of `x` starting at `start`; samples outside `x` count as silence.
    void of(const std::vector<float>& x, std::size_t start) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(kSize); ++i) {
            re_[i] = start + i < x.size() ? x[start + i] * window_[i] : 0.0f;
            im_[i] = 0.0f;
        }
        fft_.forward(re_.data(), im_.data());
    }
    double re(int k) const { return re_[static_cast<std::size_t>(k)]; }
    double im(int k) const { return im_[static_cast<std::size_t>(k)]; }
    double power(int k) const { return re(k) * re(k) + im(k) * im(k); }

private:
    aac::Fft fft_;
    std::vector<float> window_, re_, im_;
};

std::size_t frame_count(const Channels& source) {
    const std::size_t n = source.empty() ? 0 : source[0].size();
    return n < static_cast<std::size_t>(kSize) ? 0 : (n - kSize) / kHop + 1;
}

int bin_of(double hz, int sample_rate) {
    return static_cast<int>(hz * kSize / sample_rate);
}

}  // namespace

const double* image_band_edges() {
    return kImageEdges;
}

Dropouts find_dropouts(const Channels& source, const Channels& decoded, int lag, int sample_rate) {
    constexpr std::size_t kBlock = 128;
    const double loud = kFullScale * kFullScale * std::pow(10.0, -40.0 / 10.0);
    Dropouts d;
    std::size_t longest = 0;
    for (std::size_t ch = 0; ch < source.size() && ch < decoded.size(); ++ch) {
        const std::vector<float>& x = source[ch];
        const std::vector<float>& y = decoded[ch];
        std::size_t run = 0;
        for (std::size_t start = 0; start + kBlock <= x.size(); start += kBlock) {
            double sx = 0.0;
            double sy = 0.0;
            for (std::size_t i = start; i < start + kBlock; ++i) {
                const std::size_t j = i + static_cast<std::size_t>(lag);
                const double v = j < y.size() ? y[j] : 0.0;
                sx += static_cast<double>(x[i]) * x[i];
                sy += v * v;
            }
            sx /= kBlock;
            sy /= kBlock;
            const bool dropped = sx > loud && sy < sx * 0.01;
            if (dropped) {
                if (run == 0) {
                    ++d.events;
                }
                ++run;
                if (run > longest) {
                    longest = run;
                    d.worst_channel = ch;
                    d.worst_s = static_cast<double>(start + kBlock - run * kBlock) / sample_rate;
                }
            } else {
                run = 0;
            }
        }
    }
    d.longest_ms = static_cast<double>(longest * kBlock) * 1000.0 / sample_rate;
    return d;
}

Image stereo_image(const Channels& source, const Channels& decoded, int lag, int sample_rate) {
    Image image;
    if (source.size() != 2 || decoded.size() != 2) {
        return image;
    }
    // Sums over frames and bins: left power, right power, Re(left conj(right)).
    double sums[2][kImageBands][3] = {};
    Spectra left;
    Spectra right;
    const std::size_t frames = frame_count(source);
    for (int which = 0; which < 2; ++which) {
        const Channels& x = which == 0 ? source : decoded;
        const std::size_t offset = which == 0 ? 0 : static_cast<std::size_t>(lag);
        for (std::size_t f = 0; f < frames; ++f) {
            left.of(x[0], f * kHop + offset);
            right.of(x[1], f * kHop + offset);
            for (int b = 0; b < kImageBands; ++b) {
                for (int k = bin_of(kImageEdges[b], sample_rate);
                     k < bin_of(kImageEdges[b + 1], sample_rate); ++k) {
                    sums[which][b][0] += left.power(k);
                    sums[which][b][1] += right.power(k);
                    sums[which][b][2] += left.re(k) * right.re(k) + left.im(k) * right.im(k);
                }
            }
        }
    }
    const double quiet = kFullScaleBin * std::pow(10.0, -70.0 / 10.0);
    for (int b = 0; b < kImageBands; ++b) {
        const double bins = static_cast<double>(frames) * (bin_of(kImageEdges[b + 1], sample_rate) -
                                                           bin_of(kImageEdges[b], sample_rate));
        const bool counts =
            sums[0][b][0] > quiet * bins && sums[0][b][1] > quiet * bins && bins > 0.0;
        double c[2];
        for (int which = 0; which < 2; ++which) {
            c[which] = sums[which][b][2] /
                       std::max(std::sqrt(sums[which][b][0] * sums[which][b][1]), 1e-30);
        }
        const double nan = std::numeric_limits<double>::quiet_NaN();
        image.source[b] = counts ? c[0] : nan;
        image.decoded[b] = counts ? c[1] : nan;
        if (counts && std::fabs(c[1] - c[0]) > image.error) {
            image.error = std::fabs(c[1] - c[0]);
            image.worst_band = b;
        }
    }
    return image;
}

std::vector<double> low_band_snr(const Channels& source, const Channels& decoded, int lag,
                                 int sample_rate) {
    std::vector<double> result;
    const int top = bin_of(4000.0, sample_rate);
    const std::size_t frames = frame_count(source);
    const double quiet = kFullScaleBin * std::pow(10.0, -60.0 / 10.0);
    Spectra x;
    Spectra y;
    for (std::size_t ch = 0; ch < source.size() && ch < decoded.size(); ++ch) {
        std::vector<double> signal(frames);
        std::vector<double> noise(frames);
        double loudest = 0.0;
        for (std::size_t f = 0; f < frames; ++f) {
            x.of(source[ch], f * kHop);
            y.of(decoded[ch], f * kHop + static_cast<std::size_t>(lag));
            for (int k = 1; k < top; ++k) {
                const double dr = y.re(k) - x.re(k);
                const double di = y.im(k) - x.im(k);
                signal[f] += x.power(k);
                noise[f] += dr * dr + di * di;
            }
            loudest = std::max(loudest, signal[f]);
        }
        std::vector<double> snr;
        for (std::size_t f = 0; f < frames; ++f) {
            if (signal[f] > loudest * 1e-4 && signal[f] > quiet) {
                snr.push_back(db(signal[f] / std::max(noise[f], 1e-9)));
            }
        }
        if (snr.empty()) {
            result.push_back(std::numeric_limits<double>::quiet_NaN());
            continue;
        }
        const std::size_t tenth = snr.size() / 10;
        std::nth_element(snr.begin(), snr.begin() + static_cast<std::ptrdiff_t>(tenth), snr.end());
        result.push_back(snr[tenth]);
    }
    return result;
}

std::vector<double> floor_between_partials(const Channels& source, const Channels& decoded, int lag,
                                           int sample_rate) {
    constexpr int kReach = 8;
    // A frame holds partials when at least one bin in this many is a valley: in noise (a
    // fricative, a cymbal) a bin falls 30 dB below its neighbourhood's peak only by chance,
    // one or two bins in a frame, and those say nothing of partials.
    constexpr int kLineSpectrumShare = 10;
    std::vector<double> result;
    const int first = bin_of(4000.0, sample_rate);
    const int end = bin_of(11000.0, sample_rate);
    const std::size_t frames = frame_count(source);
    Spectra x;
    Spectra y;
    for (std::size_t ch = 0; ch < source.size() && ch < decoded.size(); ++ch) {
        std::vector<double> band(frames);
        double loudest = 0.0;
        for (std::size_t f = 0; f < frames; ++f) {
            x.of(source[ch], f * kHop);
            for (int k = first; k < end; ++k) {
                band[f] += x.power(k);
            }
            loudest = std::max(loudest, band[f]);
        }
        double source_floor = 0.0;
        double decoded_floor = 0.0;
        std::vector<double> power(static_cast<std::size_t>(kSize / 2));
        for (std::size_t f = 0; f < frames; ++f) {
            if (band[f] < loudest * 1e-3 || loudest <= 0.0) {
                continue;
            }
            x.of(source[ch], f * kHop);
            y.of(decoded[ch], f * kHop + static_cast<std::size_t>(lag));
            for (int k = first - kReach; k < end + kReach; ++k) {
                power[static_cast<std::size_t>(k)] = x.power(k);
            }
            double source_valleys = 0.0;
            double decoded_valleys = 0.0;
            int valleys = 0;
            for (int k = first; k < end; ++k) {
                double peak = 0.0;
                for (int j = k - kReach; j <= k + kReach; ++j) {
                    peak = std::max(peak, power[static_cast<std::size_t>(j)]);
                }
                if (power[static_cast<std::size_t>(k)] < peak * 1e-3) {
                    source_valleys += power[static_cast<std::size_t>(k)];
                    decoded_valleys += y.power(k);
                    ++valleys;
                }
            }
            if (valleys * kLineSpectrumShare >= end - first) {
                source_floor += source_valleys;
                decoded_floor += decoded_valleys;
            }
        }
        result.push_back(source_floor > 0.0 ? db(decoded_floor / source_floor)
                                            : std::numeric_limits<double>::quiet_NaN());
    }
    return result;
}

}  // namespace brevix::bench
