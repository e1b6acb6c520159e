#include "bench/spectral_measures.h"

#include <algorithm>
#include <cmath>

#include "bench/nmr.h"
#include "core/fft.h"

namespace brevix::bench {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSize = NmrMeter::kFrameSize;
constexpr int kHop = NmrMeter::kHop;
constexpr double kTenDb = 10.0;

// Power spectra of Hann-windowed frames of kSize samples.
class Spectra {
public:
    Spectra() : fft_(kSize), window_(kSize), re_(kSize), im_(kSize), power_(kSize / 2 + 1) {
        for (int i = 0; i < kSize; ++i) {
            window_[static_cast<std::size_t>(i)] =
                static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * i / kSize));
        }
    }
    // The frame of `x` starting at `start`; samples outside `x` count as silence.
    const std::vector<double>& of(const std::vector<float>& x, std::size_t start) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(kSize); ++i) {
            re_[i] = start + i < x.size() ? x[start + i] * window_[i] : 0.0f;
            im_[i] = 0.0f;
        }
        fft_.forward(re_.data(), im_.data());
        for (std::size_t k = 0; k < power_.size(); ++k) {
            power_[k] = static_cast<double>(re_[k]) * re_[k] + static_cast<double>(im_[k]) * im_[k];
        }
        return power_;
    }

private:
    aac::Fft fft_;
    std::vector<float> window_, re_, im_;
    std::vector<double> power_;
};

std::size_t frame_count(const Channels& source) {
    const std::size_t n = source.empty() ? 0 : source[0].size();
    return n < static_cast<std::size_t>(kSize) ? 0 : (n - kSize) / kHop + 1;
}

double energy(const std::vector<double>& power, int first, int end) {
    double sum = 0.0;
    for (int k = first; k < end; ++k) {
        sum += power[static_cast<std::size_t>(k)];
    }
    return sum;
}

}  // namespace

double decoded_bandwidth_hz(const Channels& source, const Channels& decoded, int lag,
                            int sample_rate) {
    constexpr int kStep = 8;
    std::vector<double> s(kSize / 2 + 1, 0.0), d(kSize / 2 + 1, 0.0);
    Spectra spectra;
    for (std::size_t c = 0; c < source.size() && c < decoded.size(); ++c) {
        for (std::size_t f = 0; f < frame_count(source); ++f) {
            const std::vector<double>& ps = spectra.of(source[c], f * kHop);
            for (std::size_t k = 0; k < s.size(); ++k) {
                s[k] += ps[k];
            }
            const std::vector<double>& pd =
                spectra.of(decoded[c], f * kHop + static_cast<std::size_t>(lag));
            for (std::size_t k = 0; k < d.size(); ++k) {
                d[k] += pd[k];
            }
        }
    }
    const int steps = kSize / 2 / kStep;
    double strongest = 0.0;
    for (int i = 0; i < steps; ++i) {
        strongest = std::max(strongest, energy(s, i * kStep, (i + 1) * kStep));
    }
    for (int i = steps - 1; i >= 0; --i) {
        const double e = energy(s, i * kStep, (i + 1) * kStep);
        if (e > strongest * 1e-8 && energy(d, i * kStep, (i + 1) * kStep) * kTenDb >= e) {
            return static_cast<double>((i + 1) * kStep) * sample_rate / kSize;
        }
    }
    return 0.0;
}

double hole_share(const Channels& source, const Channels& decoded, int lag, int sample_rate,
                  double from_hz, double limit_hz) {
    // Third-octave bands from the one centred at `from_hz`, cut at `limit_hz`; a band keeps
    // at least half its width or is left out.
    const double hz_per_bin = static_cast<double>(sample_rate) / kSize;
    const double full_scale_power = 3.0 * kSize * kSize * 32768.0 * 32768.0 / 32.0;
    std::vector<int> first, end;
    std::vector<double> quiet;
    for (int k = 0;; ++k) {
        const double lo = from_hz * std::pow(2.0, (k - 0.5) / 3.0);
        const double hi = std::min(from_hz * std::pow(2.0, (k + 0.5) / 3.0), limit_hz);
        if (hi - lo < 0.5 * lo * (std::pow(2.0, 1.0 / 3.0) - 1.0) || hi >= sample_rate / 2.0) {
            break;
        }
        first.push_back(static_cast<int>(std::ceil(lo / hz_per_bin)));
        end.push_back(static_cast<int>(std::ceil(hi / hz_per_bin)));
        double quietest = 1e9;
        for (int b = first.back(); b < end.back(); ++b) {
            quietest = std::min(quietest, quiet_threshold_db(b * hz_per_bin));
        }
        quiet.push_back(full_scale_power * std::pow(10.0, (quietest - 92.0) / 10.0));
    }
    std::size_t cells = 0, holes = 0;
    Spectra spectra;
    std::vector<double> source_energy(first.size());
    for (std::size_t c = 0; c < source.size() && c < decoded.size(); ++c) {
        for (std::size_t f = 0; f < frame_count(source); ++f) {
            const std::vector<double>& ps = spectra.of(source[c], f * kHop);
            for (std::size_t b = 0; b < first.size(); ++b) {
                source_energy[b] = energy(ps, first[b], end[b]);
            }
            const std::vector<double>& pd =
                spectra.of(decoded[c], f * kHop + static_cast<std::size_t>(lag));
            for (std::size_t b = 0; b < first.size(); ++b) {
                // A band 10 dB too quiet is a hole a listener can hear only where what it
                // loses lies above the threshold in quiet.
                if (source_energy[b] > quiet[b] * kTenDb) {
                    ++cells;
                    holes += energy(pd, first[b], end[b]) * kTenDb <= source_energy[b] ? 1 : 0;
                }
            }
        }
    }
    return cells == 0 ? 0.0 : static_cast<double>(holes) / static_cast<double>(cells);
}

std::vector<std::size_t> find_onsets(const Channels& source, int sample_rate) {
    constexpr std::size_t kBlock = 64;
    constexpr std::size_t kBefore = 4;
    const double floor = kBlock * std::pow(32768.0 * 1e-3, 2.0);  // -60 dBFS rms
    const std::size_t n = source.empty() ? 0 : source[0].size();
    std::vector<double> e(n / kBlock, 0.0);
    for (const std::vector<float>& x : source) {
        for (std::size_t i = 0; i < e.size() * kBlock; ++i) {
            e[i / kBlock] += static_cast<double>(x[i]) * x[i];
        }
    }
    std::vector<std::size_t> onsets;
    const std::size_t gap = static_cast<std::size_t>(sample_rate / 10);
    for (std::size_t i = kBefore; i < e.size(); ++i) {
        const double before =
            *std::max_element(e.begin() + static_cast<std::ptrdiff_t>(i - kBefore),
                              e.begin() + static_cast<std::ptrdiff_t>(i));
        if (e[i] > floor && e[i] >= 100.0 * before &&
            (onsets.empty() || i * kBlock >= onsets.back() + gap)) {
            onsets.push_back(i * kBlock);
        }
    }
    return onsets;
}

PreEcho pre_echo(const Channels& source, const Channels& decoded, int lag,
                 const std::vector<std::size_t>& onsets, int sample_rate) {
    const std::size_t span = static_cast<std::size_t>(sample_rate / 200);  // 5 ms
    PreEcho result;
    double sum = 0.0;
    for (std::size_t at : onsets) {
        if (at < span || at + span > source[0].size()) {
            continue;
        }
        double noise = 0.0, signal = 0.0;
        for (std::size_t c = 0; c < source.size() && c < decoded.size(); ++c) {
            for (std::size_t i = 0; i < span; ++i) {
                const std::size_t s = at - span + i;
                const std::size_t d = s + static_cast<std::size_t>(lag);
                const double err = (d < decoded[c].size() ? decoded[c][d] : 0.0) - source[c][s];
                noise += err * err;
                signal += static_cast<double>(source[c][at + i]) * source[c][at + i];
            }
        }
        sum += noise / (signal + 1e-9);
        ++result.onsets;
    }
    result.db = result.onsets == 0
                    ? 0.0
                    : 10.0 * std::log10(sum / static_cast<double>(result.onsets) + 1e-30);
    return result;
}

}  // namespace brevix::bench
